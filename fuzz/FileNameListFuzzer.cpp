// The CF_HDROP file list of a drop (a DROPFILES header and zero-terminated names).
#include <cstdlib>

#include "base/DropDecode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FileNameList list;
  if (DecodeFileNameList(data, size, &list) != kDropDecodeOk) {
    if (!list.wideNames.empty() || !list.narrowNames.empty()) std::abort();
    return 0;
  }
  // Names are never empty and hold no terminator; together they fit in the block.
  size_t units = 0;
  for (const std::u16string& name : list.wideNames) {
    if (name.empty() || name.find(u'\0') != std::u16string::npos) std::abort();
    units += 2 * (name.size() + 1);
  }
  for (const std::string& name : list.narrowNames) {
    if (name.empty() || name.find('\0') != std::string::npos) std::abort();
    units += name.size() + 1;
  }
  if (units > size || (list.wide ? !list.narrowNames.empty() : !list.wideNames.empty())) std::abort();
  return 0;
}
