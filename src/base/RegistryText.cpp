// The registry's string value rule, on plain bytes.
#include "base/RegistryText.h"

#include "base/ByteOrder.h"

bool RegistryStringText(uint32_t type, const uint8_t* data, size_t bytes, std::wstring* text) {
  if (type != kRegTypeString && type != kRegTypeExpandString) return false;
  if (bytes == 0) {
    text->clear();
    return true;
  }
  // Only whole units count, and the last one must be the terminator: a value cut short or
  // written without one is damaged, and guessing at its end would misread it.
  if (bytes % 2 != 0 || bytes / 2 > kMaxRegStringChars) return false;
  const size_t units = bytes / 2;
  auto unit = [data](size_t i) {
    return static_cast<wchar_t>(ReadLe16(data + 2 * i));
  };
  if (unit(units - 1) != L'\0') return false;
  // A NUL inside the data would make the stored text differ from what every path or file call
  // sees; keep what those calls see.
  size_t length = 0;
  while (unit(length) != L'\0') ++length;
  text->resize(length);
  for (size_t i = 0; i < length; ++i) (*text)[i] = unit(i);
  return true;
}
