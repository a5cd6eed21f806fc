// String histories: order and capacity, and how a stored list loads, whole or damaged.
#include <gtest/gtest.h>

#include <vector>

#include "settings/Settings.h"
#include "settings/TestRegistry.h"

namespace {

typedef std::vector<std::wstring> List;

List Entries(const CStringHistory& history) { return List(history.begin(), history.end()); }

}  // namespace

TEST(History, AddKeepsTheMostRecentFirstAndTheCapacity) {
  CStringHistory history;
  for (const wchar_t* text : {L"C:\\a", L"C:\\b", L"C:\\A", L"C:\\a", L""}) history.Add(text);
  // "C:\A" differs only in case and stays; the second "C:\a" moved to the front.
  EXPECT_EQ((List{L"", L"C:\\a", L"C:\\A", L"C:\\b"}), Entries(history));
  history.Resize(5);
  EXPECT_EQ(L"", history[4]);

  for (int i = 0; i < 17; ++i) history.Add(std::to_wstring(i));
  ASSERT_EQ(16u, history.Size());
  EXPECT_EQ(L"16", history[0]);
  EXPECT_EQ(L"1", history[15]);
  history.Add(L"5");  // a move, not a growth
  EXPECT_EQ(L"1", history[15]);
}

TEST(History, ALoadFollowsTheStoredCountAndKeepsWhatItCannotRead) {
  CTestRegistry reg;
  CStringHistory saved, history;
  for (const wchar_t* text : {L"d", L"c", L"b", L"a"}) saved.Add(text);
  ASSERT_TRUE(saved.Save(reg.Hive(), L"list"));
  history.Add(L"default");
  EXPECT_FALSE(history.Load(reg.Hive(), L"missing"));  // no key: unchanged
  EXPECT_EQ((List{L"default"}), Entries(history));

  // A shorter save leaves the old entry keys, which the count hides.
  CStringHistory one;
  one.Add(L"only");
  ASSERT_TRUE(one.Save(reg.Hive(), L"list"));
  EXPECT_TRUE(reg.Exists(L"list\\03"));
  ASSERT_TRUE(history.Load(reg.Hive(), L"list"));
  EXPECT_EQ((List{L"only"}), Entries(history));

  // Count 4 with entry 01 missing and 02 damaged: those keep what they held.
  history.Add(L"y");
  history.Add(L"x");
  reg.Set(L"gap", L"Count", 4);
  reg.Set(L"gap\\00", L"", L"first");
  reg.Set(L"gap\\02", L"", REG_SZ, L"abc", 5);
  reg.Set(L"gap\\03", L"", L"fourth");
  EXPECT_FALSE(history.Load(reg.Hive(), L"gap"));
  EXPECT_EQ((List{L"first", L"y", L"only", L"fourth"}), Entries(history));

  // Count 20 is taken as stored; the next addition trims to the capacity.
  reg.Set(L"gap", L"Count", 20);
  EXPECT_FALSE(history.Load(reg.Hive(), L"gap"));
  EXPECT_EQ(20u, history.Size());
  history.Add(L"new");
  EXPECT_EQ(16u, history.Size());

  reg.Set(L"zero", L"Count", 0);
  EXPECT_TRUE(history.Load(reg.Hive(), L"zero"));
  EXPECT_EQ(0u, history.Size());
}

TEST(History, DamagedCountsAreBounded) {
  CTestRegistry reg;
  CStringHistory history;
  history.Add(L"default");
  reg.Set(L"text", L"Count", L"5");  // its four bytes would read as 53
  EXPECT_FALSE(history.Load(reg.Hive(), L"text"));
  EXPECT_EQ((List{L"default"}), Entries(history));
  reg.Set(L"short", L"Count", REG_DWORD, "\x02", 1);
  EXPECT_FALSE(history.Load(reg.Hive(), L"short"));
  EXPECT_EQ(1u, history.Size());
  reg.Set(L"huge", L"Count", 0x7FFFFFFF);
  EXPECT_FALSE(history.Load(reg.Hive(), L"huge"));
  EXPECT_EQ(kMaxHistoryEntries, history.Size());
  reg.Set(L"negative", L"Count", 0xFFFFFFFF);
  EXPECT_TRUE(history.Load(reg.Hive(), L"negative"));
  EXPECT_EQ(0u, history.Size());
}
