#include "plugin/guarded_text.h"

#include <cstring>

GuardedText::GuardedText() {
    std::memset(bytes_, kGuard, sizeof bytes_);
}

std::size_t GuardedText::bytesWritten() const {
    std::size_t end = kCapacity;
    while (end > 0 && static_cast<unsigned char>(bytes_[end - 1]) == kGuard) {
        --end;
    }
    return end;
}

std::string GuardedText::text() const {
    std::size_t written = bytesWritten();
    const void* zero = std::memchr(bytes_, '\0', written);
    std::size_t length = zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - bytes_) : written;
    return std::string(bytes_, length);
}

bool GuardedText::fitsWithin(std::size_t limitChars) const {
    std::size_t written = bytesWritten();
    if (written > limitChars + 1) {
        return false;
    }
    return written == 0 || std::memchr(bytes_, '\0', written) != nullptr;
}
