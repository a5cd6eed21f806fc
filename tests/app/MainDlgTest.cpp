// The main dialog's behaviour: closing, the keyboard (accelerators, Enter, Escape), the settings
// saved at close and a failed save, the idle and running states, the about box, the reflection
// of control notifications, and the system menu's Send To item.
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "app/GuiSupport.h"
#include "app/SendToShortcut.h"
#include "base/ComPtr.h"
#include "base/FilePaths.h"
#include "base/ResourceText.h"
#include "res/ResourceIds.h"
#include "res/StringIds.h"
#include "res/Version.h"

namespace {

class MainDlgTest : public DialogTest {
protected:
  // Makes the settings key refuse to store anything: the key is volatile, and a volatile key
  // cannot hold the non-volatile keys that a save creates below it.
  void MakeSettingsUnsaveable();
};

void MainDlgTest::MakeSettingsUnsaveable() {
  ClearStoredSettings();
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, kSettingKey, 0, nullptr,
                                           REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                                           nullptr));
  RegCloseKey(key);
}

bool SettingsSaved() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, (std::wstring(kSettingKey) + L"\\Window").c_str(), 0,
                    KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  DWORD left = 0, size = sizeof left;
  LONG status = RegQueryValueExW(key, L"Left", nullptr, nullptr, reinterpret_cast<BYTE*>(&left), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

TEST_F(MainDlgTest, EscapeCloseBoxAndAltF4EndTheLoopWithTwoAndSaveTheSettings) {
  enum class How { Escape, CloseBox, AltF4 };
  for (How how : {How::Escape, How::CloseBox, How::AltF4}) {
    SCOPED_TRACE(static_cast<int>(how));
    ClearStoredSettings();
    HWND dialog = OpenDialog();
    ASSERT_NE(nullptr, dialog);
    HWND focus = Item(IDC_USE1);
    SetFocus(focus);
    switch (how) {
      case How::Escape: PostKey(focus, VK_ESCAPE); break;
      case How::CloseBox: PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); break;
      case How::AltF4: {
        CHeldKeys alt({VK_MENU});
        PostKey(focus, VK_F4, true);
        break;
      }
    }
    EXPECT_EQ(2, RunUntilQuit());
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(SettingsSaved());
  }
}

// A user's own stored settings, as a developer's machine holds them while the dialog tests run
// (set aside around the test, so that the prefix's own key is what it was afterwards).
class UsersOwnSettingsTest : public DialogTest {
protected:
  void SetUp() override {
    ASSERT_TRUE(m_aside.IsSetAside());
    CKeyHandle key;
    ASSERT_TRUE(OpenForWrite(HKEY_CURRENT_USER, std::wstring(kSettingKey) + L"\\Window", &key));
    ASSERT_TRUE(WriteDword(key.Get(), L"Left", 4321));
    m_before = KeyTreeText(HKEY_CURRENT_USER, kProductKey);
    DialogTest::SetUp();
  }
  void TearDown() override {
    DialogTest::TearDown();
    EXPECT_EQ(m_before, KeyTreeText(HKEY_CURRENT_USER, kProductKey));
  }

  CSetAsideKey m_aside{kProductKey};
  std::string m_before;
};

TEST_F(UsersOwnSettingsTest, AreNeitherSeenNorChangedNorDeletedByADialogTest) {
  EXPECT_FALSE(SettingsSaved());
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  PostKey(Item(IDC_USE1), VK_ESCAPE);
  EXPECT_EQ(2, RunUntilQuit());
  EXPECT_TRUE(SettingsSaved());  // in the test's own key
}

TEST_F(MainDlgTest, FailedSaveAtCloseIsReportedOnceWhileTheWindowExists) {
  MakeSettingsUnsaveable();
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  CBoxWatcher watcher(dialog, [](HWND box) { PressButton(box, IDOK); });
  PostKey(Item(IDC_USE1), VK_ESCAPE);
  EXPECT_EQ(2, RunUntilQuit());
  ASSERT_EQ(1u, watcher.Boxes().size());
  const SeenBox& box = watcher.Boxes()[0];
  EXPECT_EQ(L"エラー", box.caption);
  EXPECT_EQ(L"設定の保存に失敗しました", box.text);
  EXPECT_EQ(dialog, box.owner);
  EXPECT_TRUE(box.ownerAlive);
  EXPECT_FALSE(IsWindow(dialog));
}

TEST_F(MainDlgTest, EnterDoesNothingWhileIdleAndPressesCancelWhileRunning) {
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  // Commands that Enter could produce: the default button's, or OK's when there is none.
  CMessageRecorder commands(dialog, {WM_COMMAND});
  auto enterCommands = [&commands] {
    std::vector<WORD> ids;
    for (const auto& entry : commands.Seen()) {
      if (LOWORD(entry.wParam) == IDC_CANCEL_JOB || LOWORD(entry.wParam) == IDOK) {
        ids.push_back(LOWORD(entry.wParam));
      }
    }
    return ids;
  };
  CBoxWatcher watcher(dialog, [](HWND box) { PressButton(box, IDOK); });
  for (int id : {IDC_USE1, IDC_METHOD1}) {
    SetFocus(Item(id));
    PostKey(GetFocus(), VK_RETURN);
    EXPECT_EQ(kQueueDrained, RunQueued());
  }
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_TRUE(enterCommands().empty());
  EXPECT_TRUE(watcher.Boxes().empty());

  m_dialog->SetRunning(true);
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_CANCEL_JOB)));
  EXPECT_FALSE(IsWindowEnabled(Item(ID_APP_ABOUT)));
  SetFocus(Item(IDC_USE1));
  PostKey(Item(IDC_USE1), VK_RETURN);
  EXPECT_EQ(kQueueDrained, RunQueued());
  EXPECT_EQ(std::vector<WORD>{IDC_CANCEL_JOB}, enterCommands());

  m_dialog->SetRunning(false);
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_CANCEL_JOB)));
  EXPECT_TRUE(IsWindowEnabled(Item(ID_APP_ABOUT)));
}

TEST_F(MainDlgTest, CtrlASelectsAndCtrlDDeselectsInAComboEditField) {
  ASSERT_NE(nullptr, OpenDialog());
  HWND edit = ComboEdit(IDC_FOLDER1);
  ASSERT_NE(nullptr, edit);
  SetWindowTextW(edit, L"C:\\Pictures\\small");
  SetFocus(edit);
  SendMessageW(edit, EM_SETSEL, 3, 5);
  {
    CHeldKeys control({VK_CONTROL});
    PostKey(edit, 'A');
    EXPECT_EQ(kQueueDrained, RunQueued());
  }
  DWORD start = 0, end = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(0u, start);
  EXPECT_EQ(17u, end);
  {
    CHeldKeys control({VK_CONTROL});
    PostKey(edit, 'D');
    EXPECT_EQ(kQueueDrained, RunQueued());
  }
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(start, end);
  EXPECT_EQ(L"C:\\Pictures\\small", WindowText(edit));
}

TEST_F(MainDlgTest, EditKeysDoNothingOutsideAnEditField) {
  ASSERT_NE(nullptr, OpenDialog());
  HWND edit = ComboEdit(IDC_PREFIX1);
  SetWindowTextW(edit, L"thumb_");
  SendMessageW(edit, EM_SETSEL, 1, 3);
  SetFocus(Item(IDC_USE1));
  const UINT checked = IsDlgButtonChecked(m_dialog->GetHwnd(), IDC_USE1);
  for (UINT key : {'A', 'D', 'X', 'V'}) {
    CHeldKeys control({VK_CONTROL});
    PostKey(Item(IDC_USE1), key);
    EXPECT_EQ(kQueueDrained, RunQueued());
  }
  DWORD start = 0, end = 0;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  EXPECT_EQ(1u, start);
  EXPECT_EQ(3u, end);
  EXPECT_EQ(L"thumb_", WindowText(edit));
  EXPECT_EQ(checked, IsDlgButtonChecked(m_dialog->GetHwnd(), IDC_USE1));
}

TEST_F(MainDlgTest, CopyPasteCutAndUndoKeysReachTheFocusedField) {
  ASSERT_NE(nullptr, OpenDialog());
  HWND folder = ComboEdit(IDC_FOLDER2);
  HWND prefix = ComboEdit(IDC_PREFIX2);
  SetWindowTextW(folder, L"D:\\out");
  SetWindowTextW(prefix, L"m_");
  auto press = [this](HWND target, std::vector<UINT> modifiers, UINT key) {
    CHeldKeys held(modifiers);
    PostKey(target, key, modifiers.size() == 1 && modifiers[0] == VK_MENU);
    EXPECT_EQ(kQueueDrained, RunQueued());
  };
  SetFocus(folder);
  press(folder, {VK_CONTROL}, 'A');
  press(folder, {VK_CONTROL}, 'C');
  SetFocus(prefix);
  press(prefix, {VK_CONTROL}, 'A');
  press(prefix, {VK_SHIFT}, VK_INSERT);
  EXPECT_EQ(L"D:\\out", WindowText(prefix));
  press(prefix, {VK_CONTROL}, 'Z');
  EXPECT_EQ(L"m_", WindowText(prefix));
  press(prefix, {VK_CONTROL}, 'A');
  press(prefix, {VK_SHIFT}, VK_DELETE);
  EXPECT_EQ(L"", WindowText(prefix));
  press(prefix, {VK_MENU}, VK_BACK);
  EXPECT_EQ(L"m_", WindowText(prefix));
}

TEST_F(MainDlgTest, AboutBoxOpensOverTheDialogAndClosesEveryWay) {
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  ASSERT_EQ(dialog, GetActiveWindow());
  enum class How { Escape, Enter, CloseBox };
  for (How how : {How::Escape, How::Enter, How::CloseBox}) {
    SCOPED_TRACE(static_cast<int>(how));
    bool disabledOwner = false;
    bool centred = false;
    CBoxWatcher watcher(dialog, [&](HWND box) {
      disabledOwner = !IsWindowEnabled(dialog);
      RECT main, about;
      GetWindowRect(dialog, &main);
      GetWindowRect(box, &about);
      centred = (main.left + main.right) / 2 - (about.right - about.left) / 2 == about.left;
      switch (how) {
        case How::Escape: PostKey(GetDlgItem(box, IDOK), VK_ESCAPE); break;
        case How::Enter: PostKey(GetDlgItem(box, IDOK), VK_RETURN); break;
        case How::CloseBox: PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0); break;
      }
    });
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Item(ID_APP_ABOUT)));
    ASSERT_EQ(1u, watcher.Boxes().size());
    EXPECT_EQ(L"バージョン情報", watcher.Boxes()[0].caption);
    EXPECT_EQ(dialog, watcher.Boxes()[0].owner);
    EXPECT_TRUE(disabledOwner);
    EXPECT_TRUE(centred);
    EXPECT_FALSE(IsWindow(watcher.Boxes()[0].window));
    EXPECT_TRUE(IsWindowEnabled(dialog));
  }
}

TEST_F(MainDlgTest, AboutBoxShowsTheVersionAndItsLinksAreBlueUnderlinedWithTheHand) {
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  std::wstring address, about, notices;
  bool noticesUnderlined = false, noticesBlue = false, handOverNotices = false;
  bool underlined = false;
  COLORREF linkColor = 0, textColor = 0;
  HBRUSH linkBrush = nullptr;
  bool handOverLink = false, arrowElsewhere = false;
  CBoxWatcher watcher(dialog, [&](HWND box) {
    HWND link = GetDlgItem(box, IDC_HOME_LINK);
    address = WindowText(link);
    about = WindowText(GetDlgItem(box, IDC_ABOUT_TEXT));
    HWND noticesLink = GetDlgItem(box, IDC_NOTICES_LINK);
    notices = WindowText(noticesLink);
    LOGFONTW noticesFont = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(noticesLink, WM_GETFONT, 0, 0)), sizeof noticesFont,
               &noticesFont);
    noticesUnderlined = noticesFont.lfUnderline != 0;
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(link, WM_GETFONT, 0, 0)), sizeof font, &font);
    underlined = font.lfUnderline != 0;
    HDC dc = CreateCompatibleDC(nullptr);
    linkBrush = reinterpret_cast<HBRUSH>(
        SendMessageW(box, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(link)));
    linkColor = GetTextColor(dc);
    SendMessageW(box, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(noticesLink));
    noticesBlue = GetTextColor(dc) == RGB(0, 0, 255);
    HWND other = GetWindow(link, GW_HWNDPREV);
    SendMessageW(box, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(other));
    textColor = GetTextColor(dc);
    DeleteDC(dc);
    const LPARAM hit = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
    handOverLink = SendMessageW(box, WM_SETCURSOR, reinterpret_cast<WPARAM>(link), hit) != 0 &&
                   GetCursor() == LoadCursorW(nullptr, IDC_HAND);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    handOverNotices = SendMessageW(box, WM_SETCURSOR, reinterpret_cast<WPARAM>(noticesLink), hit) != 0 &&
                      GetCursor() == LoadCursorW(nullptr, IDC_HAND);
    SendMessageW(box, WM_SETCURSOR, reinterpret_cast<WPARAM>(GetDlgItem(box, IDOK)), hit);
    arrowElsewhere = GetCursor() == LoadCursorW(nullptr, IDC_ARROW);
    PressButton(box, IDOK);
  });
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, BN_CLICKED),
               reinterpret_cast<LPARAM>(Item(ID_APP_ABOUT)));
  ASSERT_EQ(1u, watcher.Boxes().size());
  EXPECT_EQ(0u, address.find(L"https://"));
  EXPECT_TRUE(underlined);
  EXPECT_EQ(RGB(0, 0, 255), linkColor);
  EXPECT_EQ(GetSysColor(COLOR_BTNTEXT), textColor);
  EXPECT_EQ(GetSysColorBrush(COLOR_BTNFACE), linkBrush);
  EXPECT_TRUE(handOverLink);
  EXPECT_TRUE(arrowElsewhere);
  // Filled in at run time from the project's version, not typed into the dialog template.
  EXPECT_EQ(0u, about.find(L"Kestrelle バージョン " KESTRELLE_VERSION_TEXT L" (")) << about;
  EXPECT_NE(std::wstring::npos, about.find(L"" KESTRELLE_COPYRIGHT)) << about;
  EXPECT_EQ(L"" KESTRELLE_NOTICES_FILE, notices);
  EXPECT_TRUE(noticesUnderlined);
  EXPECT_TRUE(noticesBlue);
  EXPECT_TRUE(handOverNotices);
}

TEST_F(MainDlgTest, ControlNotificationsAreReflectedToTheirControl) {
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  HWND check = Item(IDC_USE2);
  HWND status = Item(IDC_STATUS);
  CMessageRecorder checkSeen(check, {0x2000 + WM_COMMAND});
  CMessageRecorder statusSeen(status, {0x2000 + WM_CTLCOLORSTATIC});
  SendMessageW(check, BM_CLICK, 0, 0);
  ASSERT_EQ(1u, checkSeen.Count(0x2000 + WM_COMMAND));
  EXPECT_EQ(MAKEWPARAM(IDC_USE2, BN_CLICKED), checkSeen.Seen()[0].wParam);
  EXPECT_EQ(reinterpret_cast<LPARAM>(check), checkSeen.Seen()[0].lParam);

  HDC dc = GetDC(dialog);
  SendMessageW(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(status));
  ReleaseDC(dialog, dc);
  EXPECT_EQ(1u, statusSeen.Count(0x2000 + WM_CTLCOLORSTATIC));

  // A command without a control (menu, accelerator) has nobody to go back to.
  CMessageRecorder dialogSeen(dialog, {0x2000 + WM_COMMAND});
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0), 0);
  EXPECT_EQ(0u, dialogSeen.Count(0x2000 + WM_COMMAND));
  EXPECT_TRUE(IsWindow(dialog));
}

}  // namespace

namespace {

// The system menu's item as the menu shows it when it opens.
std::wstring SendToItemText(HWND dialog) {
  HMENU menu = GetSystemMenu(dialog, FALSE);
  SendMessageW(dialog, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(menu), MAKELPARAM(0, TRUE));
  wchar_t text[128] = {};
  GetMenuStringW(menu, ID_SENDTO_MENU, text, 128, MF_BYCOMMAND);
  return text;
}

std::wstring ShortcutTarget(const std::wstring& shortcut) {
  CComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(link.Receive())))) {
    return L"no link object";
  }
  CComPtr<IPersistFile> file;
  link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Receive()));
  if (!file || FAILED(file->Load(shortcut.c_str(), STGM_READ))) return L"unreadable";
  wchar_t target[MAX_PATH] = {};
  if (FAILED(link->GetPath(target, MAX_PATH, nullptr, 0))) return L"no target";
  return target;
}

}  // namespace

TEST_F(MainDlgTest, SystemMenuItemAddsTheSendToShortcutToTheProgramAndRemovesIt) {
  const bool com = SUCCEEDED(CoInitialize(nullptr));
  HWND dialog = OpenDialog();
  ASSERT_TRUE(dialog);
  const std::wstring shortcut = SendToShortcutPath();
  ASSERT_FALSE(shortcut.empty());
  ASSERT_FALSE(PathExists(shortcut)) << "the test prefix holds no shortcut of its own";
  const std::wstring add = ResourceString(IDS_MENU_SENDTO_ADD);
  const std::wstring remove = ResourceString(IDS_MENU_SENDTO_REMOVE);
  EXPECT_EQ(L"送るメニューに追加", add);
  EXPECT_EQ(L"送るメニューから削除", remove);

  EXPECT_EQ(add, SendToItemText(dialog));
  PostMessageW(dialog, WM_SYSCOMMAND, ID_SENDTO_MENU, 0);
  RunQueued();
  ASSERT_TRUE(PathExists(shortcut));
  EXPECT_EQ(L"Kestrelle.lnk", shortcut.substr(shortcut.find_last_of(L'\\') + 1));
  EXPECT_EQ(ComparablePath(ProgramFile()), ComparablePath(ShortcutTarget(shortcut)));
  EXPECT_EQ(remove, SendToItemText(dialog));
  // Removed from outside the program: the menu says so the next time it opens.
  ASSERT_TRUE(DeleteFileW(shortcut.c_str()));
  EXPECT_EQ(add, SendToItemText(dialog));
  PostMessageW(dialog, WM_SYSCOMMAND, ID_SENDTO_MENU, 0);
  RunQueued();
  ASSERT_TRUE(PathExists(shortcut));
  PostMessageW(dialog, WM_SYSCOMMAND, ID_SENDTO_MENU, 0);
  RunQueued();
  EXPECT_FALSE(PathExists(shortcut));
  EXPECT_EQ(add, SendToItemText(dialog));

  // Something the program cannot remove in the shortcut's place: the failure is told, with the
  // path, and the thing stays.
  ASSERT_TRUE(CreateDirectoryW(shortcut.c_str(), nullptr));
  {
    CBoxWatcher watcher(dialog, [](HWND box) { PressButton(box, IDOK); });
    PostMessageW(dialog, WM_SYSCOMMAND, ID_SENDTO_MENU, 0);
    RunQueued();
    ASSERT_EQ(1u, watcher.Boxes().size());
    EXPECT_EQ(ResourceString(IDS_CAPTION_ERROR), watcher.Boxes()[0].caption);
    const std::wstring& text = watcher.Boxes()[0].text;
    EXPECT_EQ(0u, text.find(L"送るメニューからショートカットを削除できませんでした")) << text.size();
    EXPECT_NE(std::wstring::npos, text.find(shortcut));
  }
  EXPECT_TRUE(IsExistingFolder(shortcut));
  RemoveDirectoryW(shortcut.c_str());
  if (com) CoUninitialize();
}
