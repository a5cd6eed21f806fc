// The plain decoders of dropped blocks. Every block is decoded where it ends exactly at a page the
// process may not read, so a decoder that reads one byte past the block ends the test program.
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/DropDecode.h"
#include "base/ItemIdList.h"

namespace {

typedef std::vector<unsigned char> Bytes;

class CGuardedBytes {
public:
  explicit CGuardedBytes(const Bytes& bytes) : m_size(bytes.size()) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const size_t page = system.dwPageSize, pages = (bytes.size() + page - 1) / page;
    m_base = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, (pages + 1) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(m_base + pages * page, page, PAGE_NOACCESS, &old);
    m_data = m_base + pages * page - bytes.size();
    if (!bytes.empty()) std::memcpy(m_data, bytes.data(), bytes.size());
  }
  ~CGuardedBytes() { VirtualFree(m_base, 0, MEM_RELEASE); }
  CGuardedBytes(const CGuardedBytes&) = delete;
  CGuardedBytes& operator=(const CGuardedBytes&) = delete;

  const unsigned char* Data() const { return m_data; }
  size_t Size() const { return m_size; }

private:
  unsigned char* m_base;
  unsigned char* m_data;
  size_t m_size;
};

void Put32(Bytes* bytes, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    bytes->push_back(static_cast<unsigned char>(value >> shift));
  }
}

void Set32(Bytes* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

// An item list whose items carry the given payloads.
Bytes IdList(const std::vector<std::string>& payloads) {
  Bytes list;
  for (const std::string& payload : payloads) {
    list.push_back(static_cast<unsigned char>(payload.size() + 2));
    list.push_back(0);
    list.insert(list.end(), payload.begin(), payload.end());
  }
  list.insert(list.end(), 2, 0);
  return list;
}

// A "Shell IDList Array": count, offsets, `pad` bytes, then the parent's and the items' lists.
Bytes IdListArray(const Bytes& parent, const std::vector<Bytes>& items, size_t pad = 0) {
  Bytes block;
  Put32(&block, static_cast<uint32_t>(items.size()));
  size_t offset = 4 + 4 * (items.size() + 1) + pad;
  Put32(&block, static_cast<uint32_t>(offset));
  for (size_t i = 0; i < items.size(); ++i) {
    offset += (i == 0 ? parent : items[i - 1]).size();
    Put32(&block, static_cast<uint32_t>(offset));
  }
  block.insert(block.end(), pad, 0xEE);
  block.insert(block.end(), parent.begin(), parent.end());
  for (const Bytes& item : items) block.insert(block.end(), item.begin(), item.end());
  return block;
}

Bytes Absolute(const ShellIdListArray& array, size_t index) {
  const CItemIDList list = array.AbsoluteItem(index);
  return Bytes(list.Get(), list.Get() + list.Size());
}

TEST(DropDecodeTest, ArrayItemsComeOutAbsoluteAndInOrder) {
  const Bytes parent = IdList({"C:\\", "photos"});
  for (size_t pad : {0, 1}) {  // lists at even and at odd offsets
    const CGuardedBytes block(
        IdListArray(parent, {IdList({"b.jpg"}), IdList({"a.png"}), IdList({"sub", "c"})}, pad));
    ShellIdListArray array;
    ASSERT_EQ(kDropDecodeOk, DecodeShellIdListArray(block.Data(), block.Size(), &array));
    ASSERT_EQ(3u, array.items.size());
    EXPECT_EQ(IdList({"C:\\", "photos", "b.jpg"}), Absolute(array, 0));
    EXPECT_EQ(IdList({"C:\\", "photos", "a.png"}), Absolute(array, 1));
    EXPECT_EQ(IdList({"C:\\", "photos", "sub", "c"}), Absolute(array, 2));
  }
  // Items relative to the desktop (an empty parent) are absolute already.
  const CGuardedBytes desktop(IdListArray(IdList({}), {IdList({"C:\\", "x"})}));
  ShellIdListArray array;
  ASSERT_EQ(kDropDecodeOk, DecodeShellIdListArray(desktop.Data(), desktop.Size(), &array));
  EXPECT_EQ(IdList({"C:\\", "x"}), Absolute(array, 0));
}

TEST(DropDecodeTest, BlocksReachingPastTheirEndAreRefused) {
  // Count 2 at 0, offsets at 4, 8 and 12, the parent's list at 16, the items' lists last.
  const Bytes valid = IdListArray(IdList({"C:\\"}), {IdList({"a.png"}), IdList({"b.png"})});
  const size_t lastItem = valid.size() - 9;
  std::vector<std::pair<const char*, Bytes>> arrays;
  auto change = [&](const char* what, size_t at, uint32_t value) {
    Bytes block = valid;
    Set32(&block, at, value);
    arrays.emplace_back(what, block);
  };
  arrays.emplace_back("empty", Bytes());
  arrays.emplace_back("offset table cut short", Bytes(valid.begin(), valid.begin() + 14));
  arrays.emplace_back("last list without terminator", Bytes(valid.begin(), valid.end() - 2));
  change("count past the end", 0, 0xFFFFFFFFu);
  change("count whose table size wraps", 0, 0x3FFFFFFFu);
  change("parent at the end", 4, static_cast<uint32_t>(valid.size()));
  change("item inside the offset table", 8, 14);  // bytes 14 and 15 read as a terminator
  change("item far past the end", 12, 0xFFFFFFFFu);
  change("item count past the end", lastItem, 200);
  change("item shorter than its count", lastItem, 1);
  for (const auto& c : arrays) {
    const CGuardedBytes block(c.second);
    ShellIdListArray array;
    EXPECT_EQ(kDropDecodeInvalid, DecodeShellIdListArray(block.Data(), block.Size(), &array))
        << c.first;
    EXPECT_TRUE(array.items.empty() && !array.parent) << c.first;
  }

  // A CF_HDROP list: the 20-byte header (names at 20, wide) and "a", "b", "".
  Bytes names;
  for (uint32_t field : {20u, 0u, 0u, 0u, 1u}) Put32(&names, field);
  for (char16_t unit : u"a\0b\0") names.insert(names.end(), {static_cast<unsigned char>(unit), 0});
  std::vector<std::pair<const char*, Bytes>> lists;
  lists.emplace_back("no empty name at the end", Bytes(names.begin(), names.end() - 2));
  lists.emplace_back("odd byte at the end", Bytes(names.begin(), names.end() - 1));
  Bytes inHeader = names, past = names;
  Set32(&inHeader, 0, 8);
  Set32(&past, 0, static_cast<uint32_t>(names.size() + 1));
  lists.emplace_back("names inside the header", inHeader);
  lists.emplace_back("names past the end", past);
  for (const auto& c : lists) {
    const CGuardedBytes block(c.second);
    FileNameList list;
    EXPECT_EQ(kDropDecodeInvalid, DecodeFileNameList(block.Data(), block.Size(), &list)) << c.first;
    EXPECT_TRUE(list.wideNames.empty()) << c.first;
  }
  const CGuardedBytes whole(names);
  FileNameList list;
  ASSERT_EQ(kDropDecodeOk, DecodeFileNameList(whole.Data(), whole.Size(), &list));
  EXPECT_EQ((std::vector<std::u16string>{u"a", u"b"}), list.wideNames);
}

}  // namespace
