// Counts heap allocations made on the calling thread while a scope is open,
// in the whole host process: the host's own code and every loaded plug-in.
//
// The count covers malloc, calloc, realloc, aligned allocation and C++
// operator new (which reaches malloc). Where the build cannot see the
// plug-ins' allocations (Windows, where each DLL carries its own runtime, and
// sanitizer builds, whose runtime owns malloc), available() is false and the
// count stays 0.
#pragma once

namespace allocation_counter {

bool available();

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
