// One audio block through the record, the way hosts call it: any frame count
// from 0 to 4096, separate or shared input and output buffers, the second
// output null or present, and now and then the accumulating or the 64-bit
// process entry instead of the replacing one.
//
// Every channel buffer is a heap block of exactly the frame count, so
// AddressSanitizer catches any access outside the block. The replacing
// process must give both outputs the same samples and finite samples
// wherever FiniteOutputRule says so; a failed check ends the run.
#pragma once

#include <cstddef>

#include "aeffect.h"
#include "finite_output_rule.h"
#include "fuzz_bytes.h"

constexpr std::size_t kLargestBlock = 4096;

// framesLeft: the frames this input may still process; the block is cut to it
// and it is reduced by the block's length.
void processLikeAHost(AEffect* effect, FuzzBytes& in, FiniteOutputRule& rule, std::size_t& framesLeft);
