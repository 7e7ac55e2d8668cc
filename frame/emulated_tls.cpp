// Thread-local storage of the Windows DLLs, in place of the C++ runtime's.
//
// GCC for MinGW has no native thread-local storage: each thread_local object
// (the runtime's exception-handling state is one, used by every throw and
// catch) is reached through __emutls_get_address. The runtime's version
// takes a Windows TLS index the first time it runs and never gives it back,
// and a process has only 1,088 of them: a host that loads and unloads the
// library, and has an exception thrown inside it each time, dies once they
// are gone. This version, linked into the plug-in library ahead of the
// runtime's, frees its index and the blocks of every thread that used it
// when the library unloads.
//
// The compiler's side of the contract: for each thread_local object it emits
// a control record (EmulatedTlsObject) and calls __emutls_get_address with
// it wherever the object is used; the result is this thread's copy, created
// on first use from the record's initial value (zero-filled when there is
// none).
#ifdef _WIN32
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// The compiler's control record; every field is pointer-sized.
struct EmulatedTlsObject {
    std::uintptr_t size;
    std::uintptr_t align;
    std::uintptr_t slot;  // 1-based number of the object's slot, 0 until first used
    const void* initialValue;
};

// One thread's slots. All of them are on one list so that the unload can
// free the blocks of threads that are still running.
struct ThreadSlots {
    ThreadSlots* next;
    ThreadSlots* previous;
    std::uintptr_t count;
    void** slots;
};

// Guards tlsIndex, slotsGiven and the list; never held while waiting for
// anything else (the loader lock included).
SRWLOCK lock = SRWLOCK_INIT;
DWORD tlsIndex = TLS_OUT_OF_INDEXES;
std::uintptr_t slotsGiven = 0;
ThreadSlots* threads = nullptr;

// The calling thread's copy of an object lives in one allocation with the
// start of that allocation stored just in front of it.
void* newCopy(const EmulatedTlsObject& object) {
    const std::uintptr_t align = object.align > sizeof(void*) ? object.align : sizeof(void*);
    void* raw = std::malloc(object.size + align + sizeof(void*));
    if (raw == nullptr) {
        std::abort();  // as the runtime's own version: a thread_local cannot fail to exist
    }
    const std::uintptr_t start = (reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*) + align - 1) & ~(align - 1);
    void* copy = reinterpret_cast<void*>(start);
    static_cast<void**>(copy)[-1] = raw;
    if (object.initialValue != nullptr) {
        std::memcpy(copy, object.initialValue, object.size);
    } else {
        std::memset(copy, 0, object.size);
    }
    return copy;
}

void deleteCopy(void* copy) {
    if (copy != nullptr) {
        std::free(static_cast<void**>(copy)[-1]);
    }
}

// Caller holds the lock.
void freeThreadSlots(ThreadSlots* thread) {
    if (thread->previous != nullptr) {
        thread->previous->next = thread->next;
    } else {
        threads = thread->next;
    }
    if (thread->next != nullptr) {
        thread->next->previous = thread->previous;
    }
    for (std::uintptr_t i = 0; i < thread->count; ++i) {
        deleteCopy(thread->slots[i]);
    }
    std::free(thread->slots);
    std::free(thread);
}

// loader thread, at the exit of a thread that used thread-local objects
// (through the MinGW runtime's TLS callback), under the loader lock.
void releaseExitingThread(void* value) {
    AcquireSRWLockExclusive(&lock);
    if (value != nullptr && tlsIndex != TLS_OUT_OF_INDEXES && TlsGetValue(tlsIndex) == value) {
        freeThreadSlots(static_cast<ThreadSlots*>(value));
        TlsSetValue(tlsIndex, nullptr);
    }
    ReleaseSRWLockExclusive(&lock);
}

// Caller holds the lock. The calling thread's slots, made large enough for
// `slot`.
ThreadSlots* growThreadSlots(ThreadSlots* thread, std::uintptr_t slot) {
    if (thread == nullptr) {
        thread = static_cast<ThreadSlots*>(std::calloc(1, sizeof(ThreadSlots)));
        if (thread == nullptr) {
            std::abort();
        }
        thread->next = threads;
        if (threads != nullptr) {
            threads->previous = thread;
        }
        threads = thread;
        TlsSetValue(tlsIndex, thread);
    }
    const std::uintptr_t count = slotsGiven > slot ? slotsGiven : slot;
    void** slots = static_cast<void**>(std::realloc(thread->slots, count * sizeof(void*)));
    if (slots == nullptr) {
        std::abort();
    }
    std::memset(slots + thread->count, 0, (count - thread->count) * sizeof(void*));
    thread->slots = slots;
    thread->count = count;
    return thread;
}

}  // namespace

extern "C" {
// The MinGW runtime's list of functions to run when a thread ends.
int __mingwthr_key_dtor(DWORD key, void (*dtor)(void*));

// any thread; allocates on a thread's first use of each object, never
// afterwards. Leaves the thread's last Windows error as it was: a
// thread-local object may be used between a failed call and GetLastError.
void* __emutls_get_address(EmulatedTlsObject* object) {
    const DWORD lastError = GetLastError();
    std::uintptr_t slot = __atomic_load_n(&object->slot, __ATOMIC_ACQUIRE);
    if (slot == 0) {
        AcquireSRWLockExclusive(&lock);
        if (tlsIndex == TLS_OUT_OF_INDEXES) {
            tlsIndex = TlsAlloc();
            if (tlsIndex == TLS_OUT_OF_INDEXES) {
                std::abort();  // the host has used up the process's indices
            }
            __mingwthr_key_dtor(tlsIndex, releaseExitingThread);
        }
        slot = object->slot;
        if (slot == 0) {
            slot = ++slotsGiven;
            __atomic_store_n(&object->slot, slot, __ATOMIC_RELEASE);
        }
        ReleaseSRWLockExclusive(&lock);
    }
    ThreadSlots* thread = static_cast<ThreadSlots*>(TlsGetValue(tlsIndex));
    if (thread == nullptr || thread->count < slot) {
        AcquireSRWLockExclusive(&lock);
        thread = growThreadSlots(thread, slot);
        ReleaseSRWLockExclusive(&lock);
    }
    void*& copy = thread->slots[slot - 1];
    if (copy == nullptr) {
        copy = newCopy(*object);
    }
    SetLastError(lastError);
    return copy;
}

// For thread_local objects that the compiler treats as common symbols: each
// definition states its size, alignment and initial value, the largest wins.
void __emutls_register_common(EmulatedTlsObject* object, std::uintptr_t size, std::uintptr_t align,
                              const void* initialValue) {
    if (object->size < size) {
        object->size = size;
        object->initialValue = nullptr;
    }
    if (object->align < align) {
        object->align = align;
    }
    if (initialValue != nullptr && size == object->size) {
        object->initialValue = initialValue;
    }
}
}

namespace {
// Constructed before any other static object of the library, so destroyed
// after all of them: no thread-local object is used once it has run.
struct ReleaseAtUnload {
    // loader thread, at DLL_PROCESS_DETACH, under the loader lock: the host
    // no longer runs any code of this library.
    ~ReleaseAtUnload() {
        AcquireSRWLockExclusive(&lock);
        while (threads != nullptr) {
            freeThreadSlots(threads);
        }
        if (tlsIndex != TLS_OUT_OF_INDEXES) {
            TlsFree(tlsIndex);
            tlsIndex = TLS_OUT_OF_INDEXES;
        }
        ReleaseSRWLockExclusive(&lock);
    }
};
ReleaseAtUnload releaseAtUnload __attribute__((init_priority(101)));
}  // namespace
#endif
