// Every check of every group, in the order they run.
#pragma once

#include <vector>

#include "checks/checks.h"

const std::vector<const CheckDefinition*>& allChecks();
