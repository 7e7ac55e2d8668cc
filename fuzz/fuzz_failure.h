// How the fuzzer reports a finding: a message that carries the numbers, then
// abort(), which libFuzzer records as a crash and for which it saves the
// input that led there.
#pragma once

[[noreturn]] void fuzzFailure(const char* format, ...) __attribute__((format(printf, 1, 2)));

#define FUZZ_REQUIRE(condition, ...)  \
    do {                              \
        if (!(condition)) {           \
            fuzzFailure(__VA_ARGS__); \
        }                             \
    } while (false)
