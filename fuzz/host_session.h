// The fuzzer's host: up to two live instances at a time, each opened the way
// the entry point opens one (the host's version query answered, then the
// effect's factory), each with its own record of what it has been fed. The
// session closes whatever is still open when it ends, so LeakSanitizer sees
// every instance's memory returned after each input.
#pragma once

#include "aeffect.h"
#include "finite_output_rule.h"

class HostSession {
public:
    static constexpr int kSlots = 2;

    HostSession() = default;
    ~HostSession();
    HostSession(const HostSession&) = delete;
    HostSession& operator=(const HostSession&) = delete;

    // The instance in a slot, opened now if the slot is empty.
    AEffect* instance(int slot);
    FiniteOutputRule& rule(int slot) { return rules_[slot]; }
    // The host closed the instance itself (effClose): forget it.
    void forget(int slot);
    // Close through effClose; the next instance() opens a new one.
    void close(int slot);

private:
    AEffect* effects_[kSlots] = {nullptr, nullptr};
    FiniteOutputRule rules_[kSlots];
};
