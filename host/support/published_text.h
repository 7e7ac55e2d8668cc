// A text that a signal handler, an exception handler or a parent process
// reading shared memory may read at any moment, and never sees torn: it is
// empty or whole.
//
// The writer clears the first byte, copies the rest, then publishes the
// first byte last; a reader that interrupts the copy reads an empty text.
// One writer at a time; readers only read.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>

template <std::size_t Bytes>
class PublishedText {
public:
    static_assert(Bytes >= 2);
    static constexpr std::size_t kCapacity = Bytes - 1;

    // Texts longer than the capacity are cut.
    void publish(const char* text, std::size_t length) {
        const std::size_t kept = std::min(length, kCapacity);
        bytes_[0] = '\0';
        std::atomic_signal_fence(std::memory_order_seq_cst);
        if (kept > 1) {
            std::memcpy(bytes_ + 1, text + 1, kept - 1);
        }
        bytes_[kept] = '\0';
        std::atomic_signal_fence(std::memory_order_seq_cst);
        bytes_[0] = kept > 0 ? text[0] : '\0';
    }
    void publish(const char* text) { publish(text, std::strlen(text)); }
    void clear() { bytes_[0] = '\0'; }

    bool empty() const { return bytes_[0] == '\0'; }
    // The text as it is now; empty or whole while the writer is between
    // publishes.
    const char* read() const { return bytes_; }

private:
    char bytes_[Bytes] = {};
};
