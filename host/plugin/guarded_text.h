// Text buffers handed to a plug-in for it to fill. The interface fixes how
// many characters each answer may have, but a plug-in can write more; the
// buffer is far larger than any limit and pre-filled with a guard pattern, so
// an overrun harms nothing and can be measured afterwards.
#pragma once

#include <cstddef>
#include <string>

class GuardedText {
public:
    static constexpr std::size_t kCapacity = 1024;
    static constexpr unsigned char kGuard = 0xA5;

    GuardedText();
    char* data() { return bytes_; }

    // After the plug-in has written: the text up to the first zero byte (or up
    // to the last written byte when there is none).
    std::string text() const;
    // How many bytes from the start the plug-in changed (0 when untouched).
    std::size_t bytesWritten() const;
    // Whether the written bytes stay within `limit` characters plus the
    // terminator, and a terminator was written within them.
    bool fitsWithin(std::size_t limitChars) const;

private:
    char bytes_[kCapacity];
};
