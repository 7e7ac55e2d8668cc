// Capability strings: the questions an effect may put to the host
// (canHostDo) and the ones a host may put to the effect (effCanDo). Texts
// that occur in both groups are stored once.
#pragma once

constexpr int kHostCapabilityCount = 14;
constexpr int kPlugCapabilityCount = 8;

extern const char* const hostCapabilities[kHostCapabilityCount];
extern const char* const plugCapabilities[kPlugCapabilityCount];
