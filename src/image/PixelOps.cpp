// Compositing onto a colour, palette collection and mapping, channel extraction.
#include "image/PixelOps.h"

#include <algorithm>
#include <cstring>

namespace {

// x / 255 rounded to nearest, exact for 0 <= x <= 255 * 255.
inline uint32_t Div255(uint32_t x) {
  return ((x + 128) * 257) >> 16;
}

// An open-addressing set of up to 256 pixel values with their indices. 512 slots keep probes short.
class CColorSet {
public:
  CColorSet() { std::memset(m_used, 0, sizeof m_used); }

  // Slot of `value`, inserting it when new; -1 when the set is full and `value` is new.
  int Insert(uint32_t value) {
    uint32_t slot = Hash(value);
    while (m_used[slot]) {
      if (m_keys[slot] == value) return static_cast<int>(slot);
      slot = (slot + 1) & (kSlots - 1);
    }
    if (m_count == 256) return -1;
    m_used[slot] = 1;
    m_keys[slot] = value;
    ++m_count;
    return static_cast<int>(slot);
  }
  int Count() const { return m_count; }
  // The values in slot order.
  int Values(uint32_t* out) const {
    int n = 0;
    for (uint32_t slot = 0; slot < kSlots; ++slot) {
      if (m_used[slot]) out[n++] = m_keys[slot];
    }
    return n;
  }
  void SetIndex(int slot, uint8_t index) { m_index[slot] = index; }
  uint8_t Index(int slot) const { return m_index[slot]; }

private:
  static const uint32_t kSlots = 512;
  static uint32_t Hash(uint32_t v) { return (v * 2654435761u) >> 23; }

  uint32_t m_keys[kSlots];
  uint8_t m_index[kSlots];
  uint8_t m_used[kSlots];
  int m_count = 0;
};

}  // namespace

void CompositeOverColor(const PixelRows& source, const PixelRows& target, uint32_t colorref) {
  const uint32_t red = colorref & 0xFF, green = (colorref >> 8) & 0xFF, blue = (colorref >> 16) & 0xFF;
  for (uint32_t y = 0; y < source.height; ++y) {
    const uint8_t* s = source.Row(y);
    uint8_t* t = target.Row(y);
    for (uint32_t x = 0; x < source.width; ++x, s += 4, t += 4) {
      uint32_t a = s[3], rest = 255 - a;
      t[0] = static_cast<uint8_t>(Div255(s[0] * a + blue * rest));
      t[1] = static_cast<uint8_t>(Div255(s[1] * a + green * rest));
      t[2] = static_cast<uint8_t>(Div255(s[2] * a + red * rest));
      t[3] = 255;
    }
  }
}

bool IsOpaque(const PixelRows& source) {
  for (uint32_t y = 0; y < source.height; ++y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(source.Row(y));
    uint32_t all = 0xFFFFFFFFu;  // AND of the row's pixels: a loop the compiler vectorises
    for (uint32_t x = 0; x < source.width; ++x) all &= row[x];
    if ((all >> 24) != 0xFF) return false;
  }
  return true;
}

int CollectPalette(const PixelRows& source, uint32_t palette[256]) {
  CColorSet set;
  for (uint32_t y = 0; y < source.height; ++y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(source.Row(y));
    for (uint32_t x = 0; x < source.width; ++x) {
      // Runs of one value are common in screenshots and drawings: look each run up once.
      if (x > 0 && row[x] == row[x - 1]) continue;
      if (set.Insert(row[x]) < 0) return -1;
    }
  }
  int count = set.Values(palette);
  std::sort(palette, palette + count);
  return count;
}

void MapToPalette(const PixelRows& source, const uint32_t palette[256], int count,
                  const PixelRows& target) {
  CColorSet set;
  for (int i = 0; i < count; ++i) set.SetIndex(set.Insert(palette[i]), static_cast<uint8_t>(i));
  for (uint32_t y = 0; y < source.height; ++y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(source.Row(y));
    uint8_t* out = target.Row(y);
    for (uint32_t x = 0; x < source.width; ++x) {
      if (x > 0 && row[x] == row[x - 1]) {
        out[x] = out[x - 1];
        continue;
      }
      int slot = set.Insert(row[x]);  // present: the palette holds every value of the picture
      out[x] = slot < 0 ? 0 : set.Index(slot);
    }
  }
}

void ExtractChannelBytes(const PixelRows& source, int channel, const PixelRows& target) {
  for (uint32_t y = 0; y < source.height; ++y) {
    const uint8_t* s = source.Row(y) + channel;
    uint8_t* t = target.Row(y);
    for (uint32_t x = 0; x < source.width; ++x) t[x] = s[4 * x];
  }
}
