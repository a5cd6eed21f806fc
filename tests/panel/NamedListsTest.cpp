// The named lists of the panels: their entries, names from the string table, and lookups.
#include <gtest/gtest.h>

#include "panel/NamedLists.h"

namespace {

ShrinkProfile ProfileWith(int32_t type, int32_t width, int32_t height) {
  ShrinkProfile profile;
  profile.ShrinkType = type;
  profile.ShrinkWidth = width;
  profile.ShrinkHeight = height;
  return profile;
}

}  // namespace

TEST(NamedLists, ShrinkMethodsAreNoneCustomAndOnePerPresetSize) {
  const CNamedShrinks& shrinks = GetNamedLists().Shrinks;
  ASSERT_EQ(18, shrinks.Size());
  EXPECT_EQ(L"縮小しない", shrinks.GetAt(0)->Name);
  EXPECT_EQ(L"指定のサイズ以内に縮小する", shrinks.GetAt(1)->Name);
  EXPECT_EQ(L"160 × 160 以内に縮小する", shrinks.GetAt(2)->Name);
  EXPECT_EQ(L"1280 × 1280 以内に縮小する", shrinks.GetAt(17)->Name);
  EXPECT_FALSE(shrinks.GetAt(18));
  EXPECT_FALSE(shrinks.GetAt(-1));

  EXPECT_EQ(0, shrinks.Find(ProfileWith(0, 0, 0)));
  EXPECT_EQ(1, shrinks.Find(ProfileWith(1, 0, 0)));
  EXPECT_EQ(9, shrinks.Find(ProfileWith(2, 640, 640)));
  EXPECT_EQ(-1, shrinks.Find(ProfileWith(2, 250, 250)));
  EXPECT_EQ(-1, shrinks.Find(ProfileWith(2, 640, 480)));
  EXPECT_EQ(-1, shrinks.Find(ProfileWith(1, 200, 1000)));  // types 0 and 1 carry 0 x 0
}

TEST(NamedLists, EntriesShowTheirValueNotTheirName) {
  const CNamedLists& lists = GetNamedLists();
  ASSERT_EQ(16, lists.Sizes.Size());
  EXPECT_EQ(L"640", lists.Sizes.GetAt(7)->Name);
  EXPECT_EQ(L"640", ValueText(*lists.Sizes.GetAt(7)));
  EXPECT_EQ(7, lists.Sizes.Find(640));
  EXPECT_EQ(-1, lists.Sizes.Find(650));

  ASSERT_EQ(5, lists.JpegQualities.Size());
  EXPECT_EQ(L"高", lists.JpegQualities.GetAt(3)->Name);
  EXPECT_EQ(L"80", ValueText(*lists.JpegQualities.GetAt(3)));
  EXPECT_EQ(L"最低 (高圧縮率)", lists.JpegQualities.GetAt(0)->Name);
  EXPECT_EQ(0, lists.JpegQualities.GetAt(0)->Value);

  ASSERT_EQ(12, lists.Colors.Size());
  EXPECT_EQ(L"白", lists.Colors.GetAt(0)->Name);
  EXPECT_EQ(L"FFFFFF", ValueText(*lists.Colors.GetAt(0)));
  EXPECT_EQ(L"青", lists.Colors.GetAt(5)->Name);
  EXPECT_EQ(L"0C00CC", ValueText(*lists.Colors.GetAt(5)));
  EXPECT_EQ(L"茶色", lists.Colors.GetAt(11)->Name);
  EXPECT_EQ(L"6B492D", ValueText(*lists.Colors.GetAt(11)));
  uint32_t orange = 0;
  ASSERT_TRUE(CNamedColor::Parse(L"ff8119", &orange));
  EXPECT_EQ(8, lists.Colors.Find(orange));
}
