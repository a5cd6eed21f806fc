// The window helpers and the message boxes, on the real controls of the main dialog.
#include <windows.h>

#include <string>

#include "app/GuiSupport.h"
#include "res/ResourceIds.h"
#include "res/StringIds.h"
#include "win/SimpleMsg.h"
#include "win/Window.h"

namespace {

class WindowHelpersTest : public DialogTest {};

TEST_F(WindowHelpersTest, ItemTextIsReadWholeAndTrimmedOnRequest) {
  ASSERT_NE(nullptr, OpenDialog());
  HWND edit = ComboEdit(IDC_FOLDER1);
  std::wstring text;
  SetWindowTextW(edit, L" \r\n\t C:\\写真\\out \r\n");
  CWindowW::GetItemText(edit, &text, false);
  EXPECT_EQ(L" \r\n\t C:\\写真\\out \r\n", text);
  CWindowW::GetItemText(edit, &text, true);
  EXPECT_EQ(L"C:\\写真\\out", text);
  SetWindowTextW(edit, L" \r ");
  CWindowW::GetItemText(edit, &text, true);
  EXPECT_EQ(L"", text);
  // No window, no text: what the string held before is not left in it.
  text = L"earlier";
  CWindowW::GetItemText(nullptr, &text, false);
  EXPECT_EQ(L"", text);
  std::wstring longText(5000, L'x');
  SetWindowTextW(edit, longText.c_str());
  CWindowW::GetItemText(edit, &text, false);
  EXPECT_EQ(longText, text);
}

TEST_F(WindowHelpersTest, SettingTextOnlyIfDifferentLeavesAnEqualTextAlone) {
  ASSERT_NE(nullptr, OpenDialog());
  HWND status = Item(IDC_STATUS);
  CMessageRecorder setText(status, {WM_SETTEXT});
  EXPECT_TRUE(CWindowW::SetItemText(status, L"3 / 12", true));
  EXPECT_TRUE(CWindowW::SetItemText(status, L"3 / 12", true));
  EXPECT_EQ(1u, setText.Count(WM_SETTEXT));
  EXPECT_TRUE(CWindowW::SetItemText(status, L"3 / 12", false));
  EXPECT_EQ(2u, setText.Count(WM_SETTEXT));

  EXPECT_TRUE(CWindowW::SetItemNumber(status, -42, true));
  EXPECT_EQ(L"-42", WindowText(status));
  EXPECT_TRUE(CWindowW::SetItemNumber(status, 1234567, true));
  EXPECT_EQ(L"1234567", WindowText(status));
  EXPECT_TRUE(CWindowW::SetItemTextFromString(status, IDS_STATUS_ABORTED, true));
  EXPECT_EQ(L"処理を中断しました", WindowText(status));
  EXPECT_FALSE(CWindowW::SetItemTextFromString(status, 4321, false));
  EXPECT_EQ(L"処理を中断しました", WindowText(status));
}

TEST_F(WindowHelpersTest, ClearComboListEmptiesTheList) {
  ASSERT_NE(nullptr, OpenDialog());
  HWND combo = Item(IDC_PREFIX3);
  for (const wchar_t* entry : {L"a", L"b", L"c", L"d", L"e"}) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
  }
  ASSERT_LE(5, SendMessageW(combo, CB_GETCOUNT, 0, 0));
  CWindowW::ClearComboList(combo);
  EXPECT_EQ(0, SendMessageW(combo, CB_GETCOUNT, 0, 0));
  // Not a combo box: nothing to do, and no endless loop.
  CWindowW::ClearComboList(Item(IDC_STATUS));
}

TEST_F(WindowHelpersTest, CentringStaysInsideTheWorkArea) {
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  RECT area;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  // A small window centred over the dialog, the dialog near the bottom right corner.
  HWND tool = CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, dialog,
                              nullptr, nullptr, nullptr);
  ASSERT_NE(nullptr, tool);
  SetWindowPos(dialog, nullptr, 100, 80, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  RECT main;
  GetWindowRect(dialog, &main);
  EXPECT_TRUE(CWindowW::CenterWindow(tool, nullptr));
  RECT rect;
  GetWindowRect(tool, &rect);
  EXPECT_EQ((main.left + main.right) / 2 - 150, rect.left);
  EXPECT_EQ((main.top + main.bottom) / 2 - 100, rect.top);
  EXPECT_EQ(300, rect.right - rect.left);

  SetWindowPos(dialog, nullptr, area.right - 50, area.bottom - 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_TRUE(CWindowW::CenterWindow(tool, nullptr));
  GetWindowRect(tool, &rect);
  EXPECT_EQ(area.right, rect.right);
  EXPECT_EQ(area.bottom, rect.bottom);

  // A minimised owner is no reference: the work area is.
  ShowWindow(dialog, SW_MINIMIZE);
  EXPECT_TRUE(CWindowW::CenterWindow(tool, nullptr));
  GetWindowRect(tool, &rect);
  EXPECT_EQ((area.left + area.right) / 2 - 150, rect.left);
  EXPECT_EQ((area.top + area.bottom) / 2 - 100, rect.top);
  DestroyWindow(tool);
}

// A host for the message boxes: a window wrapper over the main dialog, as a panel has.
class CMessageHost : public CWindowW,
                     public CSimpleMsgImpl<CMessageHost, IDS_CAPTION_ERROR, IDS_CAPTION_CONFIRM> {
public:
  explicit CMessageHost(HWND owner) : CWindowW(owner) {}
};

TEST_F(WindowHelpersTest, MessageBoxCaptionFollowsTheErrorIcon) {
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  CMessageHost host(dialog);
  CBoxWatcher watcher(dialog, [](HWND box) {
    PressButton(box, GetDlgItem(box, IDYES) ? IDYES : IDOK);
  });
  EXPECT_EQ(IDOK, host.ShowMessageId(IDS_MSG_VALUE_NOT_POSITIVE, MB_OK | MB_ICONERROR));
  EXPECT_EQ(IDYES, host.ShowMessage(L"消去してから開始しますか？", MB_YESNO));
  EXPECT_EQ(IDOK, host.ShowMessage(L"second", MB_OK | MB_ICONERROR));
  ASSERT_EQ(3u, watcher.Boxes().size());
  EXPECT_EQ(L"エラー", watcher.Boxes()[0].caption);
  EXPECT_EQ(L"0 より大きい値を指定してください", watcher.Boxes()[0].text);
  EXPECT_EQ(L"確認", watcher.Boxes()[1].caption);
  EXPECT_EQ(L"消去してから開始しますか？", watcher.Boxes()[1].text);
  EXPECT_EQ(L"エラー", watcher.Boxes()[2].caption);
  for (const SeenBox& box : watcher.Boxes()) EXPECT_EQ(dialog, box.owner);
}

}  // namespace
