// What the processor offers beyond the SSE2 every build requires.
#pragma once

namespace cpu_features {

// AVX2, and an operating system that saves the 256-bit registers across
// thread switches (XSAVE enabled, XMM and YMM state in XCR0). Asks the
// processor each time: callers keep the answer.
bool avx2Usable();

}  // namespace cpu_features
