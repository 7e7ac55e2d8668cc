// printf-style formatting into a std::string, for tables and messages.
#pragma once

#include <string>

// MinGW's C library follows Microsoft's printf unless told otherwise; the
// formatting here goes through the C99-conforming one (%zu and friends).
#if defined(__MINGW32__)
__attribute__((format(gnu_printf, 1, 2)))
#elif defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
format(const char* pattern, ...);
