#include "allocation_counter.h"

#include <cerrno>
#include <cstddef>

// This file replaces the C allocator's entry points of the whole process.
// It must be linked into the executable itself (not a static library from
// which the linker might drop it), and the executable must export the
// symbols so that plug-ins loaded later resolve their calls to them.

namespace {
// Initial-exec thread-locals of the executable: reading them allocates
// nothing, which matters inside malloc.
thread_local bool counting = false;
thread_local long allocations = 0;

inline void note() {
    if (counting) {
        ++allocations;
    }
}
}  // namespace

#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__) && !defined(KD_NO_ALLOCATION_HOOKS)
#define KD_ALLOCATION_HOOKS 1

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);

__attribute__((visibility("default"))) void* malloc(std::size_t size) {
    note();
    return __libc_malloc(size);
}

__attribute__((visibility("default"))) void* calloc(std::size_t count, std::size_t size) {
    note();
    return __libc_calloc(count, size);
}

__attribute__((visibility("default"))) void* realloc(void* pointer, std::size_t size) {
    note();
    return __libc_realloc(pointer, size);
}

__attribute__((visibility("default"))) void free(void* pointer) {
    __libc_free(pointer);
}

__attribute__((visibility("default"))) void* memalign(std::size_t alignment, std::size_t size) {
    note();
    return __libc_memalign(alignment, size);
}

__attribute__((visibility("default"))) void* aligned_alloc(std::size_t alignment, std::size_t size) {
    note();
    return __libc_memalign(alignment, size);
}

__attribute__((visibility("default"))) int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) {
        return EINVAL;
    }
    note();
    void* pointer = __libc_memalign(alignment, size);
    if (pointer == nullptr) {
        return ENOMEM;
    }
    *result = pointer;
    return 0;
}
}
#endif

namespace allocation_counter {

bool available() {
#ifdef KD_ALLOCATION_HOOKS
    return true;
#else
    return false;
#endif
}

Scope::Scope() : start_(allocations), wasCounting_(counting) {
    counting = true;
}

Scope::~Scope() {
    counting = wasCounting_;
}

long Scope::count() const {
    return allocations - start_;
}

}  // namespace allocation_counter
