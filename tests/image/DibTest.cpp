// CDib header rules: strides, colour tables, header and storage sizes, overflow refusal.
#include <cstring>

#include <gtest/gtest.h>

#include <climits>

#include "image/Dib.h"

namespace {

size_t Stride(LONG width, WORD bits) {
  size_t stride = 0;
  EXPECT_TRUE(CalcStride(width, bits, &stride));
  return stride;
}

}  // namespace

TEST(Dib, StrideRoundsUpToFourBytes) {
  EXPECT_EQ(4u, Stride(3, 8));
  EXPECT_EQ(16u, Stride(5, 24));
  EXPECT_EQ(4u, Stride(1, 32));
  EXPECT_EQ(4u, Stride(1, 1));
  EXPECT_EQ(8u, Stride(33, 1));
  EXPECT_EQ(0u, Stride(0, 32));
}

TEST(Dib, OneByOnePictureHasFourBytesOfPixels) {
  CDib dib;
  ASSERT_TRUE(dib.Create(1, 1, 32, 0, BI_RGB));
  ASSERT_TRUE(dib.AllocBits());
  EXPECT_EQ(4u, dib.GetBitsSize());
  EXPECT_EQ(4u, dib.Stride());
  EXPECT_TRUE(dib.IsValid());
}

TEST(Dib, ColorCountAndHeaderSizeFollowTheHeader) {
  BITMAPINFOHEADER h = {};
  h.biSize = 40;
  h.biBitCount = 8;
  EXPECT_EQ(256u, CalcColorCount(h));
  h.biClrUsed = 16;
  EXPECT_EQ(16u, CalcColorCount(h));
  EXPECT_EQ(40u + 64u, CalcHeaderSize(h));
  h.biBitCount = 24;
  EXPECT_EQ(0u, CalcColorCount(h));
  h.biCompression = BI_BITFIELDS;
  h.biBitCount = 32;
  EXPECT_EQ(3u, CalcColorCount(h));
  h.biBitCount = 4;
  h.biCompression = BI_RGB;
  h.biClrUsed = 0;
  EXPECT_EQ(16u, CalcColorCount(h));
}

TEST(Dib, EightBitHeaderStartsWithAGreyRamp) {
  CDib dib;
  ASSERT_TRUE(dib.Create(3, 2, 8, 0, BI_RGB));
  EXPECT_EQ(256u, dib.GetHeader()->biClrUsed);
  EXPECT_EQ(256u, dib.GetHeader()->biClrImportant);
  const RGBQUAD* table = dib.ColorTable();
  ASSERT_NE(nullptr, table);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(i, table[i].rgbBlue);
    EXPECT_EQ(i, table[i].rgbRed);
    EXPECT_EQ(0, table[i].rgbReserved);
  }
  ASSERT_TRUE(dib.AllocBits());
  EXPECT_EQ(8u, dib.GetBitsSize());
}

TEST(Dib, VersionFiveHeaderDescribesItsProfile) {
  CDib dib;
  ASSERT_TRUE(dib.CreateV5(10, 10, 8, 0, BI_RGB, 100));
  const BITMAPV5HEADER* v5 = reinterpret_cast<const BITMAPV5HEADER*>(dib.GetHeader());
  EXPECT_EQ(124u, v5->bV5Size);
  EXPECT_EQ(124u + 1024u, v5->bV5ProfileData);
  EXPECT_EQ(100u, v5->bV5ProfileSize);
  EXPECT_EQ(kColorSpaceEmbedded, v5->bV5CSType);
  // Header, table, then the profile: the table is counted once.
  EXPECT_EQ(124u + 1024u + 100u, CalcHeaderSize(*dib.GetHeader()));
  ASSERT_TRUE(dib.CreateV5(10, 10, 32, 0, BI_RGB, 0));
  EXPECT_EQ(kColorSpaceSrgb, reinterpret_cast<const BITMAPV5HEADER*>(dib.GetHeader())->bV5CSType);
  EXPECT_EQ(124u, CalcHeaderSize(*dib.GetHeader()));
}

TEST(Dib, CopiedHeaderKeepsItsColorTable) {
  CDib source;
  ASSERT_TRUE(source.Create(4, 4, 8, 0, BI_RGB));
  source.ColorTable()[7].rgbReserved = 99;
  CDib copy;
  ASSERT_TRUE(copy.CreateFromHeader(reinterpret_cast<const BITMAPINFO*>(source.GetHeader())));
  EXPECT_EQ(99, copy.ColorTable()[7].rgbReserved);
  EXPECT_EQ(4, copy.Width());

  // A version-5 block with a table and a profile is copied to its last profile byte and no
  // further: the block ends at a page that may not be read.
  CDib v5;
  ASSERT_TRUE(v5.CreateV5(4, 4, 8, 0, BI_RGB, 100));
  const size_t size = CalcHeaderSize(*v5.GetHeader());
  BYTE* pages = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * 65536, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(nullptr, pages);
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(pages + 65536, 65536, PAGE_NOACCESS, &old));
  BYTE* block = pages + 65536 - size;
  std::memcpy(block, v5.GetHeader(), size);
  block[size - 1] = 0x5A;
  ASSERT_TRUE(copy.CreateFromHeader(reinterpret_cast<const BITMAPINFO*>(block)));
  EXPECT_EQ(0x5A, reinterpret_cast<const BYTE*>(copy.GetHeader())[size - 1]);
  VirtualFree(pages, 0, MEM_RELEASE);
}

TEST(Dib, SizesThatWouldWrapAreRefused) {
  CDib dib;
  ASSERT_TRUE(dib.Create(LONG_MAX, LONG_MAX, 32, 0, BI_RGB));
  EXPECT_FALSE(dib.AllocBits());
  EXPECT_FALSE(dib.IsValid());
  BITMAPINFOHEADER huge = *dib.GetHeader();
  huge.biBitCount = 128;  // stride 2^34 bytes times 2^31 rows wraps even a 64-bit size
  size_t size = 0;
  EXPECT_FALSE(CalcBitsSize(huge, &size));
  ASSERT_TRUE(dib.Create(-5, 10, 32, 0, BI_RGB));
  EXPECT_FALSE(dib.AllocBits());
  size_t stride = 0;
  EXPECT_FALSE(CalcStride(-1, 8, &stride));
  if (sizeof(size_t) == 4) {
    ASSERT_TRUE(dib.Create(70000, 70000, 32, 0, BI_RGB));  // 19.6 GB
    EXPECT_FALSE(dib.AllocBits());
  }
}

TEST(Dib, ClearedStorageIsTransparentBlack) {
  CDib dib;
  ASSERT_TRUE(dib.Create(7, 3, 32, 0, BI_RGB));
  ASSERT_TRUE(dib.AllocBits());
  dib.ClearBits();
  for (size_t i = 0; i < dib.GetBitsSize(); ++i) ASSERT_EQ(0, dib.GetBits()[i]);
}

TEST(Dib, SectionPremultipliesAlpha) {
  CDibSection dib;
  ASSERT_TRUE(dib.Create(2, 1, 32, 0, BI_RGB));
  ASSERT_TRUE(dib.AllocBits());
  ASSERT_NE(nullptr, dib.GetBitmap());
  uint32_t* px = reinterpret_cast<uint32_t*>(dib.GetBits());
  px[0] = 0x80FF8040;
  px[1] = 0x00FFFFFF;
  dib.PremultiplyAlpha();
  EXPECT_EQ(0x80804020u, px[0]);  // 255*128/255 = 128, 128*128/255 = 64, 64*128/255 = 32
  EXPECT_EQ(0x00000000u, px[1]);
}
