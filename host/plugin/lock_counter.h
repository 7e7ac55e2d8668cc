// Counts the mutexes a thread locks while a scope is open, telling locks
// that were free at once from locks that made the thread wait. A lock on the
// audio thread is a hazard even when free: the next time another thread
// holds it, the audio thread waits.
//
// Only on Linux with glibc (x86-64), where the executable replaces
// pthread_mutex_lock for the whole process and exports it to the plug-ins;
// elsewhere, and in sanitizer builds, available() is false and the counts
// stay 0.
#pragma once

namespace lock_counter {

bool available();

class Scope {
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

    // Locks taken on this thread since the scope opened, and how many of
    // them were held by another thread at that moment.
    long locks() const;
    long waited() const;

private:
    long startLocks_;
    long startWaited_;
    bool wasCounting_;
};

}  // namespace lock_counter
