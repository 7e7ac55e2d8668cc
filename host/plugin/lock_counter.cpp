#include "plugin/lock_counter.h"

#include <cstdlib>  // defines __GLIBC__ where glibc is the C library

// Like the allocation counter, this file must be linked into the executable
// itself, which must export pthread_mutex_lock so that plug-ins loaded later
// resolve their calls to it.

namespace {
// Initial-exec thread-locals of the executable: reading them locks nothing.
thread_local bool counting = false;
thread_local long lockCount = 0;
thread_local long waitCount = 0;
}  // namespace

#if defined(__linux__) && defined(__x86_64__) && defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(KD_NO_ALLOCATION_HOOKS)
#define KD_LOCK_HOOKS 1
#include <pthread.h>

// glibc's own entry under its compatibility name, bound by version so that
// no lookup is needed at run time (which could itself lock).
extern "C" int kd_real_pthread_mutex_lock(pthread_mutex_t* mutex);
__asm__(".symver kd_real_pthread_mutex_lock, __pthread_mutex_lock@GLIBC_2.2.5");

extern "C" __attribute__((visibility("default"))) int pthread_mutex_lock(pthread_mutex_t* mutex) {
    if (counting) {
        ++lockCount;
        if (pthread_mutex_trylock(mutex) == 0) {
            return 0;
        }
        ++waitCount;
    }
    return kd_real_pthread_mutex_lock(mutex);
}
#endif

namespace lock_counter {

bool available() {
#ifdef KD_LOCK_HOOKS
    return true;
#else
    return false;
#endif
}

Scope::Scope() : startLocks_(lockCount), startWaited_(waitCount), wasCounting_(counting) {
    counting = true;
}

Scope::~Scope() {
    counting = wasCounting_;
}

long Scope::locks() const {
    return lockCount - startLocks_;
}

long Scope::waited() const {
    return waitCount - startWaited_;
}

}  // namespace lock_counter
