#include "guarded_buffer.h"

#include <cstring>

GuardedBuffer::GuardedBuffer(std::size_t size, unsigned char fill)
    : size_(size), fill_(fill), bytes_(new unsigned char[size + kGuardBytes]) {
    std::memset(bytes_.get(), fill_, size_);
    for (std::size_t i = 0; i < kGuardBytes; ++i) {
        bytes_[size_ + i] = guardByte(i);
    }
}

std::size_t GuardedBuffer::firstDamagedGuardByte() const {
    for (std::size_t i = 0; i < kGuardBytes; ++i) {
        if (bytes_[size_ + i] != guardByte(i)) {
            return i;
        }
    }
    return kGuardBytes;
}

bool GuardedBuffer::untouched() const {
    for (std::size_t i = 0; i < size_; ++i) {
        if (bytes_[i] != fill_) {
            return false;
        }
    }
    return true;
}

bool GuardedBuffer::terminated() const {
    return std::memchr(bytes_.get(), 0, size_) != nullptr;
}

std::string GuardedBuffer::text() const {
    const auto* begin = reinterpret_cast<const char*>(bytes_.get());
    const void* zero = std::memchr(begin, 0, size_);
    const std::size_t length =
        zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - begin) : size_;
    return std::string(begin, length);
}
