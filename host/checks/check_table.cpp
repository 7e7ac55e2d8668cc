#include "checks/check_table.h"

#include <algorithm>

namespace {

constexpr CheckGroup (*kGroups[])() = {
    lifecycleChecks,  hostOrderChecks, textChecks,  comparisonChecks,
    processingChecks, eventChecks,     stateChecks, threadChecks,
};

}  // namespace

const std::vector<const CheckDefinition*>& allChecks() {
    static const std::vector<const CheckDefinition*> checks = [] {
        std::vector<const CheckDefinition*> all;
        for (const auto group : kGroups) {
            const CheckGroup rows = group();
            for (std::size_t i = 0; i < rows.count; ++i) {
                all.push_back(&rows.rows[i]);
            }
        }
        std::stable_sort(all.begin(), all.end(),
                         [](const CheckDefinition* a, const CheckDefinition* b) { return a->order < b->order; });
        return all;
    }();
    return checks;
}
