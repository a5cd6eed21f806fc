// The "Shell IDList Array" block of a drop, decoded and every item joined to its parent as the
// drop does.
#include <cstdlib>
#include <cstring>

#include "base/DropDecode.h"
#include "base/ItemIdList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ShellIdListArray array;
  if (DecodeShellIdListArray(data, size, &array) != kDropDecodeOk) {
    if (array.parent || !array.items.empty()) std::abort();
    return 0;
  }
  const size_t parentSize = ItemIdListSize(array.parent);
  for (size_t i = 0; i < array.items.size(); ++i) {
    const size_t itemSize = ItemIdListSize(array.items[i]);
    CItemIDList joined = array.AbsoluteItem(i);
    if (joined.IsNull()) std::abort();
    // The parent's items, then the item's, under one terminator.
    const size_t expected = parentSize + itemSize - 2;
    if (joined.Size() != expected ||
        std::memcmp(joined.Get(), array.parent, parentSize - 2) != 0 ||
        std::memcmp(joined.Get() + parentSize - 2, array.items[i], itemSize) != 0) {
      std::abort();
    }
  }
  return 0;
}
