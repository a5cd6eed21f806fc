// String table: texts loaded by number come out of the linked resources exactly as the program
// shows them (UTF-16, real line feeds, format fields intact, trailing blanks kept).
#include <windows.h>

#include <cwchar>
#include <string>

#include <gtest/gtest.h>

#include "res/StringIds.h"

namespace {

// The stored text with its exact length. LoadStringW with no buffer hands out a pointer into the
// resource itself, so a dropped trailing blank or a stored terminator changes the length.
std::wstring Stored(UINT id) {
  const wchar_t* text = nullptr;
  int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
  return length > 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
}

std::wstring FormatTwoNumbers(UINT id, int first, int second) {
  wchar_t buffer[256] = {};
  _snwprintf(buffer, 255, Stored(id).c_str(), first, second);
  return buffer;
}

}  // namespace

TEST(StringTable, JapaneseTextsArriveAsUtf16) {
  EXPECT_EQ(L"エラー", Stored(IDS_CAPTION_ERROR));
  EXPECT_EQ(L"確認", Stored(IDS_CAPTION_CONFIRM));
  EXPECT_EQ(L"最低 (高圧縮率)", Stored(IDS_QUALITY_LOWEST));
  EXPECT_EQ(L"画像の読み込みに失敗しました - %s", Stored(IDS_MSG_LOAD_FAILED));
  EXPECT_EQ(L"フォルダに、0個のファイルがドロップされました", Stored(IDS_MSG_FOLDER_DROP_NONE));
  // A backslash and a doubled quote of the script come out as one character each.
  EXPECT_EQ(L"設定 %d の接頭辞に、ファイル名に使えない文字があります (\\ / : * ? \" < > | と制御文字)\n\n%s",
            Stored(IDS_MSG_PREFIX_FORBIDDEN));
}

TEST(StringTable, EscapedLineFeedsBecomeLineFeeds) {
  EXPECT_EQ(L"ファイルの削除に失敗しました\n\n%s", Stored(IDS_MSG_DELETE_FAILED));
  EXPECT_EQ(L"以下の %d 個のファイルが上書きされます。消去してから開始しますか？\n\n%s",
            Stored(IDS_ASK_OVERWRITE));
  EXPECT_EQ(std::wstring::npos, Stored(IDS_MSG_FILE_NOT_FOUND).find(L'\\'));
}

TEST(StringTable, ProgressStatusKeepsItsTrailingBlank) {
  std::wstring progress = Stored(IDS_STATUS_PROGRESS);
  EXPECT_EQ(L"%d / %d ファイル処理中 ", progress);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(L' ', progress.back());
  // The running status appends its full stops right after that blank.
  EXPECT_EQ(L"3 / 12 ファイル処理中 ", FormatTwoNumbers(IDS_STATUS_PROGRESS, 3, 12));
}

TEST(StringTable, PresetMethodNameFormatsBothSides) {
  EXPECT_EQ(L"160 × 160 以内に縮小する", FormatTwoNumbers(IDS_SHRINK_PRESET, 160, 160));
}

TEST(StringTable, NamesAreLoadedVerbatim) {
  EXPECT_EQ(L"Orvandel", Stored(IDS_MAKER));
  EXPECT_EQ(L"Kestrelle", Stored(IDS_PRODUCT));
  EXPECT_EQ(L"白", Stored(IDS_COLOR_WHITE));
  // Shown as a name, never used as a format: the percent sign stays.
  EXPECT_EQ(L"50% グレー", Stored(IDS_COLOR_GRAY50));
  EXPECT_EQ(L"茶色", Stored(IDS_COLOR_BROWN));
}

TEST(StringTable, BlocksAreTaggedJapanese) {
  const WORD japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
  for (UINT id : {IDS_CAPTION_ERROR, IDS_MAKER, IDS_MSG_COMBO_VALUE_FAILED, IDS_MSG_BACKGROUND_FAILED}) {
    EXPECT_NE(nullptr, FindResourceExW(nullptr, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), japanese)) << id;
  }
}
