// Windows: a loaded module's calls of functions it imports by name, pointed
// at hooks of the host's (its import address table rewritten). Only the
// module's own imports change: what the libraries it imports call in turn
// does not.
#pragma once

#include <cstddef>

struct ImportHook {
    const char* name;
    void* replacement;
    // Where the first module's own function is kept, for the hook to call
    // on; a later module that imports the same name from another library
    // keeps its own import. Null: every import of the name is hooked.
    void** original;
};

// `module` is the module's handle (its base address).
void hookImports(void* module, const ImportHook* hooks, std::size_t count);
