// The decoders of dropped blocks on exact-size heap copies, where the address sanitizer sees any
// read past the block: every truncation is refused, lists that share their items are measured
// once, and file descriptors that lie about their count or names are refused.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/DropDecode.h"
#include "base/ItemIdList.h"
#include "support/TestFiles.h"

namespace {

typedef std::vector<uint8_t> Bytes;

void Set32(Bytes* bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A copy of the first `size` bytes in a heap block of exactly that size.
class CExactCopy {
public:
  CExactCopy(const Bytes& bytes, size_t size) : m_data(new uint8_t[size]), m_size(size) {
    std::copy(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(size), m_data.get());
  }
  const uint8_t* Data() const { return m_data.get(); }
  size_t Size() const { return m_size; }

private:
  std::unique_ptr<uint8_t[]> m_data;
  size_t m_size;
};

}  // namespace

TEST(DropBlocks, EveryTruncationIsRefusedWithoutReadingPastIt) {
  // An array with a parent and three items, and wide and narrow file lists.
  Bytes array;
  const Bytes parent = EncodeItemIdList({"C:\\", "photos"});
  const std::vector<Bytes> items = {EncodeItemIdList({"b.jpg"}), EncodeItemIdList({"sub", "c.png"}), EncodeItemIdList({})};
  AppendLe32(&array, 3);
  uint32_t offset = 4 + 4 * 4;
  for (const Bytes* list : {&parent, &items[0], &items[1], &items[2]}) {
    AppendLe32(&array, offset);
    offset += static_cast<uint32_t>(list->size());
  }
  for (const Bytes* list : {&parent, &items[0], &items[1], &items[2]}) array.insert(array.end(), list->begin(), list->end());

  auto names = [](bool wide) {
    Bytes block;
    for (uint32_t field : {20u, 0u, 0u, 0u, wide ? 1u : 0u}) AppendLe32(&block, field);
    for (const char* name : {"C:\\a.png", "Z:\\home\\k\\b.jpg", ""}) {
      for (const char* c = name;; ++c) {
        if (wide) AppendLe16(&block, static_cast<uint8_t>(*c)); else block.push_back(static_cast<uint8_t>(*c));
        if (!*c) break;
      }
    }
    return block;
  };

  for (size_t keep = 0; keep <= array.size(); ++keep) {
    CExactCopy copy(array, keep);
    ShellIdListArray decoded;
    const int32_t status = DecodeShellIdListArray(copy.Data(), copy.Size(), &decoded);
    if (keep < array.size()) {
      ASSERT_EQ(kDropDecodeInvalid, status) << keep;
      ASSERT_TRUE(decoded.items.empty());
      continue;
    }
    ASSERT_EQ(kDropDecodeOk, status);
    ASSERT_EQ(3u, decoded.items.size());
    const Bytes expected = EncodeItemIdList({"C:\\", "photos", "sub", "c.png"});
    CItemIDList joined = decoded.AbsoluteItem(1);
    EXPECT_EQ(expected, Bytes(joined.Get(), joined.Get() + joined.Size()));
  }
  for (bool wide : {true, false}) {
    const Bytes block = names(wide);
    for (size_t keep = 0; keep <= block.size(); ++keep) {
      CExactCopy copy(block, keep);
      FileNameList list;
      const int32_t status = DecodeFileNameList(copy.Data(), copy.Size(), &list);
      if (keep < block.size()) {
        ASSERT_EQ(kDropDecodeInvalid, status) << wide << " " << keep;
        continue;
      }
      ASSERT_EQ(kDropDecodeOk, status);
      EXPECT_EQ(2u, wide ? list.wideNames.size() : list.narrowNames.size());
    }
  }
}

TEST(DropBlocks, ListsSharingTheirItemsAreMeasuredOnce) {
  // A megabyte whose first half is offsets and whose second half is one list of 262,000 empty
  // items: every offset points into that list, at the start or at one of its items. Measured one
  // by one, the lists cost offsets times items (minutes); the decoder must take them in stride.
  const size_t size = 1 << 20, count = size / 8, header = 4 * (count + 2);
  Bytes block(size, 0);
  Set32(&block, 0, static_cast<uint32_t>(count));
  for (size_t at = header; at < size - 2; at += 2) block[at] = 2;  // count 2: the count alone
  const size_t items = (size - 2 - header) / 2;
  Set32(&block, 4, static_cast<uint32_t>(header));
  for (size_t i = 1; i <= count; ++i) {
    Set32(&block, 4 * (i + 1), static_cast<uint32_t>(i % 2 ? header : header + 2 * (i % items)));
  }
  ShellIdListArray decoded;
  ASSERT_EQ(kDropDecodeOk, DecodeShellIdListArray(block.data(), block.size(), &decoded));
  ASSERT_EQ(count, decoded.items.size());
  EXPECT_EQ(block.data() + header, decoded.parent);
  EXPECT_EQ(block.data() + header + 2 * (2 % items), decoded.items[1]);
  EXPECT_EQ(2 * items + 2, ItemIdListSize(decoded.parent));

  // The same with the list's last item reaching past the block: every list is refused.
  block[size - 4] = 4;
  EXPECT_EQ(kDropDecodeInvalid, DecodeShellIdListArray(block.data(), block.size(), &decoded));
  EXPECT_TRUE(decoded.items.empty());
}

namespace {

// A "FileGroupDescriptorW" record: flags, attributes, size and name at their offsets.
Bytes Descriptor(uint32_t flags, uint32_t attributes, uint64_t size, const std::u16string& name) {
  Bytes record(kFileDescriptorSize, 0);
  Set32(&record, 0, flags);
  Set32(&record, 36, attributes);
  Set32(&record, 64, static_cast<uint32_t>(size >> 32));
  Set32(&record, 68, static_cast<uint32_t>(size));
  for (size_t i = 0; i < name.size() && 72 + 2 * i + 1 < record.size(); ++i) {
    record[72 + 2 * i] = static_cast<uint8_t>(name[i]);
    record[72 + 2 * i + 1] = static_cast<uint8_t>(name[i] >> 8);
  }
  return record;
}

Bytes DescriptorGroup(uint32_t count, const std::vector<Bytes>& records) {
  Bytes block;
  AppendLe32(&block, count);
  for (const Bytes& record : records) block.insert(block.end(), record.begin(), record.end());
  return block;
}

}  // namespace

TEST(DropBlocks, FileDescriptorsGiveNamesSizesAndFoldersAndRefuseWhatLies) {
  const uint32_t kAttributes = 0x4, kSize = 0x40, kDirectory = 0x10;
  const std::u16string longest(kFileDescriptorNameChars, u'n');
  const Bytes block = DescriptorGroup(
      3, {Descriptor(kAttributes | kSize, 0x20, 0x123456789ull, u"..\\\u5199\u771f.jpg"),
          Descriptor(kAttributes, kDirectory, 0, u"sub"), Descriptor(kDirectory, kDirectory, 7, longest)});
  for (size_t keep = 0; keep <= block.size(); ++keep) {
    CExactCopy copy(block, keep);
    std::vector<FileDescriptorItem> items;
    const int32_t status = DecodeFileGroupDescriptor(copy.Data(), copy.Size(), &items);
    if (keep < block.size()) {
      ASSERT_EQ(kDropDecodeInvalid, status) << keep;
      ASSERT_TRUE(items.empty());
      continue;
    }
    ASSERT_EQ(kDropDecodeOk, status);
    ASSERT_EQ(3u, items.size());
    EXPECT_EQ(u"..\\\u5199\u771f.jpg", items[0].name) << "names come as the source wrote them";
    EXPECT_TRUE(items[0].hasSize);
    EXPECT_EQ(0x123456789ull, items[0].size);
    EXPECT_FALSE(items[0].isFolder);
    EXPECT_TRUE(items[1].isFolder);
    EXPECT_FALSE(items[1].hasSize);
    // Without FD_ATTRIBUTES the attributes say nothing, nor the size without FD_FILESIZE.
    EXPECT_FALSE(items[2].isFolder);
    EXPECT_FALSE(items[2].hasSize);
    EXPECT_EQ(0u, items[2].size);
    EXPECT_EQ(longest, items[2].name);
  }

  // Counts beyond the records present, up to the largest, and a name filling its record without
  // a terminator, are refused; a count of 0 and bytes after the last record are not.
  std::vector<FileDescriptorItem> items;
  for (uint32_t lie : {2u, 0x10000u, 0xFFFFFFFFu}) {
    const Bytes lying = DescriptorGroup(lie, {Descriptor(0, 0, 0, u"a.png")});
    CExactCopy copy(lying, lying.size());
    EXPECT_EQ(kDropDecodeInvalid, DecodeFileGroupDescriptor(copy.Data(), copy.Size(), &items)) << lie;
    EXPECT_TRUE(items.empty());
  }
  const Bytes unterminated = DescriptorGroup(1, {Descriptor(0, 0, 0, longest + u'x')});
  CExactCopy copy(unterminated, unterminated.size());
  EXPECT_EQ(kDropDecodeInvalid, DecodeFileGroupDescriptor(copy.Data(), copy.Size(), &items));
  Bytes padded = DescriptorGroup(0, {Descriptor(0, 0, 0, u"ignored")});
  EXPECT_EQ(kDropDecodeOk, DecodeFileGroupDescriptor(padded.data(), padded.size(), &items));
  EXPECT_TRUE(items.empty());
}
