// Internals of the resampler shared by its instruction-set variants: the fixed-point conventions,
// the horizontal weight table and the table of row kernels each variant provides.
#pragma once

#include <cstdint>

#include "base/PixelBuffers.h"

namespace resample {

// Weights are fixed point with 14 fraction bits; the weights of every output pixel sum to exactly
// kWeightUnit, so a uniform picture comes out bit for bit the same.
constexpr int kWeightBits = 14;
constexpr int32_t kWeightUnit = 1 << kWeightBits;

// Filtered samples are premultiplied: colour × alpha and alpha × 255, both 0..65025, so a pixel
// of colour c and alpha a goes back to exactly c whatever a is. They are held as int16 minus
// kSampleBias, which lets the signed 16-bit multiply-add instructions work on them; since the
// weights sum to the unit, the bias leaves a filter unchanged and comes off exactly at the end.
constexpr int32_t kSampleBias = 32768;

// Accumulator rows hold four int32 per pixel and are padded to whole blocks of this many pixels;
// within a block a variant may keep its pixels in its own order.
constexpr uint32_t kBlockPixels = 8;
// Horizontal weight lists are padded with zero weights to a multiple of this many taps.
constexpr uint32_t kTapGroup = 4;

struct HorizontalTable {
  const uint32_t* start = nullptr;   // first source column of each target column
  const int16_t* weights = nullptr;  // `stride` weights per target column
  uint32_t stride = 0;
  // For kernels that ask for it (RowKernels::spreadPairs), the same weights laid out for 256-bit
  // multiply-adds: per target column, stride / 4 groups of eight int32, 32-byte aligned: the
  // pair (w0, w1) four times, then (w2, w3) four times.
  const int32_t* spreadPairs = nullptr;
};

struct RowKernels {
  // Premultiplies `width` pixels of source rows a and b, and adds them to accumulator rows
  // acc[0..count): acc[i] += a × low half of pairs[i] + b × high half (int16 weights).
  void (*accumulate)(const uint8_t* a, const uint8_t* b, uint32_t width, const int32_t* pairs,
                     int32_t* const* acc, uint32_t count);
  // The same for four source rows at once: acc[i] += rows 0 and 1 weighted by pairs01[i] and
  // rows 2 and 3 by pairs23[i]. Each accumulator is read and written once per four rows instead
  // of twice; integer sums in any order give the same result.
  void (*accumulateFour)(const uint8_t* const* rows, uint32_t width, const int32_t* pairs01,
                         const int32_t* pairs23, int32_t* const* acc, uint32_t count);
  // Rounds an accumulator row of `paddedWidth` pixels to premultiplied int16 samples (clamped,
  // in plain pixel order) and clears the accumulators for their next target row.
  void (*settle)(int32_t* acc, int16_t* row, uint32_t paddedWidth);
  // Filters a row of int16 samples into `width` straight-alpha BGRA pixels.
  void (*filterRow)(const int16_t* row, const HorizontalTable& table, uint32_t width,
                    uint8_t* out);
  // Whether filterRow reads HorizontalTable::spreadPairs.
  bool spreadPairs;
};

enum class Isa { Scalar, Sse2, Avx2 };

// The kernels for `isa`, or nullptr when this processor or build lacks it.
const RowKernels* KernelsFor(Isa isa);
// The fastest variant this processor runs.
Isa BestIsa();
// ResampleBgra with a chosen variant; false also when the variant is unavailable.
bool ResampleBgraWith(Isa isa, const PixelRows& source, const PixelRows& target);

// The straight-alpha BGRA pixel (as B | G << 8 | R << 16 | A << 24) for four filtered sums of
// biased premultiplied samples in weight units. Alpha is rounded to 0..255; a pixel whose alpha
// rounds to 0 is all zero; colour is colour sum × 255 / alpha sum, rounded and clamped.
uint32_t StraightPixel(const int32_t sums[4]);

// Defined by the variants' own files; nullptr where the processor lacks the instructions.
const RowKernels* Sse2Kernels();
const RowKernels* Avx2Kernels();

}  // namespace resample
