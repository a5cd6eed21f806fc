// How the bytes of a registry string value become text. Plain bytes in, text out, with no
// Windows headers, so the rule also builds natively for sanitizers and the fuzzer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The longest string value, terminator included, that is read or written: the longest path
// Windows handles is 32,767 characters. A longer value is damage rather than a setting, and
// refusing it keeps a hand-made giant value from costing unbounded memory.
const size_t kMaxRegStringChars = 32768;

// The two value types that hold a single text, numbered as the registry numbers them
// (REG_SZ and REG_EXPAND_SZ).
const uint32_t kRegTypeString = 1;
const uint32_t kRegTypeExpandString = 2;

// The text stored in a value of `type` whose data is the `bytes` bytes at `data`: UTF-16 units in
// little-endian order, one unit per wchar_t of `text`. Accepted are string values (an expandable
// one taken literally) whose data is whole units ending in NUL and at most kMaxRegStringChars
// units long, or no data at all (the empty text). The text ends at its first NUL. False, with
// `text` untouched, for anything else.
bool RegistryStringText(uint32_t type, const uint8_t* data, size_t bytes, std::wstring* text);
