// The string rule of the registry: the first byte is the value type, the rest its data.
#include <cstdlib>
#include <string>

#include "base/RegistryText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint32_t type = data[0] % 8;
  const uint8_t* bytes = data + 1;
  const size_t count = size - 1;
  const std::wstring untouched = L"untouched";
  std::wstring text = untouched;
  if (!RegistryStringText(type, bytes, count, &text)) {
    if (text != untouched) std::abort();
    return 0;
  }
  // Accepted: a string type, and the data begins with the text and its terminator.
  if (type != kRegTypeString && type != kRegTypeExpandString) std::abort();
  if (count == 0) {
    if (!text.empty()) std::abort();
    return 0;
  }
  if (count % 2 != 0 || count / 2 > kMaxRegStringChars || 2 * (text.size() + 1) > count) std::abort();
  for (size_t i = 0; i <= text.size(); ++i) {
    const wchar_t unit = static_cast<wchar_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    if (unit != (i < text.size() ? text[i] : L'\0') || (i < text.size() && unit == L'\0')) std::abort();
  }
  return 0;
}
