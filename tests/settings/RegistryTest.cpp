// The registry layer against the real registry: value encodings, read failures, string rules and
// the settings root.
#include <gtest/gtest.h>

#include "res/StringIds.h"
#include "settings/Registry.h"
#include "settings/TestRegistry.h"

TEST(Registry, ValuesHaveTheirEncodingsAndFailedReadsKeepTheirDestination) {
  CTestRegistry reg;
  CKeyHandle key;
  ASSERT_TRUE(OpenForWrite(reg.Hive(), L"a\\b", &key));  // parents are created
  EXPECT_TRUE(WriteDword(key.Get(), L"Int", int32_t(-2)));
  EXPECT_TRUE(WriteFlag(key.Get(), L"On", true));
  EXPECT_TRUE(WriteString(key.Get(), L"Text", L"\u753b\u50cf"));
  EXPECT_TRUE(WriteString(key.Get(), L"", L""));
  EXPECT_EQ("4:feffffff", reg.Get(L"a\\b", L"Int"));
  EXPECT_EQ("4:01000000", reg.Get(L"a\\b", L"On"));
  EXPECT_EQ("1:3b75cf500000", reg.Get(L"a\\b", L"Text"));  // REG_SZ with its terminator
  EXPECT_EQ("1:0000", reg.Get(L"a\\b", L""));
  reg.Set(L"a\\b", L"Seven", 7);
  reg.Set(L"a\\b", L"Str", L"12");
  reg.Set(L"a\\b", L"Short", REG_DWORD, "\x09\x00", 2);
  reg.Set(L"a\\b", L"Bin", REG_BINARY, "\x01\x02\x03\x04", 4);

  int32_t number = 0;
  bool on = false, seven = false;
  std::wstring text;
  EXPECT_TRUE(ReadDword(key.Get(), L"Int", &number) && ReadFlag(key.Get(), L"On", &on) &&
              ReadFlag(key.Get(), L"Seven", &seven) && ReadString(key.Get(), L"Text", &text));
  EXPECT_EQ(-2, number);
  EXPECT_TRUE(on && seven);
  EXPECT_EQ(L"\u753b\u50cf", text);

  number = 42;
  for (const wchar_t* name : {L"Str", L"Short", L"Bin", L"Missing"}) {
    EXPECT_FALSE(ReadDword(key.Get(), name, &number)) << name;
    EXPECT_FALSE(ReadFlag(key.Get(), name, &on)) << name;
  }
  EXPECT_EQ(42, number);
  for (const wchar_t* name : {L"Int", L"Bin", L"Missing"}) {
    EXPECT_FALSE(ReadString(key.Get(), name, &text)) << name;
  }
  EXPECT_EQ(L"\u753b\u50cf", text);
  CKeyHandle missing;
  EXPECT_FALSE(OpenForRead(reg.Hive(), L"nowhere", &missing));
  EXPECT_FALSE(missing.IsValid() || reg.Exists(L"nowhere"));
  // A failed open leaves a key that was held open.
  EXPECT_FALSE(OpenForRead(reg.Hive(), L"nowhere", &key));
  EXPECT_TRUE(ReadDword(key.Get(), L"Int", &number));
}

TEST(Registry, StringsAreReadOnlyWhenWellFormedAndOfSaneSize) {
  CTestRegistry reg;
  const std::wstring longText(1500, L'x'), atBound(kMaxRegStringChars - 1, L'y');
  reg.Set(L"k", L"Long", longText);
  reg.Set(L"k", L"AtBound", atBound);
  reg.Set(L"k", L"TooLong", std::wstring(kMaxRegStringChars, L'z'));
  reg.Set(L"k", L"Expand", REG_EXPAND_SZ, L"%SystemRoot%", 26);
  reg.Set(L"k", L"Empty", REG_SZ, "", 0);
  reg.Set(L"k", L"Inner", REG_SZ, L"a\0b", 8);
  // The registry adds a terminator itself when the caller's text has one just past the given
  // length, so damaged values are cut from the middle of a longer text.
  reg.Set(L"k", L"NoNul", REG_SZ, L"abc", 4);
  reg.Set(L"k", L"Odd", REG_SZ, L"ab\0c", 7);  // a terminator, then half a character
  reg.Set(L"k", L"Multi", REG_MULTI_SZ, L"a\0b\0", 10);
  CKeyHandle key;
  ASSERT_TRUE(OpenForWrite(reg.Hive(), L"k", &key));

  struct Case {
    const wchar_t* name;
    bool ok;
    std::wstring text;
  };
  for (const Case& c : {Case{L"Long", true, longText}, Case{L"AtBound", true, atBound},
                        Case{L"Expand", true, L"%SystemRoot%"}, Case{L"Empty", true, L""},
                        Case{L"Inner", true, L"a"}, Case{L"TooLong", false, L"keep"},
                        Case{L"NoNul", false, L"keep"}, Case{L"Odd", false, L"keep"},
                        Case{L"Multi", false, L"keep"}}) {
    std::wstring text = L"keep";
    EXPECT_EQ(c.ok, ReadString(key.Get(), c.name, &text)) << c.name;
    EXPECT_EQ(c.text, text) << c.name;
  }
  // What could not be read back is not written.
  EXPECT_FALSE(WriteString(key.Get(), L"Big", std::wstring(kMaxRegStringChars, L'z')));
  EXPECT_EQ("missing", reg.Get(L"k", L"Big"));
}

TEST(Registry, TheSettingsRootComesFromTheStringTableAndIsCreatedOnOpen) {
  CTestRegistry reg, other;
  CSettingsKey root;
  EXPECT_TRUE(root.Open(reg.Hive(), IDS_MAKER, IDS_PRODUCT));
  EXPECT_EQ(kSettingPath, root.Path(L"Setting"));
  EXPECT_TRUE(reg.Exists(L"Software\\Orvandel\\Kestrelle32"));
  EXPECT_FALSE(reg.Exists(kSettingPath));
  // A name missing from the string table fails before anything is created.
  EXPECT_FALSE(root.Open(other.Hive(), IDS_MAKER, 60999));
  EXPECT_FALSE(other.Exists(L"Software"));
  EXPECT_EQ(reg.Hive(), root.Hive());
}

// The tests' guard of the user's own key while a test's program runs as another process: the
// key is set aside and comes back exactly, and parents that the program made go again. Played
// out in a private key standing in for HKEY_CURRENT_USER, which keeps every write to itself.
TEST(TestRegistry, ASetAsideKeyComesBackExactlyAndParentsMadeMeanwhileGo) {
  const std::wstring product = L"Software\\Orvandel\\Kestrelle32";
  const std::string realBefore = KeyTreeText(HKEY_CURRENT_USER, L"Software\\Orvandel");
  {
    CTestRegistry user;
    ASSERT_TRUE(user.StandInForCurrentUser());
    user.Set(kSettingPath + L"\\Window", L"Left", 1234);
    user.Set(kSettingPath + L"\\Shrinks\\0", L"Prefix", L"mine_");
    user.Set(product, L"Empty", REG_BINARY, "", 0);
    user.Set(L"Software\\Orvandel", L"Beside", L"kept");
    const std::string before = KeyTreeText(HKEY_CURRENT_USER, L"Software");
    ASSERT_NE(std::string::npos, before.find("\"Prefix\" 1:6d0069006e0065005f000000"));
    {
      CSetAsideKey aside(product);
      ASSERT_TRUE(aside.IsSetAside());
      EXPECT_FALSE(user.Exists(product));
      EXPECT_EQ("1:6b006500700074000000", user.Get(L"Software\\Orvandel", L"Beside"));
      // What the test's program stores.
      user.Set(kSettingPath + L"\\Window", L"Left", 5);
      user.Set(product + L"\\New", L"Count", 1);
    }
    EXPECT_EQ(before, KeyTreeText(HKEY_CURRENT_USER, L"Software"));

    RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Orvandel");
    const std::string bare = KeyTreeText(HKEY_CURRENT_USER, L"Software");
    {
      CSetAsideKey aside(product);
      ASSERT_TRUE(aside.IsSetAside());
      user.Set(kSettingPath, L"Count", 3);
    }
    EXPECT_EQ(bare, KeyTreeText(HKEY_CURRENT_USER, L"Software"));
    EXPECT_FALSE(user.Exists(L"Software\\Orvandel"));
  }
  // None of it reached the registry's own HKEY_CURRENT_USER.
  EXPECT_EQ(realBefore, KeyTreeText(HKEY_CURRENT_USER, L"Software\\Orvandel"));
}
