// Counts heap allocations made on the calling thread while a scope is open,
// in the whole host process: the host's own code and every loaded plug-in.
//
// The count covers malloc, calloc, realloc, aligned allocation and C++
// operator new (which reaches malloc). On Linux the executable replaces the
// allocator for the whole process. On Windows every DLL calls its C runtime
// through its own import table, so only modules handed to watchModule are
// counted: their imports of the allocation functions are redirected. In
// sanitizer builds the sanitizer owns the allocator: available() is false
// and the count stays 0.
#pragma once

namespace allocation_counter {

bool available();

// Windows: redirect the allocation imports of a loaded module (its handle)
// through the counter. Elsewhere: nothing to do.
void watchModule(void* module);

class Scope {
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    // Allocations on this thread since the scope opened.
    long count() const;

private:
    long start_;
    bool wasCounting_;
};

}  // namespace allocation_counter
