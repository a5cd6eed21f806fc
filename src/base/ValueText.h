// Parsing and formatting of the numbers and colours typed into the profile fields (plain text,
// no Windows headers, so the parsers also build natively for fuzzing).
#pragma once

#include <cstdint>
#include <string>

// Parses "[+|-]digits[.[digits]]" as a fixed-point number with `decimals` decimal places: the
// fraction is cut or padded to that many digits. The integer part saturates at the 32-bit range
// before scaling; a scaled value beyond the range fails. False for any other text.
bool ParseFixedPoint(const std::wstring& text, int decimals, int32_t* value);

// The decimal digits of `text`, in order: "0" to "9" and the full-width digits U+FF10 to U+FF19
// that a Japanese input method types. What a field of digits only keeps of what is typed.
std::wstring KeepDigits(const std::wstring& text);

// Parses a text of decimal digits only, ASCII or full width (each counting as its value), as a
// whole number that saturates at the 32-bit maximum. False for the empty text and for any other
// character.
bool ParseDigits(const std::wstring& text, int32_t* value);

// The value as decimal text with `decimals` places; the fraction is shown when non-zero or forced.
std::wstring FormatFixedPoint(int32_t value, int decimals, bool forceFraction);

// "RRGGBB" (six hexadecimal digits) or a grey level of one or two digits, as a COLORREF
// (0x00BBGGRR). False for any other text.
bool ParseHexColor(const std::wstring& text, uint32_t* colorref);

// Six upper-case hexadecimal digits, red first; the byte above blue is ignored.
std::wstring FormatHexColor(uint32_t colorref);
