// A fixed set of chunks that one thread fills and another uses, in order.
// The producer runs at most as many chunks ahead as there are, so memory
// stays bounded whatever the length of the stream, and nothing is allocated
// once the ring exists. Either side can give up with an error; the other
// side then gets that error thrown from its next wait.
//
// A side that had to wait can be told to sleep until several chunks are
// ready for it, so that it works in bursts: every wake-up of a sleeping
// thread costs the waker a system call, and on a virtual machine an
// interrupt to another processor.
//
// Not for a real-time thread: both sides block on a mutex and a condition
// variable. The render loop waits here between process calls, never inside
// one.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <utility>
#include <vector>

template <class Chunk>
class ChunkRing {
public:
    // A producer that found no free chunk sleeps until `fillBurst` are free;
    // a consumer that found none filled, until `useBurst` are filled (or the
    // ring is closed). Both are kept between 1 and the number of chunks, so
    // that neither can wait for more than the other can give.
    ChunkRing(std::vector<Chunk> chunks, std::size_t fillBurst, std::size_t useBurst)
        : chunks_(std::move(chunks)),
          fillBurst_(std::clamp<std::size_t>(fillBurst, 1, std::max<std::size_t>(chunks_.size(), 1))),
          useBurst_(std::clamp<std::size_t>(useBurst, 1, std::max<std::size_t>(chunks_.size(), 1))) {}
    ChunkRing(const ChunkRing&) = delete;
    ChunkRing& operator=(const ChunkRing&) = delete;

    // Producer: the next chunk to fill, once the consumer has released it.
    // Throws the consumer's error; nullptr when abandoned without one.
    Chunk* toFill() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!abandoned_ && free() == 0) {
            producerWaits_ = true;
            changed_.wait(lock, [this] { return abandoned_ || free() >= fillBurst_; });
            producerWaits_ = false;
        }
        if (abandoned_) {
            return failed(lock);
        }
        return &chunks_[filled_ % chunks_.size()];
    }

    // Producer: hands on the chunk that toFill() returned.
    void publish() {
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++filled_;
            wake = consumerWaits_ && filled_ - released_ >= useBurst_;
        }
        if (wake) {
            changed_.notify_all();
        }
    }

    // Producer: nothing more will be published.
    void close() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
        }
        changed_.notify_all();
    }

    // Consumer: the oldest published chunk not yet released; nullptr once
    // the ring is closed and every chunk used. Throws the producer's error;
    // nullptr when abandoned without one.
    Chunk* toUse() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!abandoned_ && !closed_ && released_ == filled_) {
            consumerWaits_ = true;
            changed_.wait(lock, [this] { return abandoned_ || closed_ || filled_ - released_ >= useBurst_; });
            consumerWaits_ = false;
        }
        if (abandoned_) {
            return failed(lock);
        }
        return released_ < filled_ ? &chunks_[released_ % chunks_.size()] : nullptr;
    }

    // Consumer: done with the chunk that toUse() returned.
    void release() {
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++released_;
            wake = producerWaits_ && free() >= fillBurst_;
        }
        if (wake) {
            changed_.notify_all();
        }
    }

    // Either side: stops the exchange; the first error given is kept.
    void abandon(std::exception_ptr error = nullptr) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!abandoned_) {
                abandoned_ = true;
                error_ = std::move(error);
            }
        }
        changed_.notify_all();
    }

    // Throws the error the ring was abandoned with, if any.
    void rethrowError() {
        std::unique_lock<std::mutex> lock(mutex_);
        failed(lock);
    }

private:
    std::size_t free() const { return chunks_.size() - (filled_ - released_); }

    Chunk* failed(std::unique_lock<std::mutex>& lock) {
        std::exception_ptr error = error_;
        lock.unlock();
        if (error) {
            std::rethrow_exception(error);
        }
        return nullptr;
    }

    std::vector<Chunk> chunks_;
    std::size_t fillBurst_;
    std::size_t useBurst_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t filled_ = 0;    // chunks published so far
    std::size_t released_ = 0;  // chunks used and given back so far
    bool closed_ = false;
    bool abandoned_ = false;
    bool producerWaits_ = false;
    bool consumerWaits_ = false;
    std::exception_ptr error_;
};
