// Decoders of the memory blocks a drop can bring: the shell's "Shell IDList Array" (a CIDA: a
// count, a table of offsets and the item identifier lists they locate), the plain file list of
// CF_HDROP (a DROPFILES header and zero-terminated names), and the "FileGroupDescriptorW" that
// describes items without a file of their own (a count and fixed-size FILEDESCRIPTORW records).
// They read plain bytes, whatever their alignment, never beyond the size they are given, and
// include no platform header.
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

// One record of a "FileGroupDescriptorW" block, as far as a drop needs it. The name is the
// source's, unchecked: it may hold separators, "..", or anything else a file name may not.
struct FileDescriptorItem {
  std::u16string name;
  bool isFolder = false;  // the record gives attributes and they say FILE_ATTRIBUTE_DIRECTORY
  bool hasSize = false;   // the record gives the contents' size (FD_FILESIZE)
  uint64_t size = 0;      // that size, 0 without one
};

// The size of one FILEDESCRIPTORW record: flags, class id, size and point, attributes, three
// times, the 64-bit size, and a name of 260 UTF-16 units.
const size_t kFileDescriptorSize = 592;
// The longest name a record holds, without its terminator.
const size_t kFileDescriptorNameChars = 259;

// Reads the count and every record it announces, in order. A count the block has no room for,
// or a name without a terminator inside its record, makes kDropDecodeInvalid and leaves `items`
// empty; bytes after the last record are ignored. A count of 0 is valid and yields no item.
int32_t DecodeFileGroupDescriptor(const void* block, size_t size,
                                  std::vector<FileDescriptorItem>* items);
