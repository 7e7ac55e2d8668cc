// The number the system would give this process's next handle (Windows) or
// file descriptor (Linux), for tests that check that a long run keeps none.
#pragma once

namespace process_handles {

// Both systems hand out the lowest free number, so one kept handle per
// repetition makes this grow with the repetitions. -1 when no handle can be
// opened.
long long nextHandleNumber();

}  // namespace process_handles
