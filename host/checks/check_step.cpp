#include "checks/check_step.h"

#include "support/watch_page.h"

void announceStep(const std::string& what) {
    watchPage().step.publish(what.data(), what.size());
}
