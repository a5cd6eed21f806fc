// Decoding the "Shell IDList Array", CF_HDROP and "FileGroupDescriptorW" blocks of a drop.
#include "base/DropDecode.h"

#include "base/ByteOrder.h"

#include <utility>

namespace {

// The blocks hold little-endian 32-bit fields (read with ReadLe32) at offsets that need not be
// aligned.

const size_t kFieldSize = 4;

// DROPFILES: offset of the names, drop point (two 32-bit values), non-client flag, wide flag.
const size_t kDropFilesSize = 20;
const size_t kDropFilesWideOffset = 16;

// FILEDESCRIPTORW: the fields a drop reads, by offset, and the flags that say they are valid.
const size_t kDescriptorAttributesOffset = 36;
const size_t kDescriptorSizeHighOffset = 64;
const size_t kDescriptorSizeLowOffset = 68;
const size_t kDescriptorNameOffset = 72;
const uint32_t kDescriptorHasAttributes = 0x4;  // FD_ATTRIBUTES
const uint32_t kDescriptorHasSize = 0x40;       // FD_FILESIZE
const uint32_t kAttributeDirectory = 0x10;      // FILE_ATTRIBUTE_DIRECTORY

// Locates the lists of one "Shell IDList Array" block. The lists may share items (offsets into
// the middle of another list, or one list for every item), so each item start is walked once and
// remembered: measuring every list from scratch would cost offsets times items, minutes for a
// block of a megabyte whose offsets all point into one long list of empty items.
class CListLocator {
public:
  CListLocator(const unsigned char* block, size_t size, size_t headerSize)
      : m_block(block), m_size(size), m_headerSize(headerSize), m_ends(size, false) {}

  // The list at `offset`; null when it does not lie after the header, or does not end inside the
  // block with room for its terminator, or holds an item shorter than its own count.
  const unsigned char* ListAt(uint32_t offset) {
    if (offset < m_headerSize || offset >= m_size) return nullptr;
    size_t at = offset;
    m_walk.clear();
    while (!m_ends[at]) {
      m_walk.push_back(at);
      if (m_size - at < kItemCountSize) return nullptr;
      const size_t count = ReadLe16(m_block + at);
      if (count == 0) break;
      // An item shorter than its own count would never move the walk on; one reaching the
      // block's end leaves no room for the terminator.
      if (count < kItemCountSize || count >= m_size - at) return nullptr;
      at += count;
    }
    for (size_t start : m_walk) m_ends[start] = true;
    return m_block + offset;
  }

private:
  static const size_t kItemCountSize = 2;

  const unsigned char* m_block;
  size_t m_size;
  size_t m_headerSize;
  std::vector<bool> m_ends;   // item starts whose list is known to end inside the block
  std::vector<size_t> m_walk;  // item starts of the list being measured
};

// Splits `units` (text units of the block, read with `unitAt`) into zero-terminated names up to
// the first empty one. False when the list does not end inside the block.
template <class String, class UnitAt>
bool SplitNames(size_t units, UnitAt unitAt, std::vector<String>* names) {
  size_t start = 0;
  for (;;) {
    size_t end = start;
    while (end < units && unitAt(end) != 0) ++end;
    if (end == units) return false;
    if (end == start) return true;
    String name;
    name.reserve(end - start);
    for (size_t i = start; i < end; ++i) name.push_back(unitAt(i));
    names->push_back(std::move(name));
    start = end + 1;
  }
}

}  // namespace

CItemIDList ShellIdListArray::AbsoluteItem(size_t index) const {
  return CombineItemIdLists(CItemIDListHandle(parent), CItemIDListHandle(items[index]));
}

int32_t DecodeShellIdListArray(const void* block, size_t size, ShellIdListArray* out) {
  *out = ShellIdListArray();
  if (!block || size < kFieldSize) return kDropDecodeInvalid;
  const unsigned char* bytes = static_cast<const unsigned char*>(block);
  const uint32_t count = ReadLe32(bytes);
  // The count is followed by count + 1 offsets; comparing in table slots cannot overflow.
  const size_t slots = (size - kFieldSize) / kFieldSize;
  if (count >= slots) return kDropDecodeInvalid;
  const size_t headerSize = kFieldSize * (static_cast<size_t>(count) + 2);

  ShellIdListArray decoded;
  CListLocator lists(bytes, size, headerSize);
  decoded.parent = lists.ListAt(ReadLe32(bytes + kFieldSize));
  if (!decoded.parent) return kDropDecodeInvalid;
  decoded.items.reserve(count);
  for (size_t i = 1; i <= count; ++i) {
    const unsigned char* item = lists.ListAt(ReadLe32(bytes + kFieldSize * (i + 1)));
    if (!item) return kDropDecodeInvalid;
    decoded.items.push_back(item);
  }
  *out = std::move(decoded);
  return kDropDecodeOk;
}

int32_t DecodeFileNameList(const void* block, size_t size, FileNameList* out) {
  *out = FileNameList();
  if (!block || size < kDropFilesSize) return kDropDecodeInvalid;
  const unsigned char* bytes = static_cast<const unsigned char*>(block);
  const uint32_t namesOffset = ReadLe32(bytes);
  if (namesOffset < kDropFilesSize || namesOffset > size) return kDropDecodeInvalid;
  const unsigned char* names = bytes + namesOffset;
  const size_t available = size - namesOffset;

  FileNameList decoded;
  decoded.wide = ReadLe32(bytes + kDropFilesWideOffset) != 0;
  bool ended;
  if (decoded.wide) {
    ended = SplitNames(
        available / 2,
        [names](size_t i) {
          return static_cast<char16_t>(ReadLe16(names + 2 * i));
        },
        &decoded.wideNames);
  } else {
    ended = SplitNames(
        available, [names](size_t i) { return static_cast<char>(names[i]); },
        &decoded.narrowNames);
  }
  if (!ended) return kDropDecodeInvalid;
  *out = std::move(decoded);
  return kDropDecodeOk;
}

int32_t DecodeFileGroupDescriptor(const void* block, size_t size,
                                  std::vector<FileDescriptorItem>* items) {
  items->clear();
  if (!block || size < kFieldSize) return kDropDecodeInvalid;
  const unsigned char* bytes = static_cast<const unsigned char*>(block);
  const uint32_t count = ReadLe32(bytes);
  // Compared in records, so that a count near the type's limit cannot overflow.
  if (count > (size - kFieldSize) / kFileDescriptorSize) return kDropDecodeInvalid;

  std::vector<FileDescriptorItem> decoded;
  decoded.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* record = bytes + kFieldSize + i * kFileDescriptorSize;
    const uint32_t flags = ReadLe32(record);
    FileDescriptorItem item;
    item.isFolder = (flags & kDescriptorHasAttributes) != 0 &&
                    (ReadLe32(record + kDescriptorAttributesOffset) & kAttributeDirectory) != 0;
    item.hasSize = (flags & kDescriptorHasSize) != 0;
    if (item.hasSize) {
      item.size = (static_cast<uint64_t>(ReadLe32(record + kDescriptorSizeHighOffset)) << 32) |
                  ReadLe32(record + kDescriptorSizeLowOffset);
    }
    const unsigned char* name = record + kDescriptorNameOffset;
    size_t length = 0;
    while (length <= kFileDescriptorNameChars && ReadLe16(name + 2 * length) != 0) ++length;
    if (length > kFileDescriptorNameChars) return kDropDecodeInvalid;
    item.name.reserve(length);
    for (size_t c = 0; c < length; ++c) item.name.push_back(static_cast<char16_t>(ReadLe16(name + 2 * c)));
    decoded.push_back(std::move(item));
  }
  *items = std::move(decoded);
  return kDropDecodeOk;
}
