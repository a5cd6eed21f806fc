// The "FileGroupDescriptorW" block of a drop of items without a file of their own, decoded and
// each name made plain as the drop names its copies.
#include <cstdlib>

#include "base/DropDecode.h"
#include "base/PathNames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<FileDescriptorItem> items;
  if (DecodeFileGroupDescriptor(data, size, &items) != kDropDecodeOk) {
    if (!items.empty()) std::abort();
    return 0;
  }
  // The records fit in the block; names hold no terminator and fit in their record.
  if (4 + items.size() * kFileDescriptorSize > size) std::abort();
  for (const FileDescriptorItem& item : items) {
    if (item.name.size() > kFileDescriptorNameChars || item.name.find(u'\0') != std::u16string::npos) {
      std::abort();
    }
    if (!item.hasSize && item.size != 0) std::abort();
    const std::wstring plain = PlainFileNameFrom(std::wstring(item.name.begin(), item.name.end()));
    if (plain.size() != (item.name.empty() ? 1 : item.name.size()) || HasCharacterForbiddenInNames(plain) ||
        plain.back() == L'.' || plain.back() == L' ') {
      std::abort();
    }
  }
  return 0;
}
