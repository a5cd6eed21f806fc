// The number, digit and colour parsers of the profile fields. The first byte chooses the number of
// decimals (-1 to 10: outside 0 to 9 every text is refused) and how the rest becomes text: one
// character per byte, or UTF-16 units in little-endian pairs.
#include <cstdlib>
#include <string>

#include "base/ValueText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int decimals = (data[0] & 0x0F) % 12 - 1;
  const bool wide = (data[0] & 0x80) != 0;
  std::wstring text;
  for (size_t i = 1; i < size; i += wide ? 2 : 1) {
    if (wide && i + 1 == size) break;
    text.push_back(static_cast<wchar_t>(wide ? data[i] | data[i + 1] << 8 : data[i]));
  }

  int32_t value = 0;
  if (ParseFixedPoint(text, decimals, &value)) {
    if (decimals < 0 || decimals > 9) std::abort();
    // What the field shows for a value reads back as that value, with or without the fraction.
    for (bool forceFraction : {false, true}) {
      int32_t again = 0;
      if (!ParseFixedPoint(FormatFixedPoint(value, decimals, forceFraction), decimals, &again) ||
          again != value) {
        std::abort();
      }
    }
  }
  // A digit field keeps digits only, and what it keeps always has a value, one that does not
  // depend on how wide the digits are written.
  const std::wstring digits = KeepDigits(text);
  int32_t whole = -1;
  if (ParseDigits(digits, &whole) == digits.empty() || (!digits.empty() && whole < 0)) std::abort();
  if (ParseDigits(text, &value) != (!text.empty() && digits == text)) std::abort();
  if (!digits.empty()) {
    std::wstring ascii = digits;
    for (wchar_t& c : ascii) {
      if (c > L'9') c = static_cast<wchar_t>(c - 0xFF10 + L'0');
    }
    int32_t again = -1;
    if (!ParseFixedPoint(ascii, 0, &again) || again != whole) std::abort();
  }

  uint32_t color = 0;
  if (ParseHexColor(text, &color)) {
    uint32_t again = 0;
    if (color > 0xFFFFFF || !ParseHexColor(FormatHexColor(color), &again) || again != color) {
      std::abort();
    }
  }
  return 0;
}
