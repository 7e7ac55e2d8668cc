#include "plugin/allocation_counter.h"

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

#if defined(_WIN32) && !defined(KD_NO_ALLOCATION_HOOKS)
#define KD_IMPORT_HOOKS 1
#include <windows.h>

#include "support/import_hooks.h"

namespace {

using MallocFunction = void*(__cdecl*)(std::size_t);
using CallocFunction = void*(__cdecl*)(std::size_t, std::size_t);
using ReallocFunction = void*(__cdecl*)(void*, std::size_t);
using AlignedMallocFunction = void*(__cdecl*)(std::size_t, std::size_t);
using AlignedReallocFunction = void*(__cdecl*)(void*, std::size_t, std::size_t);
using HeapAllocFunction = LPVOID(WINAPI*)(HANDLE, DWORD, SIZE_T);
using HeapReAllocFunction = LPVOID(WINAPI*)(HANDLE, DWORD, LPVOID, SIZE_T);

// The functions the watched module imported, filled in when it is patched.
MallocFunction originalMalloc = nullptr;
CallocFunction originalCalloc = nullptr;
ReallocFunction originalRealloc = nullptr;
AlignedMallocFunction originalAlignedMalloc = nullptr;
AlignedReallocFunction originalAlignedRealloc = nullptr;
HeapAllocFunction originalHeapAlloc = nullptr;
HeapReAllocFunction originalHeapReAlloc = nullptr;

void* __cdecl countingMalloc(std::size_t size) {
    note();
    return originalMalloc(size);
}
void* __cdecl countingCalloc(std::size_t count, std::size_t size) {
    note();
    return originalCalloc(count, size);
}
void* __cdecl countingRealloc(void* pointer, std::size_t size) {
    note();
    return originalRealloc(pointer, size);
}
void* __cdecl countingAlignedMalloc(std::size_t size, std::size_t alignment) {
    note();
    return originalAlignedMalloc(size, alignment);
}
void* __cdecl countingAlignedRealloc(void* pointer, std::size_t size, std::size_t alignment) {
    note();
    return originalAlignedRealloc(pointer, size, alignment);
}
LPVOID WINAPI countingHeapAlloc(HANDLE heap, DWORD flags, SIZE_T size) {
    note();
    return originalHeapAlloc(heap, flags, size);
}
LPVOID WINAPI countingHeapReAlloc(HANDLE heap, DWORD flags, LPVOID pointer, SIZE_T size) {
    note();
    return originalHeapReAlloc(heap, flags, pointer, size);
}

const ImportHook kHooks[] = {
    {"malloc", reinterpret_cast<void*>(countingMalloc), reinterpret_cast<void**>(&originalMalloc)},
    {"calloc", reinterpret_cast<void*>(countingCalloc), reinterpret_cast<void**>(&originalCalloc)},
    {"realloc", reinterpret_cast<void*>(countingRealloc), reinterpret_cast<void**>(&originalRealloc)},
    {"_aligned_malloc", reinterpret_cast<void*>(countingAlignedMalloc),
     reinterpret_cast<void**>(&originalAlignedMalloc)},
    {"_aligned_realloc", reinterpret_cast<void*>(countingAlignedRealloc),
     reinterpret_cast<void**>(&originalAlignedRealloc)},
    {"HeapAlloc", reinterpret_cast<void*>(countingHeapAlloc), reinterpret_cast<void**>(&originalHeapAlloc)},
    {"HeapReAlloc", reinterpret_cast<void*>(countingHeapReAlloc), reinterpret_cast<void**>(&originalHeapReAlloc)},
};

}  // namespace
#endif

namespace allocation_counter {

bool available() {
#if defined(KD_ALLOCATION_HOOKS) || defined(KD_IMPORT_HOOKS)
    return true;
#else
    return false;
#endif
}

void watchModule(void* module) {
#ifdef KD_IMPORT_HOOKS
    if (module != nullptr) {
        hookImports(module, kHooks, sizeof kHooks / sizeof kHooks[0]);
    }
#else
    (void)module;
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
