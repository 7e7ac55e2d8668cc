// How much private memory this process holds, for tests that check that a
// long run keeps the process flat.
#pragma once

namespace process_memory {

// Windows: committed private pages (heaps, thread stacks, VirtualAlloc),
// summed over the address space; under Wine the data size of the Wine
// process, which also holds what Wine keeps for the program (a few bytes for
// each open handle, for instance). Linux: the data size (VmData), private
// writable mappings included. -1 when it cannot be read.
long long privateBytes();

}  // namespace process_memory
