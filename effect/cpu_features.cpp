#include "cpu_features.h"

#include <cpuid.h>

namespace cpu_features {

bool avx2Usable() {
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
        return false;
    }
    constexpr unsigned kOsXsave = 1u << 27;
    constexpr unsigned kAvx = 1u << 28;
    if ((ecx & kOsXsave) == 0 || (ecx & kAvx) == 0) {
        return false;
    }
    // XGETBV needs OSXSAVE, checked above; XCR0 bits 1 and 2: SSE and AVX state.
    unsigned xcr0 = 0;
    unsigned xcr0High = 0;
    __asm__ volatile("xgetbv" : "=a"(xcr0), "=d"(xcr0High) : "c"(0));
    if ((xcr0 & 6u) != 6u) {
        return false;
    }
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) {
        return false;
    }
    constexpr unsigned kAvx2 = 1u << 5;
    return (ebx & kAvx2) != 0;
}

}  // namespace cpu_features
