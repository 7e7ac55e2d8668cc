#include "text.h"

char* copyText(char* dst, const char* src, std::size_t maxLen) {
    std::size_t i = 0;
    for (; i < maxLen && src[i] != 0; ++i) {
        dst[i] = src[i];
    }
    for (; i < maxLen; ++i) {
        dst[i] = 0;
    }
    dst[maxLen] = 0;
    return dst;
}

char* appendText(char* dst, const char* src, std::size_t maxLen) {
    std::size_t end = 0;
    while (end < maxLen && dst[end] != 0) {
        ++end;
    }
    for (std::size_t i = 0; end < maxLen && src[i] != 0; ++i, ++end) {
        dst[end] = src[i];
    }
    dst[end] = 0;
    return dst;
}
