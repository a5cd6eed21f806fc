// SSE2 row kernels of the resampler. SSE2 is part of every x86-64 processor but not of every
// processor the 32-bit build runs on, so these functions are compiled for SSE2 here and chosen at
// run time.
#include "image/resample/ResampleKernels.h"

#if defined(__i386__) || defined(__x86_64__)

#include <cstring>

// clang (the sanitizer tests and the fuzzers) spells the region its own way.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("sse2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("sse2")
#endif
#include "image/resample/ResampleSimd.h"

namespace resample {
namespace {

// Two pixels (eight 16-bit lanes B G R A B G R A) to biased premultiplied samples: colour × alpha
// and alpha × 255, minus the bias (the product fits 16 bits unsigned; flipping the top bit
// subtracts 32768).
inline __m128i Premultiply(__m128i pixels) {
  const __m128i alphaLane = _mm_setr_epi16(0, 0, 0, 255, 0, 0, 0, 255);
  __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(pixels, 0xFF), 0xFF);
  __m128i factor = _mm_or_si128(alpha, alphaLane);  // a | 255 == 255 in the alpha lane
  return _mm_xor_si128(_mm_mullo_epi16(pixels, factor), _mm_set1_epi16(-32768));
}

// Four pixels of rows a and b into accumulator rows, in plain pixel order.
inline void AccumulateBlock(const uint8_t* a, const uint8_t* b, size_t x, const int32_t* pairs,
                            int32_t* const* acc, uint32_t count) {
  const __m128i zero = _mm_setzero_si128();
  __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
  __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
  __m128i a01 = Premultiply(_mm_unpacklo_epi8(va, zero));
  __m128i a23 = Premultiply(_mm_unpackhi_epi8(va, zero));
  __m128i b01 = Premultiply(_mm_unpacklo_epi8(vb, zero));
  __m128i b23 = Premultiply(_mm_unpackhi_epi8(vb, zero));
  // Each 32-bit lane pairs a sample of a with the same sample of b, for _mm_madd_epi16.
  __m128i p0 = _mm_unpacklo_epi16(a01, b01);
  __m128i p1 = _mm_unpackhi_epi16(a01, b01);
  __m128i p2 = _mm_unpacklo_epi16(a23, b23);
  __m128i p3 = _mm_unpackhi_epi16(a23, b23);
  for (uint32_t i = 0; i < count; ++i) {
    __m128i w = _mm_set1_epi32(pairs[i]);
    __m128i* out = reinterpret_cast<__m128i*>(acc[i] + 4 * x);
    _mm_storeu_si128(out + 0, _mm_add_epi32(_mm_loadu_si128(out + 0), _mm_madd_epi16(p0, w)));
    _mm_storeu_si128(out + 1, _mm_add_epi32(_mm_loadu_si128(out + 1), _mm_madd_epi16(p1, w)));
    _mm_storeu_si128(out + 2, _mm_add_epi32(_mm_loadu_si128(out + 2), _mm_madd_epi16(p2, w)));
    _mm_storeu_si128(out + 3, _mm_add_epi32(_mm_loadu_si128(out + 3), _mm_madd_epi16(p3, w)));
  }
}

// Four pixels of four rows: rows a and b weighted by pairs01, c and d by pairs23, both products
// added before the accumulator is touched.
inline void AccumulateFourBlock(const uint8_t* a, const uint8_t* b, const uint8_t* c, const uint8_t* d,
                                size_t x, const int32_t* pairs01, const int32_t* pairs23,
                                int32_t* const* acc, uint32_t count) {
  const __m128i zero = _mm_setzero_si128();
  __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
  __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
  __m128i vc = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c));
  __m128i vd = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d));
  __m128i a01 = Premultiply(_mm_unpacklo_epi8(va, zero)), a23 = Premultiply(_mm_unpackhi_epi8(va, zero));
  __m128i b01 = Premultiply(_mm_unpacklo_epi8(vb, zero)), b23 = Premultiply(_mm_unpackhi_epi8(vb, zero));
  __m128i c01 = Premultiply(_mm_unpacklo_epi8(vc, zero)), c23 = Premultiply(_mm_unpackhi_epi8(vc, zero));
  __m128i d01 = Premultiply(_mm_unpacklo_epi8(vd, zero)), d23 = Premultiply(_mm_unpackhi_epi8(vd, zero));
  __m128i ab0 = _mm_unpacklo_epi16(a01, b01), cd0 = _mm_unpacklo_epi16(c01, d01);
  __m128i ab1 = _mm_unpackhi_epi16(a01, b01), cd1 = _mm_unpackhi_epi16(c01, d01);
  __m128i ab2 = _mm_unpacklo_epi16(a23, b23), cd2 = _mm_unpacklo_epi16(c23, d23);
  __m128i ab3 = _mm_unpackhi_epi16(a23, b23), cd3 = _mm_unpackhi_epi16(c23, d23);
  for (uint32_t i = 0; i < count; ++i) {
    __m128i w01 = _mm_set1_epi32(pairs01[i]), w23 = _mm_set1_epi32(pairs23[i]);
    __m128i* out = reinterpret_cast<__m128i*>(acc[i] + 4 * x);
    _mm_storeu_si128(out + 0, _mm_add_epi32(_mm_loadu_si128(out + 0),
                                            _mm_add_epi32(_mm_madd_epi16(ab0, w01), _mm_madd_epi16(cd0, w23))));
    _mm_storeu_si128(out + 1, _mm_add_epi32(_mm_loadu_si128(out + 1),
                                            _mm_add_epi32(_mm_madd_epi16(ab1, w01), _mm_madd_epi16(cd1, w23))));
    _mm_storeu_si128(out + 2, _mm_add_epi32(_mm_loadu_si128(out + 2),
                                            _mm_add_epi32(_mm_madd_epi16(ab2, w01), _mm_madd_epi16(cd2, w23))));
    _mm_storeu_si128(out + 3, _mm_add_epi32(_mm_loadu_si128(out + 3),
                                            _mm_add_epi32(_mm_madd_epi16(ab3, w01), _mm_madd_epi16(cd3, w23))));
  }
}

void AccumulateFourSse2(const uint8_t* const* rows, uint32_t width, const int32_t* pairs01,
                        const int32_t* pairs23, int32_t* const* acc, uint32_t count) {
  const size_t whole = width / 4 * 4;
  for (size_t x = 0; x < whole; x += 4) {
    AccumulateFourBlock(rows[0] + 4 * x, rows[1] + 4 * x, rows[2] + 4 * x, rows[3] + 4 * x, x,
                        pairs01, pairs23, acc, count);
  }
  if (whole < width) {
    uint8_t rest[4][16] = {};
    for (int k = 0; k < 4; ++k) std::memcpy(rest[k], rows[k] + 4 * whole, 4 * (width - whole));
    AccumulateFourBlock(rest[0], rest[1], rest[2], rest[3], whole, pairs01, pairs23, acc, count);
  }
}

void AccumulateSse2(const uint8_t* a, const uint8_t* b, uint32_t width, const int32_t* pairs,
                    int32_t* const* acc, uint32_t count) {
  const size_t whole = width / 4 * 4;
  for (size_t x = 0; x < whole; x += 4) {
    AccumulateBlock(a + 4 * x, b + 4 * x, x, pairs, acc, count);
  }
  if (whole < width) {
    // The rows end inside the block: read the rest through a copy, padded with transparent
    // pixels that land in the accumulators' padding.
    uint8_t restA[16] = {}, restB[16] = {};
    std::memcpy(restA, a + 4 * whole, 4 * (width - whole));
    std::memcpy(restB, b + 4 * whole, 4 * (width - whole));
    AccumulateBlock(restA, restB, whole, pairs, acc, count);
  }
}

void SettleSse2(int32_t* acc, int16_t* row, uint32_t paddedWidth) {
  const __m128i half = _mm_set1_epi32(1 << (kWeightBits - 1));
  const __m128i zero = _mm_setzero_si128();
  __m128i* in = reinterpret_cast<__m128i*>(acc);
  __m128i* out = reinterpret_cast<__m128i*>(row);
  for (size_t i = 0; i < paddedWidth / 2; ++i) {
    __m128i lo = _mm_srai_epi32(_mm_add_epi32(_mm_loadu_si128(in + 2 * i), half), kWeightBits);
    __m128i hi = _mm_srai_epi32(_mm_add_epi32(_mm_loadu_si128(in + 2 * i + 1), half), kWeightBits);
    _mm_storeu_si128(out + i, _mm_packs_epi32(lo, hi));
    _mm_storeu_si128(in + 2 * i, zero);
    _mm_storeu_si128(in + 2 * i + 1, zero);
  }
}

void FilterRowSse2(const int16_t* row, const HorizontalTable& table, uint32_t width,
                   uint8_t* out) {
  for (uint32_t x = 0; x < width; ++x) {
    const int16_t* w = table.weights + static_cast<size_t>(x) * table.stride;
    const int16_t* s = row + 4 * static_cast<size_t>(table.start[x]);
    __m128i sums = _mm_setzero_si128();
    for (uint32_t k = 0; k < table.stride; k += 4) {
      // Pixels k, k+1 and k+2, k+3; interleaving them pairs k with k+2 and k+1 with k+3.
      __m128i p01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * k));
      __m128i p23 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * k + 8));
      __m128i weights = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(w + k));
      weights = _mm_shufflelo_epi16(weights, _MM_SHUFFLE(3, 1, 2, 0));  // w0 w2 w1 w3
      __m128i even = _mm_madd_epi16(_mm_unpacklo_epi16(p01, p23), _mm_shuffle_epi32(weights, 0x00));
      __m128i odd = _mm_madd_epi16(_mm_unpackhi_epi16(p01, p23), _mm_shuffle_epi32(weights, 0x55));
      sums = _mm_add_epi32(sums, _mm_add_epi32(even, odd));
    }
    uint32_t pixel = StraightPixelVector(sums);
    std::memcpy(out + 4 * static_cast<size_t>(x), &pixel, 4);
  }
}

const RowKernels kSse2Kernels = {AccumulateSse2, AccumulateFourSse2, SettleSse2, FilterRowSse2, false};

}  // namespace
}  // namespace resample

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// Outside the SSE2 region: this runs before anyone knows the processor has SSE2.
const resample::RowKernels* resample::Sse2Kernels() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("sse2") ? &kSse2Kernels : nullptr;
}

#else

namespace resample {
const RowKernels* Sse2Kernels() { return nullptr; }
}  // namespace resample

#endif
