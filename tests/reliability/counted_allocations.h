// Counts the memory that operator new hands out and operator delete takes
// back, in this whole test program (it replaces the global operators, so
// everything linked in - the effect and the frame included - is counted).
// The C++ allocation of the frame and the effect all goes through these.
#pragma once

#include <cstddef>

namespace counted_allocations {

struct Snapshot {
    long liveBlocks;
    long long liveBytes;
    long totalBlocks;  // blocks handed out since the program started
};

Snapshot now();

}  // namespace counted_allocations
