// Number and colour texts of the profile fields.
#include "base/ValueText.h"

#include <cwchar>
#include <limits>

#include <boost/regex.hpp>

namespace {

const int64_t kMin = std::numeric_limits<int32_t>::min();
const int64_t kMax = std::numeric_limits<int32_t>::max();

// Base-10 conversion saturating at the 32-bit range, as the C library's wcstol does where long
// has 32 bits (the digits have already been checked).
int64_t SaturatingDecimal(const std::wstring& digits) {
  if (digits.empty()) return 0;
  long long value = std::wcstoll(digits.c_str(), nullptr, 10);
  if (value > kMax) return kMax;
  if (value < kMin) return kMin;
  return value;
}

const wchar_t kFullWidthZero = 0xFF10;
const wchar_t kFullWidthNine = 0xFF19;

bool IsDigit(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= kFullWidthZero && c <= kFullWidthNine);
}

int HexDigit(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

}  // namespace

bool ParseFixedPoint(const std::wstring& text, int decimals, int32_t* value) {
  if (decimals < 0 || decimals > 9) return false;
  static const boost::wregex kNumber(L"^((?:\\+?|-?)[0-9]+)(?:\\.?|\\.([0-9]+))$");
  boost::wsmatch match;
  if (!boost::regex_match(text, match, kNumber)) return false;
  int64_t integer = SaturatingDecimal(match[1].str());
  std::wstring fractionDigits = match[2].matched ? match[2].str() : std::wstring();
  fractionDigits.resize(static_cast<size_t>(decimals), L'0');
  int64_t fraction = SaturatingDecimal(fractionDigits);
  int64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  if (integer > 0) {
    if (integer > kMax / scale || (integer == kMax / scale && fraction > kMax % scale)) return false;
  } else {
    int64_t floor = kMin / scale;  // truncated toward zero
    if (integer < floor || (integer == floor && fraction > -(kMin % scale))) return false;
  }
  bool negative = !text.empty() && text[0] == L'-';
  int64_t result = integer * scale + (negative ? -fraction : fraction);
  *value = static_cast<int32_t>(result);
  return true;
}

std::wstring KeepDigits(const std::wstring& text) {
  std::wstring digits;
  for (wchar_t c : text) {
    if (IsDigit(c)) digits += c;
  }
  return digits;
}

bool ParseDigits(const std::wstring& text, int32_t* value) {
  if (text.empty()) return false;
  std::wstring ascii = text;
  for (wchar_t& c : ascii) {
    if (!IsDigit(c)) return false;
    if (c >= kFullWidthZero) c = static_cast<wchar_t>(L'0' + (c - kFullWidthZero));
  }
  // ParseFixedPoint saturates the whole part, so no text of digits fails there.
  return ParseFixedPoint(ascii, 0, value);
}

std::wstring FormatFixedPoint(int32_t value, int decimals, bool forceFraction) {
  int64_t scale = 1;
  for (int i = 0; i < decimals && i < 9; ++i) scale *= 10;
  int64_t whole = static_cast<int64_t>(value) / scale;
  int64_t fraction = static_cast<int64_t>(value) % scale;
  if (fraction < 0) fraction = -fraction;
  std::wstring text;
  if (value < 0 && whole == 0) text = L"-";
  text += std::to_wstring(whole);
  if (decimals > 0 && (fraction != 0 || forceFraction)) {
    std::wstring digits = std::to_wstring(fraction);
    text += L".";
    text += std::wstring(static_cast<size_t>(decimals) - digits.size(), L'0') + digits;
  }
  return text;
}

bool ParseHexColor(const std::wstring& text, uint32_t* colorref) {
  if (text.empty()) return false;
  for (wchar_t c : text) {
    if (HexDigit(c) < 0) return false;
  }
  if (text.size() == 1 || text.size() == 2) {
    uint32_t grey = static_cast<uint32_t>(HexDigit(text[0]));
    if (text.size() == 2) grey = grey * 16 + static_cast<uint32_t>(HexDigit(text[1]));
    *colorref = grey * 0x010101u;
    return true;
  }
  if (text.size() != 6) return false;
  uint32_t byte[3];
  for (int i = 0; i < 3; ++i) {
    byte[i] = static_cast<uint32_t>(HexDigit(text[2 * i]) * 16 + HexDigit(text[2 * i + 1]));
  }
  *colorref = byte[0] | byte[1] << 8 | byte[2] << 16;
  return true;
}

std::wstring FormatHexColor(uint32_t colorref) {
  wchar_t text[8];
  std::swprintf(text, 8, L"%02X%02X%02X", colorref & 0xFF, (colorref >> 8) & 0xFF, (colorref >> 16) & 0xFF);
  return text;
}
