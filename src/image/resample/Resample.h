// Resampling of BGRA straight-alpha pixels on plain buffers (no Windows headers, so the kernel
// also builds natively for sanitizers and benchmarks).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/PixelBuffers.h"

// Resamples the whole of `source` into the whole of `target`; the sizes come from the two views.
// The views must not overlap. False only when working memory cannot be had.
bool ResampleBgra(const PixelRows& source, const PixelRows& target);

// Resampling fed the source's rows one at a time, top to bottom, as a decoder makes them, into one
// or several targets: the same bytes as ResampleBgra of the whole picture into each, without the
// whole picture ever being held. Each group of rows is premultiplied once for all the targets.
class CRowResampler {
public:
  CRowResampler();
  ~CRowResampler();
  CRowResampler(const CRowResampler&) = delete;
  CRowResampler& operator=(const CRowResampler&) = delete;

  // For a `sourceWidth` x `sourceHeight` source into the whole of each of `targets`, which must
  // stay valid until the last row is added. False when working memory cannot be had.
  bool Begin(uint32_t sourceWidth, uint32_t sourceHeight, const std::vector<PixelRows>& targets);
  // The next source row (sourceWidth BGRA pixels). Rows are taken in groups of four: a row must
  // stay as it is until three more rows, or the last one, have been added.
  void AddRow(const uint8_t* row);
  // True once the last row was added and every row of every target written.
  bool Complete() const;

private:
  struct State;
  std::unique_ptr<State> m_state;
};
