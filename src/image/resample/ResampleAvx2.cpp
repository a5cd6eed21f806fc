// AVX2 row kernels of the resampler, compiled for AVX2 here and chosen at run time when the
// processor and the system support it.
//
// The 256-bit unpack and pack instructions work within 128-bit halves. Accumulating, each block
// of eight pixels is therefore kept in the order 0 2 1 3 4 6 5 7 (two pixels per register, one in
// each half); packing two such registers undoes the order, so settled rows come out plain.
// 64-bit Windows aligns the stack to 16 bytes only, and GCC would spill 256-bit registers with
// aligned moves there; the loops are kept small enough that nothing spills on x86-64 (the
// 32-bit build spills with unaligned moves).
#include "image/resample/ResampleKernels.h"

#if defined(__i386__) || defined(__x86_64__)

#include <cstring>

#include <immintrin.h>

// clang (the sanitizer tests and the fuzzers) spells the region its own way.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
#include "image/resample/ResampleSimd.h"

namespace resample {
namespace {

// Four pixels (as 16-bit lanes, two per 128-bit half) to biased premultiplied samples.
inline __m256i Premultiply(__m256i pixels) {
  const __m256i alphaToColor = _mm256_setr_epi8(
      6, 7, 6, 7, 6, 7, -128, -128, 14, 15, 14, 15, 14, 15, -128, -128,
      6, 7, 6, 7, 6, 7, -128, -128, 14, 15, 14, 15, 14, 15, -128, -128);
  const __m256i alphaLane = _mm256_setr_epi16(0, 0, 0, 255, 0, 0, 0, 255,
                                              0, 0, 0, 255, 0, 0, 0, 255);
  __m256i factor = _mm256_or_si256(_mm256_shuffle_epi8(pixels, alphaToColor), alphaLane);
  return _mm256_xor_si256(_mm256_mullo_epi16(pixels, factor), _mm256_set1_epi16(-32768));
}

inline __m256i LoadFour(const uint8_t* p) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

inline void AddTo(int32_t* out, __m256i v) {
  __m256i* p = reinterpret_cast<__m256i*>(out);
  _mm256_storeu_si256(p, _mm256_add_epi32(_mm256_loadu_si256(p), v));
}

inline void AccumulateBlock(const uint8_t* a, const uint8_t* b, size_t x, const int32_t* pairs,
                            int32_t* const* acc, uint32_t count) {
  __m256i a03 = Premultiply(LoadFour(a));
  __m256i a47 = Premultiply(LoadFour(a + 16));
  __m256i b03 = Premultiply(LoadFour(b));
  __m256i b47 = Premultiply(LoadFour(b + 16));
  __m256i p02 = _mm256_unpacklo_epi16(a03, b03);
  __m256i p13 = _mm256_unpackhi_epi16(a03, b03);
  __m256i p46 = _mm256_unpacklo_epi16(a47, b47);
  __m256i p57 = _mm256_unpackhi_epi16(a47, b47);
  for (uint32_t i = 0; i < count; ++i) {
    __m256i w = _mm256_set1_epi32(pairs[i]);
    int32_t* out = acc[i] + 4 * x;
    AddTo(out + 0, _mm256_madd_epi16(p02, w));
    AddTo(out + 8, _mm256_madd_epi16(p13, w));
    AddTo(out + 16, _mm256_madd_epi16(p46, w));
    AddTo(out + 24, _mm256_madd_epi16(p57, w));
  }
}

// Four pixels of four rows (`a` to `d` point at them in each row; `x` is the first pixel's
// index, a multiple of four), kept in the order 0 2 1 3 of their block: rows a and b weighted by
// pairs01, c and d by pairs23, both products added before the accumulator is touched. Four
// pixels, not eight, so that the 32-bit build, with eight vector registers, does not spill.
inline void AccumulateFourRowsOfFour(const uint8_t* a, const uint8_t* b, const uint8_t* c,
                                     const uint8_t* d, size_t x, const int32_t* pairs01,
                                     const int32_t* pairs23, int32_t* const* acc, uint32_t count) {
  __m256i a03 = Premultiply(LoadFour(a)), b03 = Premultiply(LoadFour(b));
  __m256i c03 = Premultiply(LoadFour(c)), d03 = Premultiply(LoadFour(d));
  __m256i ab02 = _mm256_unpacklo_epi16(a03, b03), cd02 = _mm256_unpacklo_epi16(c03, d03);
  __m256i ab13 = _mm256_unpackhi_epi16(a03, b03), cd13 = _mm256_unpackhi_epi16(c03, d03);
  for (uint32_t i = 0; i < count; ++i) {
    __m256i w01 = _mm256_set1_epi32(pairs01[i]), w23 = _mm256_set1_epi32(pairs23[i]);
    int32_t* out = acc[i] + 4 * x;
    AddTo(out + 0, _mm256_add_epi32(_mm256_madd_epi16(ab02, w01), _mm256_madd_epi16(cd02, w23)));
    AddTo(out + 8, _mm256_add_epi32(_mm256_madd_epi16(ab13, w01), _mm256_madd_epi16(cd13, w23)));
  }
}

void AccumulateFourAvx2(const uint8_t* const* rows, uint32_t width, const int32_t* pairs01,
                        const int32_t* pairs23, int32_t* const* acc, uint32_t count) {
  const size_t whole = width / 4 * 4;
  for (size_t x = 0; x < whole; x += 4) {
    AccumulateFourRowsOfFour(rows[0] + 4 * x, rows[1] + 4 * x, rows[2] + 4 * x, rows[3] + 4 * x,
                             x, pairs01, pairs23, acc, count);
  }
  if (whole < width) {
    uint8_t rest[4][16] = {};
    for (int k = 0; k < 4; ++k) std::memcpy(rest[k], rows[k] + 4 * whole, 4 * (width - whole));
    AccumulateFourRowsOfFour(rest[0], rest[1], rest[2], rest[3], whole, pairs01, pairs23, acc, count);
  }
}

void AccumulateAvx2(const uint8_t* a, const uint8_t* b, uint32_t width, const int32_t* pairs,
                    int32_t* const* acc, uint32_t count) {
  const size_t whole = width / kBlockPixels * kBlockPixels;
  for (size_t x = 0; x < whole; x += kBlockPixels) {
    AccumulateBlock(a + 4 * x, b + 4 * x, x, pairs, acc, count);
  }
  if (whole < width) {
    uint8_t restA[4 * kBlockPixels] = {}, restB[4 * kBlockPixels] = {};
    std::memcpy(restA, a + 4 * whole, 4 * (width - whole));
    std::memcpy(restB, b + 4 * whole, 4 * (width - whole));
    AccumulateBlock(restA, restB, whole, pairs, acc, count);
  }
}

void SettleAvx2(int32_t* acc, int16_t* row, uint32_t paddedWidth) {
  const __m256i half = _mm256_set1_epi32(1 << (kWeightBits - 1));
  const __m256i zero = _mm256_setzero_si256();
  __m256i* in = reinterpret_cast<__m256i*>(acc);
  __m256i* out = reinterpret_cast<__m256i*>(row);
  for (size_t i = 0; i < paddedWidth / 4; ++i) {
    __m256i v02 = _mm256_srai_epi32(_mm256_add_epi32(_mm256_loadu_si256(in + 2 * i), half),
                                    kWeightBits);
    __m256i v13 = _mm256_srai_epi32(_mm256_add_epi32(_mm256_loadu_si256(in + 2 * i + 1), half),
                                    kWeightBits);
    _mm256_storeu_si256(out + i, _mm256_packs_epi32(v02, v13));  // pixels 0 1 | 2 3
    _mm256_storeu_si256(in + 2 * i, zero);
    _mm256_storeu_si256(in + 2 * i + 1, zero);
  }
}

// StraightPixelVector for two pixels' sums, one per 128-bit half: the same operations on each.
inline void StraightPixelsTwo(__m256i sums, uint8_t* out) {
  const __m256 scale = _mm256_setr_ps(255.0f, 255.0f, 255.0f, 1.0f, 255.0f, 255.0f, 255.0f, 1.0f);
  const __m256 alphaUnit = _mm256_setr_ps(0.0f, 0.0f, 0.0f, 255.0f * kWeightUnit,
                                          0.0f, 0.0f, 0.0f, 255.0f * kWeightUnit);
  const __m256 colorLanes = _mm256_castsi256_ps(_mm256_setr_epi32(-1, -1, -1, 0, -1, -1, -1, 0));
  __m256 values = _mm256_cvtepi32_ps(_mm256_add_epi32(sums, _mm256_set1_epi32(kSampleBias * kWeightUnit)));
  __m256 alphaSum = _mm256_shuffle_ps(values, values, _MM_SHUFFLE(3, 3, 3, 3));
  __m256 divisor = _mm256_or_ps(_mm256_and_ps(alphaSum, colorLanes), alphaUnit);
  __m256i rounded = _mm256_cvtps_epi32(_mm256_div_ps(_mm256_mul_ps(values, scale), divisor));
  __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(rounded, rounded), rounded);
  uint32_t first = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm256_castsi256_si128(bytes)));
  uint32_t second = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm256_extracti128_si256(bytes, 1)));
  if ((first >> 24) == 0) first = 0;
  if ((second >> 24) == 0) second = 0;
  std::memcpy(out, &first, 4);
  std::memcpy(out + 4, &second, 4);
}

// The filtered sums of target pixel x: taps two at a time in each 128-bit half, folded at the end.
inline __m128i FilteredSums(const int16_t* row, const HorizontalTable& table, uint32_t x) {
  // Interleaves the two pixels of each half: B0 B1 G0 G1 R0 R1 A0 A1.
  const __m256i pairUp = _mm256_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15,
                                          0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15);
  // Weights w0 w1 for every lane pair of the low half, w2 w3 for the high half.
  const __m256i* w = reinterpret_cast<const __m256i*>(table.spreadPairs) +
                     static_cast<size_t>(x) * (table.stride / 4);
  const int16_t* s = row + 4 * static_cast<size_t>(table.start[x]);
  __m256i sums = _mm256_setzero_si256();
  for (uint32_t k = 0; k < table.stride; k += 4, ++w) {
    __m256i pixels = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + 4 * k));
    sums = _mm256_add_epi32(sums, _mm256_madd_epi16(_mm256_shuffle_epi8(pixels, pairUp), _mm256_load_si256(w)));
  }
  return _mm_add_epi32(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
}

void FilterRowAvx2(const int16_t* row, const HorizontalTable& table, uint32_t width,
                   uint8_t* out) {
  uint32_t x = 0;
  // Two pixels at a time share the conversion back to straight bytes.
  for (; x + 2 <= width; x += 2) {
    __m256i both = _mm256_inserti128_si256(_mm256_castsi128_si256(FilteredSums(row, table, x)),
                                           FilteredSums(row, table, x + 1), 1);
    StraightPixelsTwo(both, out + 4 * static_cast<size_t>(x));
  }
  if (x < width) {
    uint32_t pixel = StraightPixelVector(FilteredSums(row, table, x));
    std::memcpy(out + 4 * static_cast<size_t>(x), &pixel, 4);
  }
}

const RowKernels kAvx2Kernels = {AccumulateAvx2, AccumulateFourAvx2, SettleAvx2, FilterRowAvx2, true};

}  // namespace
}  // namespace resample

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// Outside the AVX2 region: this runs before anyone knows the processor has AVX2.
// __builtin_cpu_supports also checks that the system saves the 256-bit registers.
const resample::RowKernels* resample::Avx2Kernels() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? &kAvx2Kernels : nullptr;
}

#else

namespace resample {
const RowKernels* Avx2Kernels() { return nullptr; }
}  // namespace resample

#endif
