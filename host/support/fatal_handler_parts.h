// What the fatal handlers' common part (fatal_handlers.cpp) and their
// system part (fatal_handlers_posix.cpp, fatal_handlers_windows.cpp) share.
#pragma once

#include <cstdint>

#include "support/fatal_handlers.h"

namespace fatal_handlers::parts {

// The system part: installs the system's handlers, once.
void installSystemHandlers();

// The common part, for the system's handlers: the act and the claim as they
// are now.
void runAct(const Ending& ending);
void runClaim(std::uintptr_t address, FaultAccess access);
// Whether the act wants to hear of exits.
bool exitsTold();

}  // namespace fatal_handlers::parts
