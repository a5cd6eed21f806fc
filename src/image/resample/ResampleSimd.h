// Pieces the SSE2 and AVX2 variants of the resampler share. Include inside the file's target
// region (`#pragma GCC target`, or clang's attribute region), so each variant compiles its own
// copy for its own instruction set.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "image/resample/ResampleKernels.h"

namespace resample {
namespace {

// StraightPixel for four sums held in one register; the same operations in the same order.
inline uint32_t StraightPixelVector(__m128i sums) {
  const __m128 scale = _mm_setr_ps(255.0f, 255.0f, 255.0f, 1.0f);
  const __m128 alphaUnit = _mm_setr_ps(0.0f, 0.0f, 0.0f, 255.0f * kWeightUnit);
  const __m128 colorLanes = _mm_castsi128_ps(_mm_setr_epi32(-1, -1, -1, 0));
  __m128 values = _mm_cvtepi32_ps(_mm_add_epi32(sums, _mm_set1_epi32(kSampleBias * kWeightUnit)));
  __m128 alphaSum = _mm_shuffle_ps(values, values, _MM_SHUFFLE(3, 3, 3, 3));
  __m128 divisor = _mm_or_ps(_mm_and_ps(alphaSum, colorLanes), alphaUnit);
  __m128i rounded = _mm_cvtps_epi32(_mm_div_ps(_mm_mul_ps(values, scale), divisor));
  __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(rounded, rounded), rounded);
  uint32_t pixel = static_cast<uint32_t>(_mm_cvtsi128_si32(bytes));
  return (pixel >> 24) == 0 ? 0 : pixel;
}

}  // namespace
}  // namespace resample
