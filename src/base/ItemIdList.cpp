// Measuring, owning and joining item identifier lists.
#include "base/ItemIdList.h"

#include "base/ByteOrder.h"

#include <cstring>

namespace {

// The 16-bit count that starts an item, in the shell's byte order (little-endian) whatever the
// host's, and readable at any alignment.
size_t ItemCount(const unsigned char* item) {
  return ReadLe16(item);
}

const size_t kTerminatorSize = 2;

}  // namespace

size_t ItemIdListSize(const void* list) {
  if (!list) return 0;
  const unsigned char* item = static_cast<const unsigned char*>(list);
  size_t size = 0;
  for (size_t count = ItemCount(item); count != 0; count = ItemCount(item + size)) {
    size += count;
  }
  return size + kTerminatorSize;
}

CItemIDList& CItemIDList::operator=(CItemIDList&& other) noexcept {
  if (this != &other) Reset(other.Detach());
  return *this;
}

void CItemIDList::Reset(void* list) {
  if (m_list) ShellFree(const_cast<unsigned char*>(m_list));
  m_list = static_cast<const unsigned char*>(list);
}

void* CItemIDList::Detach() {
  void* list = const_cast<unsigned char*>(m_list);
  m_list = nullptr;
  return list;
}

CItemIDList CombineItemIdLists(const CItemIDListHandle& parent, const CItemIDListHandle& child) {
  const size_t parentSize = parent.Size();
  const size_t childSize = child.Size();
  if (parentSize + childSize == 0) return CItemIDList();
  // Both whole lists end in a terminator; the joined list keeps only the child's.
  const size_t size =
      parentSize + childSize - (parentSize != 0 && childSize != 0 ? kTerminatorSize : 0);
  void* block = ShellAlloc(size);
  if (!block) return CItemIDList();
  CItemIDList joined(block);
  unsigned char* bytes = static_cast<unsigned char*>(block);
  std::memset(bytes, 0, size);
  if (parentSize != 0) std::memcpy(bytes, parent.Get(), parentSize);
  if (childSize != 0) {
    std::memcpy(bytes + (parentSize != 0 ? parentSize - kTerminatorSize : 0), child.Get(),
                childSize);
  }
  return joined;
}
