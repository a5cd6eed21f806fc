// The canvas the decoding fuzzers hand to the decoders. It behaves as the program's own canvas
// does (asks for a reduction, refuses a size it has no memory for, converts described colours to
// sRGB, turns the result upright) and checks what the decoders tell it; a broken promise ends the
// run as a finding.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "base/Orientation.h"
#include "base/PixelBuffers.h"
#include "image/decode/ColorConversion.h"

class FuzzCanvas : public BgraCanvas {
public:
  // Larger pictures are refused as the program refuses those beyond its pixel budget, only far
  // sooner: a few hundred bytes of arithmetic-coded data can stand for a whole picture, and a
  // fuzzer that decodes gigapixels of it learns nothing while it waits.
  static constexpr uint64_t kMaxFilePixels = 1u << 22;
  static constexpr uint64_t kMaxPixels = 1u << 20;

  explicit FuzzCanvas(unsigned reduction) : m_reduction(reduction) {}

  unsigned Prepare(uint32_t width, uint32_t height, int orientation, uint64_t) override {
    Check(!m_prepared && !m_begun && width != 0 && height != 0 && Valid(orientation));
    m_prepared = true;
    m_fileWidth = width;
    m_fileHeight = height;
    m_refused = static_cast<uint64_t>(width) * height > kMaxFilePixels;
    return m_refused ? 0 : m_reduction;
  }

  bool Begin(uint32_t width, uint32_t height) override {
    Check(!m_begun && !m_refused && width != 0 && height != 0);
    m_begun = true;
    if (m_prepared) {
      // The decoder honours a reduction of 2, 4 or 8, rounding up, and ignores anything else.
      const unsigned used = m_reduction == 2 || m_reduction == 4 || m_reduction == 8 ? m_reduction : 1;
      Check(width == (m_fileWidth + used - 1) / used && height == (m_fileHeight + used - 1) / used);
    }
    if (static_cast<uint64_t>(width) * height > kMaxPixels) return false;
    m_width = width;
    m_height = height;
    m_pixels.assign(static_cast<size_t>(width) * height * 4, 0);
    return true;
  }

  // Bottom-up, as the program's DIBs are.
  PixelRows Rows() const override {
    Check(m_begun && !m_pixels.empty());
    PixelRows rows;
    rows.width = m_width;
    rows.height = m_height;
    rows.stride = -static_cast<ptrdiff_t>(m_width) * 4;
    rows.top = const_cast<uint8_t*>(m_pixels.data()) + static_cast<size_t>(m_height - 1) * m_width * 4;
    return rows;
  }

  // The profile (any bytes the file holds) goes to Little CMS as the program's canvas gives it.
  bool DescribeColor(const ColorDescription& color) override {
    Check(!m_described && !m_finished && (color.iccSize == 0 || color.icc));
    m_described = true;
    m_conversion = CColorConversion::For(color);
    return m_conversion != nullptr;
  }

  bool Finish(int orientation) override {
    Check(m_begun && !m_finished && Valid(orientation));
    m_finished = true;
    if (m_conversion) {
      const PixelRows rows = Rows();
      for (uint32_t y = 0; y < rows.height; ++y) m_conversion->Apply(rows.Row(y), rows.width);
    }
    const bool swap = SwapsSides(orientation);
    std::vector<uint8_t> upright(m_pixels.size());
    PixelRows target;
    target.width = swap ? m_height : m_width;
    target.height = swap ? m_width : m_height;
    target.top = upright.data();
    target.stride = static_cast<ptrdiff_t>(target.width) * 4;
    OrientPixels(Rows(), orientation, target);
    return true;
  }

  bool Finished() const { return m_finished; }

private:
  static bool Valid(int orientation) { return orientation >= 1 && orientation <= 8; }
  static void Check(bool promise) {
    if (!promise) std::abort();
  }

  unsigned m_reduction;
  bool m_prepared = false, m_refused = false, m_begun = false, m_finished = false, m_described = false;
  CColorConversionPtr m_conversion;
  uint32_t m_fileWidth = 0, m_fileHeight = 0;
  uint32_t m_width = 0, m_height = 0;
  std::vector<uint8_t> m_pixels;
};
