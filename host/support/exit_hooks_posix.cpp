// _exit and _Exit as the plug-ins loaded by this program see them: the
// program exports these (see host/CMakeLists.txt), so a plug-in that ends
// the process with them is told to the fatal handlers first, as exit() is
// through atexit. Compiled into each executable, never into a library the
// linker could leave out. The C library's own calls of _exit do not come
// here.
#include <sys/syscall.h>
#include <unistd.h>

#include "support/fatal_handlers.h"

namespace {

[[noreturn]] void exitNow(int status) {
    fatal_handlers::noteExit(status);
    for (;;) {
        syscall(SYS_exit_group, status);
    }
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void _exit(int status) {
    exitNow(status);
}

__attribute__((visibility("default"))) void _Exit(int status) {
    exitNow(status);
}

}  // extern "C"
