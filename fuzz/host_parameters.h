// Parameter writes and reads through the record's two parameter entries,
// with any index and any float. A write within 0..16 must read back
// unchanged (bit for bit, or NaN for NaN); a write outside must change no
// parameter, and a read outside must answer 0.
#pragma once

#include "aeffect.h"
#include "fuzz_bytes.h"

void setParameterLikeAHost(AEffect* effect, FuzzBytes& in);
void getParameterLikeAHost(AEffect* effect, FuzzBytes& in);
