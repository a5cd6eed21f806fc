// The settings tree: defaults, a full round trip through the real registry, and what stored
// damage does to a load.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "settings/Settings.h"
#include "settings/TestRegistry.h"

namespace {

typedef std::vector<std::wstring> List;

List Entries(const CStringHistory& history) { return List(history.begin(), history.end()); }

// Every field of a profile in one comparable line.
std::wstring Describe(const ShrinkProfile& p) {
  wchar_t numbers[192];
  std::swprintf(numbers, 192, L"type %d preset %dx%d custom %dx%d use %d fmt %d q %d bk %06x tr %d max %d date %d",
                p.ShrinkType, p.ShrinkWidth, p.ShrinkHeight, p.CustomWidth, p.CustomHeight,
                p.Use, p.SaveFormat.Type, p.SaveFormat.JpegQuality, p.BkColor, p.Transparent,
                p.MaxKilobytes, p.KeepDate);
  return numbers + (L" folder " + p.Folder + L" prefix " + p.Prefix);
}

std::wstring DefaultProfile(const wchar_t* prefix, int32_t type, int32_t side) {
  ShrinkProfile p;
  p.Prefix = prefix;
  p.ShrinkType = type;
  p.ShrinkWidth = p.ShrinkHeight = side;
  return Describe(p);
}

void ExpectDefaults(const CSettings& s) {
  const CWindowPlacement& w = s.WindowPlacement;
  EXPECT_FALSE(w.Fullscreen || w.Left || w.Top || w.Right || w.Bottom);
  ASSERT_EQ(3u, s.Profiles.size());
  EXPECT_EQ(DefaultProfile(L"s_", 2, 240), Describe(s.Profiles[0]));
  EXPECT_EQ(DefaultProfile(L"m_", 2, 640), Describe(s.Profiles[1]));
  EXPECT_EQ(DefaultProfile(L"", 0, 0), Describe(s.Profiles[2]));
  EXPECT_EQ((List{DefaultPicturesFolder()}), Entries(s.FolderHistory));
  EXPECT_EQ((List{L"s", L"s_", L"m", L"m_"}), Entries(s.PrefixHistory));
}

const std::wstring kShrinks = kSettingPath + L"\\Shrinks";

}  // namespace

TEST(Settings, AFirstStartKeepsTheDefaultsAndCreatesTheEmptyRoot) {
  CTestRegistry reg;
  CSettings settings;
  ExpectDefaults(settings);
  EXPECT_EQ(L"type 0 preset 0x0 custom 200x1000 use 1 fmt 0 q 80 bk ffffff tr 0 max 0 date 0 folder " +
                DefaultPicturesFolder() + L" prefix s",
            Describe(ShrinkProfile()));
  EXPECT_FALSE(settings.LoadSettings(reg.Hive()));  // nothing stored: the branches fail
  ExpectDefaults(settings);
  EXPECT_TRUE(reg.Exists(L"Software\\Orvandel\\Kestrelle32"));
  EXPECT_FALSE(reg.Exists(kSettingPath));
}

TEST(Settings, EverythingSavedLoadsBackIntoAFreshInstance) {
  CTestRegistry reg;
  CSettings saved, loaded;
  saved.WindowPlacement = {true, -1200, 10, -200, 700};
  saved.Profiles.resize(4);  // profiles beyond the dialog's three are kept too
  for (int i = 0; i < 4; ++i) {
    ShrinkProfile& p = saved.Profiles[i];
    p = {};
    p.ShrinkType = i;
    p.ShrinkWidth = 100 + i;
    p.ShrinkHeight = 200 + i;
    p.CustomWidth = 300 + i;
    p.CustomHeight = 400 + i;
    p.Use = i % 2 == 0;
    p.Folder = L"D:\\\u5199\u771f\\" + std::to_wstring(i);
    p.Prefix = i == 1 ? L"" : L"p" + std::to_wstring(i);
    p.SaveFormat = {i % 3, 10 * i};  // PNG, JPEG, WebP (2: read as PNG by versions before it)
    p.BkColor = 0x102030u + static_cast<uint32_t>(i);
    p.Transparent = i % 2 == 1;
    p.MaxKilobytes = 150 * i;
    p.KeepDate = i % 2 == 0;
  }
  saved.FolderHistory.Add(L"E:\\b");
  saved.PrefixHistory.Add(L"");
  ASSERT_TRUE(saved.SaveSettings(reg.Hive()));
  EXPECT_EQ("4:04000000", reg.Get(kShrinks, L"Count"));
  EXPECT_EQ("4:1e000000", reg.Get(kShrinks + L"\\03\\SaveFormat", L"JpegQuality"));
  EXPECT_EQ("4:50fbffff", reg.Get(kSettingPath + L"\\Window", L"Left"));
  EXPECT_EQ("1:0000", reg.Get(kSettingPath + L"\\Prefix\\00", L""));

  ASSERT_TRUE(loaded.LoadSettings(reg.Hive()));
  const CWindowPlacement& w = loaded.WindowPlacement;
  EXPECT_TRUE(w.Fullscreen && w.Left == -1200 && w.Top == 10 && w.Right == -200 && w.Bottom == 700);
  ASSERT_EQ(4u, loaded.Profiles.size());
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(Describe(saved.Profiles[i]), Describe(loaded.Profiles[i]));
  EXPECT_EQ(Entries(saved.FolderHistory), Entries(loaded.FolderHistory));
  EXPECT_EQ(Entries(saved.PrefixHistory), Entries(loaded.PrefixHistory));

  // A store written before the size limit has no value for it: it loads whole, without a limit.
  EXPECT_EQ("4:96000000", reg.Get(kShrinks + L"\\01", L"MaxKilobytes"));
  RegDeleteKeyValueW(reg.Hive(), (kShrinks + L"\\01").c_str(), L"MaxKilobytes");
  CSettings older;
  EXPECT_TRUE(older.LoadSettings(reg.Hive()));
  EXPECT_EQ(0, older.Profiles[1].MaxKilobytes);
}

TEST(Settings, TheStoredProfileCountDecidesWhichProfilesLoad) {
  CTestRegistry reg;
  CSettings stored;
  for (ShrinkProfile& p : stored.Profiles) p.Prefix = L"stored";
  ASSERT_TRUE(stored.SaveSettings(reg.Hive()));
  struct Case {
    DWORD count;
    size_t size;
    const wchar_t* lastPrefix;
  };
  // 5: two plain default records are added, and a save writes all five back.
  for (const Case& c : {Case{2, 3, L""}, Case{0x40000000, 256, L"s"}, Case{5, 5, L"s"}}) {
    reg.Set(kShrinks, L"Count", c.count);
    CSettings s;
    s.LoadSettings(reg.Hive());
    ASSERT_EQ(c.size, s.Profiles.size()) << c.count;
    EXPECT_EQ(L"stored", s.Profiles[1].Prefix) << c.count;
    EXPECT_EQ(c.lastPrefix, s.Profiles.back().Prefix) << c.count;
    ASSERT_TRUE(s.SaveSettings(reg.Hive()));
  }
  EXPECT_EQ("4:05000000", reg.Get(kShrinks, L"Count"));
  EXPECT_TRUE(reg.Exists(kShrinks + L"\\04\\SaveFormat"));

  RegDeleteKeyValueW(reg.Hive(), kShrinks.c_str(), L"Count");
  CSettings none;
  EXPECT_TRUE(none.LoadSettings(reg.Hive()));  // a missing count loads no profile
  EXPECT_EQ(L"s_", none.Profiles[0].Prefix);
}

TEST(Settings, HandDamagedValuesKeepTheirDefaults) {
  CTestRegistry reg;
  const std::wstring p0 = kShrinks + L"\\00", p1 = kShrinks + L"\\01", p2 = kShrinks + L"\\02";
  const std::wstring window = kSettingPath + L"\\Window";
  reg.Set(kShrinks, L"Count", 3);
  reg.Set(p0 + L"\\SaveFormat", L"JpegQuality", 150);
  reg.Set(p1 + L"\\SaveFormat", L"JpegQuality", static_cast<DWORD>(-5));
  reg.Set(p0, L"ShrinkType", 7);  // kept: the panel asks for a valid method
  reg.Set(p0, L"Use", L"0");
  reg.Set(p0, L"BkColor", L"000000");
  reg.Set(p1, L"BkColor", REG_BINARY, "\0\0\0\0", 4);
  reg.Set(p1, L"Folder", REG_SZ, L"X:\\abc", 7);  // odd length
  reg.Set(p1, L"Prefix", REG_SZ, L"zzz", 4);      // no terminator
  reg.Set(p2, L"Folder", 1);
  reg.Set(p2, L"Prefix", std::wstring(100000, L'p'));
  reg.Set(p2, L"Use", 0);  // a sound value beside the damage still loads
  reg.Set(p1, L"MaxKilobytes", static_cast<DWORD>(-20));  // a negative limit is none
  reg.Set(p2, L"MaxKilobytes", 300);
  reg.Set(window, L"Fullscreen", 2);
  reg.Set(window, L"Left", 10);
  reg.Set(window, L"Top", 10);
  reg.Set(window, L"Right", 500);
  reg.Set(window, L"Bottom", L"400");  // one bad edge: no rectangle at all

  CSettings s, expected;
  EXPECT_FALSE(s.LoadSettings(reg.Hive()));
  expected.Profiles[0].ShrinkType = 7;
  expected.Profiles[0].SaveFormat.JpegQuality = 100;
  expected.Profiles[1].SaveFormat.JpegQuality = 0;
  expected.Profiles[2].Use = false;
  expected.Profiles[2].MaxKilobytes = 300;
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Describe(expected.Profiles[i]), Describe(s.Profiles[i]));
  EXPECT_TRUE(s.WindowPlacement.Fullscreen);
  EXPECT_FALSE(s.WindowPlacement.HasRect() || s.WindowPlacement.Left);
}

namespace {

// A volatile key can hold no stored sub-key, so nothing the settings write can be created below
// it. Its missing parents would become volatile too, so they must exist before.
void CreateVolatile(HKEY parent, const std::wstring& path, CKeyHandle* key) {
  HKEY created = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                                           KEY_ALL_ACCESS, nullptr, &created, nullptr));
  key->Reset(created);
}

}  // namespace

TEST(Settings, ASaveFailureIsLocalAndAFailedRootStopsEverything) {
  CTestRegistry reg;
  reg.Set(kSettingPath, L"Other", 0);
  CKeyHandle shrinks, volatileHive;
  CreateVolatile(reg.Hive(), kShrinks, &shrinks);
  CSettings s;
  s.FolderHistory.Add(L"F:\\new");
  EXPECT_FALSE(s.SaveSettings(reg.Hive()));
  EXPECT_FALSE(reg.Exists(kShrinks + L"\\00"));
  EXPECT_EQ("4:00000000", reg.Get(kSettingPath + L"\\Window", L"Right"));  // the rest is written
  EXPECT_TRUE(reg.Exists(kSettingPath + L"\\Folder\\01"));
  EXPECT_TRUE(reg.Exists(kSettingPath + L"\\Prefix\\03"));

  CreateVolatile(reg.Hive(), L"volatile", &volatileHive);
  EXPECT_FALSE(s.SaveSettings(volatileHive.Get()));
  EXPECT_FALSE(s.LoadSettings(volatileHive.Get()));
  EXPECT_FALSE(reg.Exists(L"volatile\\Software"));
  EXPECT_EQ((List{L"F:\\new", DefaultPicturesFolder()}), Entries(s.FolderHistory));
}
