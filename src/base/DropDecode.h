// Decoders of the two memory blocks a drop can bring: the shell's "Shell IDList Array" (a CIDA:
// a count, a table of offsets and the item identifier lists they locate) and the plain file list
// of CF_HDROP (a DROPFILES header and zero-terminated names). They read plain bytes, whatever
// their alignment, never beyond the size they are given, and include no platform header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/ItemIdList.h"

// Result codes, valued as the platform's HRESULTs so that the Windows side passes them on.
const int32_t kDropDecodeOk = 0;
const int32_t kDropDecodeInvalid = -2147024883;   // 0x8007000D: the data is invalid
const int32_t kDropDecodeNoMemory = -2147024888;  // 0x80070008: not enough memory

// The lists of one "Shell IDList Array" block, as views into the block: they live as long as the
// block does. Every list lies wholly inside the block.
struct ShellIdListArray {
  const unsigned char* parent = nullptr;    // the folder the items are relative to
  std::vector<const unsigned char*> items;  // in the order of the array

  // The absolute list of item `index`: the parent's items followed by the item's. Null when the
  // allocation fails.
  CItemIDList AbsoluteItem(size_t index) const;
};

// Reads the count, the offset table and every list of a block of `size` bytes. The header, each
// offset and each list must lie inside the block, and the lists after the offset table; anything
// else makes kDropDecodeInvalid and leaves `out` empty. A count of 0 is valid and yields no item.
int32_t DecodeShellIdListArray(const void* block, size_t size, ShellIdListArray* out);

// The names of a CF_HDROP block: UTF-16 names when the block says it holds wide text, otherwise
// narrow names in the system's code page, which the caller converts.
struct FileNameList {
  bool wide = false;
  std::vector<std::u16string> wideNames;
  std::vector<std::string> narrowNames;
};

// Reads the DROPFILES header and the names it locates; the list ends at an empty name, which
// must lie inside the block. An empty list is valid. Anything else makes kDropDecodeInvalid and
// leaves `out` empty.
int32_t DecodeFileNameList(const void* block, size_t size, FileNameList* out);
