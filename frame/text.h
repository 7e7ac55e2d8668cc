// Bounded text routines for every text handed to a host. Both write at most
// maxLen + 1 bytes: callers guarantee a buffer of that size.
#pragma once

#include <cstddef>

// Copies at most maxLen characters of src, pads with zero bytes up to
// maxLen - 1, and always writes a zero byte at position maxLen.
char* copyText(char* dst, const char* src, std::size_t maxLen);

// Appends src to the text already in dst, cut so that the whole text has at
// most maxLen characters, then a terminator; nothing beyond position maxLen.
char* appendText(char* dst, const char* src, std::size_t maxLen);
