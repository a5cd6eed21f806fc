// The panel control classes in the real dialog: a choice puts the entry's value into the edit
// field, the wheel steps through the list, typing is reported as it happens, history lists refill
// without losing their text, and a text that matches an item in another letter case selects it.
#include <windows.h>

#include "panel/PanelControls.h"
#include "panel/PanelHost.h"

namespace {

class PanelControlsTest : public PanelTest {
protected:
  // One wheel notch over the box: towards the user (negative) or away from the user.
  void Wheel(int id, int delta) {
    SendMessageW(HostItem(id), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), 0);
    EXPECT_EQ(kQueueDrained, RunQueued());
  }
  // The edit field's selection as [start, end).
  std::pair<DWORD, DWORD> EditSelection(int id) {
    DWORD start = 0, end = 0;
    SendMessageW(HostItem(id), CB_GETEDITSEL, reinterpret_cast<WPARAM>(&start),
                 reinterpret_cast<LPARAM>(&end));
    return {start, end};
  }
};

TEST_F(PanelControlsTest, ChoosingAnEntryLeavesItsValueSelectedInTheField) {
  Profile(0).SaveFormat.Type = SaveFormat::Jpeg;
  Profile(0).SaveFormat.JpegQuality = 30;
  Profile(0).ShrinkType = 1;
  ASSERT_NE(nullptr, OpenHost());
  HWND quality = HostItem(IDC_QUALITY1);
  CMessageRecorder recorder(quality, {WM_APP});
  Choose(IDC_QUALITY1, 3);  // 高
  EXPECT_EQ(L"80", WindowText(quality));
  EXPECT_EQ(CB_ERR, SendMessageW(quality, CB_GETCURSEL, 0, 0));
  EXPECT_EQ(std::make_pair(DWORD{0}, DWORD{2}), EditSelection(IDC_QUALITY1));
  EXPECT_EQ(80, Profile(0).SaveFormat.JpegQuality);
  ASSERT_EQ(1u, recorder.Count(WM_APP));
  EXPECT_EQ(static_cast<WPARAM>(CBN_SELCHANGE), recorder.Seen()[0].wParam);

  Choose(IDC_COLOR_TEXT1, 0);  // 白
  EXPECT_EQ(L"FFFFFF", WindowText(HostItem(IDC_COLOR_TEXT1)));
  Choose(IDC_COLOR_TEXT1, 3);  // 赤
  EXPECT_EQ(L"CC0000", WindowText(HostItem(IDC_COLOR_TEXT1)));
  EXPECT_EQ(0x0000CCu, Profile(0).BkColor);

  // A size's value is its name: the item stays selected.
  Choose(IDC_WIDTH1, 7);
  EXPECT_EQ(L"640", WindowText(HostItem(IDC_WIDTH1)));
  EXPECT_EQ(7, SendMessageW(HostItem(IDC_WIDTH1), CB_GETCURSEL, 0, 0));
  EXPECT_EQ(640, Profile(0).CustomWidth);
}

TEST_F(PanelControlsTest, WheelStepsThroughTheSizesAndStopsAtTheEnds) {
  Profile(1).ShrinkType = 1;
  Profile(1).CustomWidth = 640;
  ASSERT_NE(nullptr, OpenHost());
  HWND width = HostItem(IDC_WIDTH2);
  Wheel(IDC_WIDTH2, -WHEEL_DELTA);
  EXPECT_EQ(L"700", WindowText(width));
  EXPECT_EQ(700, Profile(1).CustomWidth);
  EXPECT_EQ(std::make_pair(DWORD{0}, DWORD{3}), EditSelection(IDC_WIDTH2));
  Wheel(IDC_WIDTH2, WHEEL_DELTA);
  Wheel(IDC_WIDTH2, WHEEL_DELTA);
  EXPECT_EQ(L"500", WindowText(width));
  EXPECT_EQ(500, Profile(1).CustomWidth);

  Type(IDC_WIDTH2, L"1280");
  Wheel(IDC_WIDTH2, -WHEEL_DELTA);
  EXPECT_EQ(L"1280", WindowText(width));

  Type(IDC_WIDTH2, L"160");
  Profile(1).CustomWidth = 1;
  Wheel(IDC_WIDTH2, WHEEL_DELTA);
  EXPECT_EQ(L"160", WindowText(width));
  EXPECT_EQ(160, Profile(1).CustomWidth);  // notified although the text stayed

  for (int delta : {-WHEEL_DELTA, WHEEL_DELTA}) {
    Type(IDC_WIDTH2, L"650");
    Wheel(IDC_WIDTH2, delta);
    EXPECT_EQ(L"160", WindowText(width));
  }
  Type(IDC_WIDTH2, L"650");
  Wheel(IDC_WIDTH2, 0);
  EXPECT_EQ(L"650", WindowText(width));
}

TEST_F(PanelControlsTest, WheelStepsQualityAndColorByTheirValues) {
  Profile(2).SaveFormat.Type = SaveFormat::Jpeg;
  Profile(2).SaveFormat.JpegQuality = 80;
  Profile(2).BkColor = 0x1981FF;  // オレンジ, FF8119
  ASSERT_NE(nullptr, OpenHost());
  Wheel(IDC_QUALITY3, -WHEEL_DELTA);
  EXPECT_EQ(L"100", WindowText(HostItem(IDC_QUALITY3)));
  EXPECT_EQ(100, Profile(2).SaveFormat.JpegQuality);
  Wheel(IDC_COLOR_TEXT3, WHEEL_DELTA);
  EXPECT_EQ(L"FFFF00", WindowText(HostItem(IDC_COLOR_TEXT3)));
  EXPECT_EQ(0x00FFFFu, Profile(2).BkColor);
  // A text that is no colour counts as black, the second entry.
  Type(IDC_COLOR_TEXT3, L"xyz");
  Wheel(IDC_COLOR_TEXT3, -WHEEL_DELTA);
  EXPECT_EQ(L"7F7F7F", WindowText(HostItem(IDC_COLOR_TEXT3)));
}

TEST_F(PanelControlsTest, TypingIsReportedAtOnceInEveryEditableBox) {
  Profile(0).ShrinkType = 1;
  Profile(0).SaveFormat.Type = SaveFormat::Jpeg;
  ASSERT_NE(nullptr, OpenHost());
  Type(IDC_HEIGHT1, L"333");
  EXPECT_EQ(333, Profile(0).CustomHeight);
  Type(IDC_COLOR_TEXT1, L"22C350");
  EXPECT_EQ(0x50C322u, Profile(0).BkColor);
  Type(IDC_QUALITY1, L"8a0");
  EXPECT_EQ(L"80", WindowText(HostItem(IDC_QUALITY1)));
  EXPECT_EQ(80, Profile(0).SaveFormat.JpegQuality);
  // The folder and the prefix are taken only once chosen or collected.
  Type(IDC_FOLDER1, L"D:\\typed");
  Type(IDC_PREFIX1, L"typed_");
  EXPECT_EQ(L"C:\\out\\small", Profile(0).Folder);
  EXPECT_EQ(L"s_", Profile(0).Prefix);
  EXPECT_EQ(0, m_host->FolderChanges());
  EXPECT_EQ(0, m_host->PrefixChanges());
}

TEST_F(PanelControlsTest, TextsAreMatchedIgnoringCaseAndReadTrimmed) {
  ASSERT_NE(nullptr, OpenHost());
  HWND prefix = HostItem(IDC_PREFIX2);
  SelectOrSetText(prefix, L"S_");
  EXPECT_EQ(L"s_", WindowText(prefix));
  EXPECT_GE(SendMessageW(prefix, CB_GETCURSEL, 0, 0), 0);
  SelectOrSetText(prefix, L"  new \r");
  EXPECT_EQ(CB_ERR, SendMessageW(prefix, CB_GETCURSEL, 0, 0));
  EXPECT_EQ(L"  new \r", WindowText(prefix));
  EXPECT_EQ(L"new", GetComboText(prefix));
}

TEST_F(PanelControlsTest, ChoosingAFolderPutsItFirstInEveryPanelAndKeepsTypedTexts) {
  GetSettings().FolderHistory.Add(L"D:\\older");
  GetSettings().FolderHistory.Add(L"D:\\newer");
  ASSERT_NE(nullptr, OpenHost());
  Type(IDC_FOLDER3, L"E:\\typed but not chosen");
  HWND folder1 = HostItem(IDC_FOLDER1);
  const LRESULT older = SendMessageW(folder1, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(L"D:\\older"));
  ASSERT_GE(older, 0);
  Choose(IDC_FOLDER1, static_cast<int>(older));
  EXPECT_EQ(L"D:\\older", Profile(0).Folder);
  EXPECT_EQ(1, m_host->FolderChanges());
  for (int id : {IDC_FOLDER1, IDC_FOLDER2, IDC_FOLDER3}) {
    SCOPED_TRACE(id);
    std::wstring first;
    CComboBoxW(HostItem(id)).GetLBText(0, &first);
    EXPECT_EQ(L"D:\\older", first);
  }
  EXPECT_EQ(L"D:\\older", WindowText(folder1));
  EXPECT_EQ(L"C:\\out\\medium", WindowText(HostItem(IDC_FOLDER2)));
  EXPECT_EQ(L"E:\\typed but not chosen", WindowText(HostItem(IDC_FOLDER3)));

  // The list closing without a new choice while an item is selected reports code 10
  // (CBN_SELENDCANCEL), not the code 1 of a choice.
  HWND folder2 = HostItem(IDC_FOLDER2);
  CMessageRecorder recorder(folder2, {WM_APP});
  SendMessageW(folder2, CB_SETCURSEL, 1, 0);
  SendMessageW(m_host->GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_FOLDER2, CBN_SELENDCANCEL),
               reinterpret_cast<LPARAM>(folder2));
  EXPECT_EQ(kQueueDrained, RunQueued());
  ASSERT_EQ(1u, recorder.Count(WM_APP));
  EXPECT_EQ(static_cast<WPARAM>(CBN_SELENDCANCEL), recorder.Seen()[0].wParam);
  EXPECT_EQ(2, m_host->FolderChanges());
  EXPECT_EQ(GetSettings().FolderHistory[0], Profile(1).Folder);

  Choose(IDC_PREFIX3, 2);
  EXPECT_EQ(1, m_host->PrefixChanges());
  EXPECT_EQ(Profile(2).Prefix, GetSettings().PrefixHistory[0]);
}

TEST_F(PanelControlsTest, DroppedListIsAtLeastAsWideAsTheLongestEntry) {
  GetSettings().FolderHistory.Add(
      L"C:\\a folder with a name much longer than the field that shows it\\and deeper still");
  ASSERT_NE(nullptr, OpenHost());
  HWND folder = HostItem(IDC_FOLDER1);
  RECT client;
  GetClientRect(folder, &client);
  const LRESULT dropped = SendMessageW(folder, CB_GETDROPPEDWIDTH, 0, 0);
  EXPECT_GT(dropped, client.right);
}

}  // namespace
