// A floating-point trap in the test process (an exception the host keeps
// unmasked, raised inside a call into the library, or left pending for the
// host's own next instruction) would end the process with no word of where.
// Once install() has run, it ends it with exit status 3 and a line naming
// the exception, the host's state and the last call into the library, as
// the test named them with `asHost` and `during`.
#pragma once

namespace trap_report {

void install();

// The floating-point state the test runs in, as a host; a literal.
void asHost(const char* state);

// The call the test is about to make. `call` and `value` must be literals
// (they are read by the trap handler); index -1 means none.
void during(const char* call, int index = -1, const char* value = nullptr);

}  // namespace trap_report
