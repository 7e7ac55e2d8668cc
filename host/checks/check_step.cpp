#include "checks/check_step.h"

#include <atomic>

namespace {
std::atomic<StepSink> currentSink{nullptr};
}

void setStepSink(StepSink sink) {
    currentSink.store(sink);
}

void announceStep(const std::string& what) {
    const StepSink sink = currentSink.load();
    if (sink != nullptr) {
        sink(what.data(), what.size());
    }
}
