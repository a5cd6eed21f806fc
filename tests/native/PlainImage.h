// A picture in a plain buffer for the native tests: rows padded with guard bytes and stored
// bottom-up when asked, so a kernel that assumes a positive stride or writes past a row's end is
// caught (the sanitizer cannot see the padding, the guard bytes can).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/PixelBuffers.h"

class PlainImage {
public:
  static constexpr uint8_t kGuard = 0xA5;

  PlainImage(uint32_t width, uint32_t height, uint32_t bytesPerPixel, bool bottomUp = false)
      : m_width(width), m_height(height), m_pitch(width * bytesPerPixel + kPadding),
        m_bottomUp(bottomUp), m_bytes(static_cast<size_t>(m_pitch) * height, kGuard) {}

  uint32_t Width() const { return m_width; }
  uint32_t Height() const { return m_height; }

  PixelRows Rows() const {
    PixelRows rows;
    rows.width = m_width;
    rows.height = m_height;
    rows.top = const_cast<uint8_t*>(m_bytes.data()) + Offset(0);
    rows.stride = m_bottomUp ? -static_cast<ptrdiff_t>(m_pitch) : static_cast<ptrdiff_t>(m_pitch);
    return rows;
  }
  // Row y counted from the top, whatever the storage order.
  uint8_t* Row(uint32_t y) { return m_bytes.data() + Offset(y); }
  const uint8_t* Row(uint32_t y) const { return m_bytes.data() + Offset(y); }

  uint32_t Pixel(uint32_t x, uint32_t y) const {
    uint32_t value;
    std::memcpy(&value, Row(y) + 4 * static_cast<size_t>(x), 4);
    return value;
  }
  void SetPixel(uint32_t x, uint32_t y, uint32_t value) {
    std::memcpy(Row(y) + 4 * static_cast<size_t>(x), &value, 4);
  }
  // True while every padding byte still holds the guard.
  bool GuardsIntact(uint32_t bytesPerPixel) const {
    for (uint32_t y = 0; y < m_height; ++y) {
      const uint8_t* pad = Row(y) + static_cast<size_t>(m_width) * bytesPerPixel;
      for (uint32_t i = 0; i < kPadding; ++i) {
        if (pad[i] != kGuard) return false;
      }
    }
    return true;
  }

private:
  static constexpr uint32_t kPadding = 12;

  size_t Offset(uint32_t y) const {
    return static_cast<size_t>(m_bottomUp ? m_height - 1 - y : y) * m_pitch;
  }

  uint32_t m_width, m_height, m_pitch;
  bool m_bottomUp;
  std::vector<uint8_t> m_bytes;
};
