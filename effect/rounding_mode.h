// Which rounding the host's arithmetic uses. A power law with exponent 1
// returns its input exactly only when rounding to nearest (the power
// function is then within 0.54 units in the last place, and the input is
// the only double that close); in a directed mode the library's power may
// land one unit away, so the signal path skips the law only when this holds.
#pragma once

#if defined(__SSE2__) || defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#else
#include <cfenv>
#endif

// audio thread: reads the control register, changes nothing
inline bool roundsToNearest() {
#if defined(__SSE2__) || defined(__x86_64__) || defined(_M_X64)
    return (_mm_getcsr() & 0x6000u) == 0;  // MXCSR rounding control, bits 13 and 14
#else
    return std::fegetround() == FE_TONEAREST;
#endif
}
