// Text rules on plain data: the bytes of a registry string value, and path names.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/PathNames.h"
#include "base/RegistryText.h"

namespace {

// The UTF-16 little-endian bytes of `units`.
std::vector<uint8_t> Utf16(const std::u16string& units) {
  std::vector<uint8_t> bytes;
  for (char16_t u : units) bytes.insert(bytes.end(), {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8)});
  return bytes;
}

std::wstring Wide(const std::u16string& units) { return std::wstring(units.begin(), units.end()); }

}  // namespace

TEST(RegistryText, OnlyWholeTerminatedStringValuesGiveTheirText) {
  const std::u16string kanji = u"\u753b\u50cf\U0001F5BC";  // a surrogate pair stays two units
  struct Case {
    uint32_t type;
    std::vector<uint8_t> bytes;
    bool ok;
    std::u16string text;
  };
  std::vector<uint8_t> odd = Utf16(std::u16string(u"ab\0", 3));
  odd.push_back(0);
  const Case cases[] = {
      {kRegTypeString, Utf16(kanji + u'\0'), true, kanji},
      {kRegTypeExpandString, Utf16(std::u16string(u"%SystemRoot%\0", 13)), true, u"%SystemRoot%"},
      {kRegTypeString, {}, true, u""},
      {kRegTypeString, {0, 0}, true, u""},
      {kRegTypeString, Utf16(std::u16string(u"a\0b\0", 4)), true, u"a"},       // text ends at the first NUL
      {kRegTypeString, Utf16(std::u16string(u"\xFFFF\xD800\0", 3)), true, u"\xFFFF\xD800"},
      {kRegTypeString, Utf16(u"abc"), false, u""},                            // no terminator
      {kRegTypeString, odd, false, u""},                                       // half a unit after it
      {kRegTypeString, {0}, false, u""},
      {kRegTypeString, {'a', 0, 0}, false, u""},
      {7, Utf16(std::u16string(u"a\0b\0\0", 5)), false, u""},                 // REG_MULTI_SZ
      {4, {0, 0, 0, 0}, false, u""},                                           // REG_DWORD
      {0, {}, false, u""},
      {3, {}, false, u""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << ", " << c.bytes.size() << " bytes");
    // At an odd address, as a caller's buffer may be: the rule reads bytes, never wide units.
    std::unique_ptr<uint8_t[]> storage(new uint8_t[c.bytes.size() + 1]);
    std::copy(c.bytes.begin(), c.bytes.end(), storage.get() + 1);
    std::wstring text = L"keep";
    EXPECT_EQ(c.ok, RegistryStringText(c.type, storage.get() + 1, c.bytes.size(), &text));
    EXPECT_EQ(c.ok ? Wide(c.text) : L"keep", text);
  }
}

TEST(RegistryText, TheLongestValueIsThePathLimitWithItsTerminator) {
  std::u16string atLimit(kMaxRegStringChars - 1, u'y');
  std::vector<uint8_t> bytes = Utf16(atLimit + u'\0');
  std::wstring text;
  ASSERT_TRUE(RegistryStringText(kRegTypeString, bytes.data(), bytes.size(), &text));
  EXPECT_EQ(kMaxRegStringChars - 1, text.size());
  bytes = Utf16(atLimit + u'y' + u'\0');
  text = L"keep";
  EXPECT_FALSE(RegistryStringText(kRegTypeString, bytes.data(), bytes.size(), &text));
  EXPECT_EQ(L"keep", text);
  // Longer data whose first NUL comes early is still too long: the size is the value's.
  bytes = Utf16(u"short" + std::u16string(kMaxRegStringChars, u'\0'));
  EXPECT_FALSE(RegistryStringText(kRegTypeString, bytes.data(), bytes.size(), &text));
}

TEST(PathNames, NamesSplitAtTheirLastDotAndJoinWithOneSeparator) {
  struct Split {
    const wchar_t* path;
    const wchar_t* base;
    const wchar_t* extension;
  };
  for (const Split& s : {Split{L"", L"", L""}, Split{L"C:\\dir\\", L"", L""}, Split{L"a.", L"a", L""},
                         Split{L"..", L".", L""}, Split{L"C:\\a.b\\c", L"c", L""},
                         Split{L"/x/.png", L"", L"png"}, Split{L"D:/p\\q.tar.gz", L"q.tar", L"gz"}}) {
    SplitName split = SplitFileName(s.path);
    EXPECT_EQ(s.base, split.base) << s.path;
    EXPECT_EQ(s.extension, split.extension) << s.path;
  }
  EXPECT_EQ(L"\\n", AppendPath(L"\\", L"n"));
  EXPECT_EQ(L"d\\", AppendPath(L"d", L""));
  EXPECT_EQ(L"", AppendPath(L"", L""));
}

// The program's own temporary files and drop folders are told from the user's files by name alone.
TEST(PathNames, NumberedNamesAreToldFromOthers) {
  EXPECT_EQ(NumberedName(L"~kestrelle-", 0x0123abcdu, L".tmp"), L"~kestrelle-0123abcd.tmp");
  EXPECT_EQ(NumberedName(L"drop-", 0xffffffffu, L""), L"drop-ffffffff");
  EXPECT_TRUE(IsNumberedName(L"~kestrelle-0123abcd.tmp", L"~kestrelle-", L".tmp"));
  EXPECT_TRUE(IsNumberedName(L"drop-00000000", L"drop-", L""));
  for (const wchar_t* other : {L"~kestrelle-0123ABCD.tmp", L"~kestrelle-0123abc.tmp", L"~kestrelle-0123abcde.tmp",
                               L"~kestrelle-0123abcd.tmpx", L"~kestrelle-0123abcd.TMP", L"kestrelle-0123abcd.tmp",
                               L"~kestrelle-0123abcg.tmp", L"~kestrelle-0123 bcd.tmp"}) {
    EXPECT_FALSE(IsNumberedName(other, L"~kestrelle-", L".tmp")) << other;
  }
  EXPECT_FALSE(IsNumberedName(L"drop-0000000", L"drop-", L""));
  EXPECT_FALSE(IsNumberedName(L"drop-00000000x", L"drop-", L""));
}

TEST(PathNames, OnlyPlainNamesStayInsideTheirFolder) {
  for (const wchar_t* bad : {L"..\\", L"a/b", L"x:y", L"*", L"?", L"\"", L"<", L">", L"|", L"\t", L"\x1f"}) {
    EXPECT_TRUE(HasCharacterForbiddenInNames(bad)) << bad;
    EXPECT_FALSE(IsPlainFileName(std::wstring(L"s") + bad + L"a.png")) << bad;
  }
  EXPECT_FALSE(HasCharacterForbiddenInNames(L""));
  EXPECT_FALSE(HasCharacterForbiddenInNames(L"..s_ 写真 [1] (2) #%&!.;=+'~"));
  EXPECT_TRUE(IsPlainFileName(L"..s_ 写真.png"));
  EXPECT_TRUE(IsPlainFileName(std::wstring(kMaxFileNameLength - 4, L'x') + L".png"));
  EXPECT_FALSE(IsPlainFileName(std::wstring(kMaxFileNameLength - 3, L'x') + L".png"));
  for (const wchar_t* bad : {L"", L".", L"..", L"a.png.", L"a.png "}) EXPECT_FALSE(IsPlainFileName(bad)) << bad;

  // Names from elsewhere are made plain; the ones that already are stay as they are.
  struct Made {
    const wchar_t* name;
    const wchar_t* plain;
  };
  for (const Made& m : {Made{L"..\\..\\x.jpg", L".._.._x.jpg"}, Made{L"..", L"__"}, Made{L"", L"_"},
                        Made{L"C:/a b/c.png", L"C__a b_c.png"}, Made{L"a.png. .", L"a.png___"},
                        Made{L"s\x01?*|\"<>.jpg", L"s_______.jpg"}, Made{L"..s_ 写真.png", L"..s_ 写真.png"}}) {
    EXPECT_EQ(m.plain, PlainFileNameFrom(m.name)) << m.plain;
    EXPECT_TRUE(IsPlainFileName(PlainFileNameFrom(m.name))) << m.plain;
  }
}

TEST(PathNames, NamesWindowsKeepsForDevicesAreNoFileNames) {
  for (const wchar_t* device : {L"CON", L"con.jpg", L"Prn.png", L"aux", L"NUL.tar.gz", L"nul.", L"CON ",
                                L"AUX .png", L"COM1.jpg", L"com9", L"LPT1.jpeg", L"lpt9.x", L"COM\u00B9.png",
                                L"LPT\u00B3"}) {
    EXPECT_TRUE(IsReservedDeviceName(device)) << device;
    EXPECT_FALSE(IsPlainFileName(device)) << device;
    // A copy's name gets "_" in front, and is a name a file may have.
    const std::wstring plain = PlainFileNameFrom(device);
    EXPECT_EQ(L'_', plain[0]) << device;
    EXPECT_FALSE(IsReservedDeviceName(plain)) << device;
    EXPECT_TRUE(IsPlainFileName(plain)) << device;
  }
  for (const wchar_t* name : {L"CONSOLE.jpg", L"_CON.jpg", L"a.CON", L"x CON.png", L" CON.png", L"COM0.jpg",
                              L"COM10.jpg", L"LPT.jpg", L"COM", L"NULL.png", L"AU", L""}) {
    EXPECT_FALSE(IsReservedDeviceName(name)) << name;
  }
  EXPECT_EQ(L"_CON.jpg", PlainFileNameFrom(L"CON.jpg"));
  EXPECT_EQ(L"_lpt1.jpg", PlainFileNameFrom(L"lpt1.jpg"));
  EXPECT_EQ(L"_nul. .png", PlainFileNameFrom(L"nul. .png"));
  EXPECT_EQ(L"_CON_", PlainFileNameFrom(L"CON."));
  EXPECT_EQ(L"AUX_.jpg", PlainFileNameFrom(L"AUX:.jpg"));
}

TEST(PathNames, PathsAreResolvedAsTheFileFunctionsResolveThem) {
  struct Resolved {
    const wchar_t* path;
    const wchar_t* normalized;
  };
  for (const Resolved& r : {
           // The spellings a drag source may send for one folder.
           Resolved{L"D:\\Photos\\Trip\\..", L"D:\\Photos"},
           Resolved{L"D:\\Photos\\Trip\\.", L"D:\\Photos\\Trip"},
           Resolved{L"D:\\Photos\\Trip\\..\\..", L"D:\\"},
           Resolved{L"D:\\Photos\\Trip\\..\\..\\..\\..", L"D:\\"},
           Resolved{L"D:\\Photos\\Trip.", L"D:\\Photos\\Trip"},
           Resolved{L"D:\\Photos\\Trip. . ", L"D:\\Photos\\Trip"},
           Resolved{L"D:\\Photos\\Trip.\\a.jpg", L"D:\\Photos\\Trip\\a.jpg"},
           Resolved{L"D:\\Photos\\Trip \\a.jpg.", L"D:\\Photos\\Trip\\a.jpg"},
           Resolved{L"D:\\Photos\\\\Trip\\\\\\", L"D:\\Photos\\Trip"},
           Resolved{L"D:/Photos/./Trip/", L"D:\\Photos\\Trip"},
           Resolved{L"D:\\Photos\\...\\Trip", L"D:\\Photos\\Trip"},
           Resolved{L"D:\\..", L"D:\\"},
           Resolved{L"D:\\", L"D:\\"},
           // Names that only look like parts: kept.
           Resolved{L"D:\\Photos\\..Trip\\.a", L"D:\\Photos\\..Trip\\.a"},
           Resolved{L"D:\\写真\\旅行 2\\..\\旅行", L"D:\\写真\\旅行"},
           // Roots of shares and of extended paths are never climbed out of.
           Resolved{L"\\\\server\\share\\Trip\\..\\..", L"\\\\server\\share\\"},
           Resolved{L"\\\\server\\share", L"\\\\server\\share\\"},
           Resolved{L"\\\\?\\D:\\Photos\\Trip\\..", L"\\\\?\\D:\\Photos"},
           Resolved{L"\\\\?\\D:\\..\\..", L"\\\\?\\D:\\"},
           Resolved{L"\\\\?\\UNC\\server\\share\\a\\..\\..", L"\\\\?\\UNC\\server\\share\\"},
           Resolved{L"\\\\?\\unc\\server\\share\\a.", L"\\\\?\\unc\\server\\share\\a"},
           // Relative paths keep what they cannot resolve.
           Resolved{L"Trip\\..\\..\\a", L"..\\a"},
           Resolved{L".\\Trip\\.", L"Trip"},
           Resolved{L"", L""},
       }) {
    EXPECT_EQ(r.normalized, NormalizedPath(r.path)) << r.path;
    EXPECT_EQ(r.normalized, NormalizedPath(r.normalized)) << "resolving twice changes nothing: " << r.path;
  }
}
