// Resampling of BGRA straight-alpha pixels on plain buffers (no Windows headers, so the kernel
// also builds natively for sanitizers and benchmarks).
#pragma once

#include "base/PixelBuffers.h"

// Resamples the whole of `source` into the whole of `target`; the sizes come from the two views.
// The views must not overlap. False only when working memory cannot be had.
bool ResampleBgra(const PixelRows& source, const PixelRows& target);
