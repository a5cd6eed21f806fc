// The profile panels: each shows its stored profile and writes edits back, refuses what it cannot
// take with a precise message and the focus on the field to fix, enables its controls for the
// idle and running states, takes a folder dropped on its folder field, and opens the folder
// chooser. The last group runs the panels inside the real main dialog.
#include <windows.h>

#include <set>
#include <string>

#include <shlobj.h>
#include <tlhelp32.h>

#include "panel/PanelHost.h"
#include "support/TempDir.h"

namespace {

// The processes this one has started that still run.
std::set<DWORD> RunningChildren() {
  std::set<DWORD> children;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return children;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID == GetCurrentProcessId()) children.insert(entry.th32ProcessID);
  }
  CloseHandle(snapshot);
  return children;
}

void EndProcess(DWORD id) {
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
  if (!process) return;
  TerminateProcess(process, 0);
  WaitForSingleObject(process, 30000);
  CloseHandle(process);
}

class ShrinkControllerTest : public PanelTest {
protected:
  // The boxes shown while `run` runs, each answered with OK.
  std::vector<SeenBox> BoxesDuring(const std::function<void()>& run) {
    CBoxWatcher watcher(m_host->GetHwnd(), [](HWND box) { PressButton(box, IDOK); });
    run();
    return watcher.Boxes();
  }
  bool HasFocus(int id) {
    HWND focus = GetFocus();
    return focus && (focus == HostItem(id) || IsChild(HostItem(id), focus));
  }
  POINT CentreOf(int id) {
    RECT rect;
    GetWindowRect(HostItem(id), &rect);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  }
  bool Enabled(int id) { return IsWindowEnabled(HostItem(id)) != FALSE; }
  bool Checked(int id) { return SendMessageW(HostItem(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void Click(int id) {
    SendMessageW(HostItem(id), BM_CLICK, 0, 0);
    EXPECT_EQ(kQueueDrained, RunQueued());
  }
};

TEST_F(ShrinkControllerTest, EachPanelShowsItsStoredProfile) {
  for (size_t i = 0; i < 3; ++i) {
    ShrinkProfile& profile = Profile(i);
    profile.Use = i != 1;
    profile.ShrinkType = 2;
    profile.ShrinkWidth = profile.ShrinkHeight = i == 0 ? 160 : 1280;
    profile.CustomWidth = 321 + static_cast<int32_t>(i);
    profile.CustomHeight = 654;
    profile.Folder = L"D:\\panel " + std::to_wstring(i + 1);
    profile.Prefix = L"p" + std::to_wstring(i + 1) + L"_";
    profile.SaveFormat.Type = i == 2 ? SaveFormat::Png : i == 1 ? SaveFormat::Webp : SaveFormat::Jpeg;
    profile.SaveFormat.JpegQuality = 42;
    profile.Transparent = i == 1;
    profile.BkColor = 0x2D496B;
    profile.MaxKilobytes = i == 0 ? 0 : 250;  // 0, no limit, shows as an empty field
    profile.KeepDate = i == 2;
  }
  ASSERT_NE(nullptr, OpenHost());
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const PanelControlIds& ids = kPanelControlIds[i];
    EXPECT_EQ(i != 1, Checked(ids.Use));
    EXPECT_EQ(i == 0 ? 2 : 17, SendMessageW(HostItem(ids.Method), CB_GETCURSEL, 0, 0));
    EXPECT_EQ(std::to_wstring(321 + i), WindowText(HostItem(ids.Width)));
    EXPECT_EQ(L"654", WindowText(HostItem(ids.Height)));
    EXPECT_EQ(L"D:\\panel " + std::to_wstring(i + 1), WindowText(HostItem(ids.Folder)));
    EXPECT_EQ(L"p" + std::to_wstring(i + 1) + L"_", WindowText(HostItem(ids.Prefix)));
    EXPECT_EQ(i == 2, Checked(ids.Png));
    EXPECT_EQ(i == 0, Checked(ids.Jpeg));
    EXPECT_EQ(i == 1, Checked(ids.Webp));
    EXPECT_EQ(L"42", WindowText(HostItem(ids.Quality)));
    EXPECT_EQ(i == 0 ? L"" : L"250", WindowText(HostItem(ids.MaxKilobytes)));
    EXPECT_EQ(i == 2, Checked(ids.KeepDate));
    EXPECT_EQ(i != 1, Checked(ids.Background));
    EXPECT_EQ(L"6B492D", WindowText(HostItem(ids.ColorText)));
    EXPECT_EQ(12, SendMessageW(HostItem(ids.ColorText), CB_GETCOUNT, 0, 0));
    EXPECT_EQ(static_cast<LRESULT>(GetSettings().PrefixHistory.Size()),
              SendMessageW(HostItem(ids.Prefix), CB_GETCOUNT, 0, 0));
  }
}

TEST_F(ShrinkControllerTest, EditsAreWrittenBackAndCollectReadsEveryField) {
  ASSERT_NE(nullptr, OpenHost());
  const PanelControlIds& ids = kPanelControlIds[1];
  Choose(ids.Method, 1);
  EXPECT_EQ(1, Profile(1).ShrinkType);
  EXPECT_EQ(0, Profile(1).ShrinkWidth);
  Type(ids.Width, L"12.5");
  EXPECT_EQ(12, Profile(1).CustomWidth);
  Click(ids.Jpeg);
  EXPECT_EQ(SaveFormat::Jpeg, Profile(1).SaveFormat.Type);
  Type(ids.Quality, L"150");
  EXPECT_EQ(150, Profile(1).SaveFormat.JpegQuality);
  Type(ids.Quality, L"\xFF19\xFF10");  // full-width digits
  EXPECT_EQ(90, Profile(1).SaveFormat.JpegQuality);
  Type(ids.Quality, L"\xFF17x5%");  // mixed with ASCII, the rest removed from the field
  EXPECT_EQ(L"\xFF17" L"5", WindowText(HostItem(ids.Quality)));
  EXPECT_EQ(75, Profile(1).SaveFormat.JpegQuality);
  Type(ids.Quality, L"99999999999");
  EXPECT_EQ(2147483647, Profile(1).SaveFormat.JpegQuality);
  Type(ids.Quality, L"-");
  EXPECT_EQ(L"", WindowText(HostItem(ids.Quality)));
  EXPECT_EQ(0, Profile(1).SaveFormat.JpegQuality);
  // The size limit keeps digits as the quality does; empty is no limit.
  Type(ids.MaxKilobytes, L"3k00");
  EXPECT_EQ(L"300", WindowText(HostItem(ids.MaxKilobytes)));
  EXPECT_EQ(300, Profile(1).MaxKilobytes);
  Type(ids.MaxKilobytes, L"");
  EXPECT_EQ(0, Profile(1).MaxKilobytes);
  Type(ids.MaxKilobytes, L"\xFF15\xFF10\xFF10");
  EXPECT_EQ(500, Profile(1).MaxKilobytes);
  Click(ids.Background);
  EXPECT_TRUE(Profile(1).Transparent);
  Click(ids.KeepDate);
  EXPECT_TRUE(Profile(1).KeepDate);
  Click(ids.Use);
  EXPECT_FALSE(Profile(1).Use);

  Type(ids.Folder, L"  F:\\collected  ");
  Type(ids.Prefix, L"c_");
  Type(ids.Height, L"+77");
  EXPECT_TRUE(m_host->Panel(1).Collect(true));
  EXPECT_EQ(L"F:\\collected", Profile(1).Folder);
  EXPECT_EQ(L"c_", Profile(1).Prefix);
  EXPECT_EQ(77, Profile(1).CustomHeight);
  // A disabled profile leaves the histories alone; an enabled one puts its texts first.
  EXPECT_NE(L"F:\\collected", GetSettings().FolderHistory[0]);
  Click(ids.Use);
  EXPECT_TRUE(m_host->Panel(1).Collect(true));
  EXPECT_EQ(L"F:\\collected", GetSettings().FolderHistory[0]);
  EXPECT_EQ(L"c_", GetSettings().PrefixHistory[0]);
}

TEST_F(ShrinkControllerTest, EveryRefusalNamesTheFieldAndFocusesIt) {
  for (size_t i = 0; i < 3; ++i) {
    Profile(i).ShrinkType = 1;  // the size fields enabled
    Profile(i).ShrinkWidth = Profile(i).ShrinkHeight = 0;
  }
  ASSERT_NE(nullptr, OpenHost());
  for (size_t i = 0; i < 3; ++i) {
    const PanelControlIds& ids = kPanelControlIds[i];
    CShrinkController& panel = m_host->Panel(i);
    struct Case {
      int field;
      std::wstring text;
      std::wstring message;
      bool everyPanel;  // the messages that name a field are checked in all three panels
    };
    const std::wstring width = std::to_wstring(ids.Width);
    const Case cases[] = {
        {ids.Width, L"abc", L"コンボボックスからの値の取得に失敗しました ID: " + width, true},
        {ids.Width, L"0", L"0 より大きい値を指定してください", false},
        {ids.Width, L"", L"0 より大きい値を指定してください", false},
        {ids.Width, L"-5", L"0 より大きい値を指定してください", false},
        {ids.Height, L"1e3",
         L"コンボボックスからの値の取得に失敗しました ID: " + std::to_wstring(ids.Height), false},
        {ids.Folder, L"   ", L"フォルダが空です ID: " + std::to_wstring(ids.Folder), true},
    };
    for (const Case& c : cases) {
      if (i > 0 && !c.everyPanel) continue;
      SCOPED_TRACE(std::to_wstring(i) + L" " + c.text);
      Type(ids.Width, L"100");
      Type(ids.Height, L"100");
      SelectOrSetText(HostItem(ids.Folder), L"C:\\out");
      Type(c.field, c.text);
      SetFocus(HostItem(ids.Use));
      const std::vector<SeenBox> boxes = BoxesDuring([&] { EXPECT_FALSE(panel.Collect(true)); });
      ASSERT_EQ(1u, boxes.size());
      EXPECT_EQ(L"エラー", boxes[0].caption);
      EXPECT_EQ(c.message, boxes[0].text);
      EXPECT_TRUE(HasFocus(c.field));
      // Silently the same answer, and the focus stays.
      SetFocus(HostItem(ids.Use));
      EXPECT_TRUE(BoxesDuring([&] { EXPECT_FALSE(panel.Collect(false)); }).empty());
      EXPECT_TRUE(HasFocus(ids.Use));
    }
  }
}

TEST_F(ShrinkControllerTest, DisabledFieldsAndPanelsAreCheckedToo) {
  // Panel 1: a size that is no number behind a method that does not use it.
  Profile(0).ShrinkType = Profile(0).ShrinkWidth = Profile(0).ShrinkHeight = 0;
  // Panel 2: switched off, with no folder.
  Profile(1).Use = false;
  Profile(1).Folder.clear();
  // Panel 3: a stored method that matches no entry.
  Profile(2).ShrinkType = 2;
  Profile(2).ShrinkWidth = Profile(2).ShrinkHeight = 250;
  Profile(2).Folder.clear();
  ASSERT_NE(nullptr, OpenHost());
  ASSERT_FALSE(Enabled(IDC_WIDTH1));
  Type(IDC_WIDTH1, L"x");
  EXPECT_EQ(CB_ERR, SendMessageW(HostItem(IDC_METHOD3), CB_GETCURSEL, 0, 0));
  const wchar_t* expected[] = {L"コンボボックスからの値の取得に失敗しました ID: 1033",
                               L"フォルダが空です ID: 1006", L"縮小方法が選択されていません"};
  for (size_t i = 0; i < 3; ++i) {
    const std::vector<SeenBox> boxes =
        BoxesDuring([&] { EXPECT_FALSE(m_host->Panel(i).Collect(true)); });
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(expected[i], boxes[0].text);
  }
  EXPECT_TRUE(HasFocus(IDC_METHOD3));
  // The steps before the failing one have been taken, the later ones not.
  EXPECT_TRUE(Profile(2).Folder.empty());
}

TEST_F(ShrinkControllerTest, EnableStatesFollowTheProfileAndTheJob) {
  Profile(0).ShrinkType = 2;
  Profile(0).SaveFormat.Type = SaveFormat::Png;
  Profile(0).Transparent = false;
  ASSERT_NE(nullptr, OpenHost());
  const PanelControlIds& ids = kPanelControlIds[0];
  const int all[] = {ids.Use,    ids.Method,  ids.Width,      ids.Height,     ids.Folder,
                     ids.Browse, ids.Prefix,  ids.Png,        ids.Jpeg,       ids.Webp, ids.Quality, ids.MaxKilobytes,
                     ids.Background, ids.ColorButton, ids.ColorText, ids.KeepDate, ids.OpenFolder};
  auto enabledSet = [&] {
    std::vector<int> on;
    for (int id : all) {
      if (Enabled(id)) on.push_back(id);
    }
    return on;
  };
  EXPECT_FALSE(Enabled(ids.Width));
  EXPECT_FALSE(Enabled(ids.Height));
  EXPECT_FALSE(Enabled(ids.Quality));
  EXPECT_TRUE(Enabled(ids.ColorButton));
  EXPECT_TRUE(Enabled(ids.ColorText));
  Choose(ids.Method, 1);
  Click(ids.Jpeg);
  EXPECT_EQ(std::vector<int>(std::begin(all), std::end(all)), enabledSet());
  Click(ids.Background);
  EXPECT_FALSE(Enabled(ids.ColorButton));
  EXPECT_FALSE(Enabled(ids.ColorText));

  m_host->Panel(0).UpdateEnabled(true);
  EXPECT_EQ(std::vector<int>{ids.OpenFolder}, enabledSet());
  m_host->Panel(0).UpdateEnabled(false);
  Click(ids.Use);
  EXPECT_EQ((std::vector<int>{ids.Use, ids.OpenFolder}), enabledSet());
  m_host->Panel(0).UpdateEnabled(true);
  EXPECT_EQ(std::vector<int>{ids.OpenFolder}, enabledSet());
}

TEST_F(ShrinkControllerTest, FormatButtonsChooseTheirRowsAndTheQualityFollowsTheRow) {
  // Every row of the output format table has its button, in the table's order.
  ASSERT_EQ(OutputFormatCount(), kPanelFormatCount);
  // A stored type that no row names shows as PNG, what it is saved as.
  Profile(0).SaveFormat.Type = 7;
  Profile(1).SaveFormat.Type = SaveFormat::Jpeg;
  ASSERT_NE(nullptr, OpenHost());
  const PanelControlIds& ids = kPanelControlIds[0];
  EXPECT_TRUE(Checked(ids.Png));
  EXPECT_FALSE(Checked(ids.Jpeg));
  EXPECT_FALSE(Enabled(ids.Quality));
  EXPECT_TRUE(Checked(kPanelControlIds[1].Jpeg));
  EXPECT_TRUE(Enabled(kPanelControlIds[1].Quality));
  EXPECT_EQ(7, Profile(0).SaveFormat.Type);  // kept until the buttons are read

  Click(ids.Png);
  EXPECT_EQ(SaveFormat::Png, Profile(0).SaveFormat.Type);
  Click(ids.Jpeg);
  EXPECT_EQ(SaveFormat::Jpeg, Profile(0).SaveFormat.Type);
  EXPECT_TRUE(Enabled(ids.Quality));
  Click(ids.Png);
  EXPECT_EQ(SaveFormat::Png, Profile(0).SaveFormat.Type);
  EXPECT_FALSE(Enabled(ids.Quality));
  for (size_t i = 0; i < kPanelFormatCount; ++i) {
    Click(ids.*kPanelFormatButtons[i]);
    EXPECT_EQ(OutputFormatAt(i).type, Profile(0).SaveFormat.Type) << i;
    EXPECT_EQ(OutputFormatAt(i).usesQuality, Enabled(ids.Quality)) << i;
  }
}

TEST_F(ShrinkControllerTest, AFolderDroppedOnAFolderFieldBecomesThatPanelsFolder) {
  CTempDir temp;
  ASSERT_TRUE(WriteBytes(temp / L"picture.png", "not really"));
  ASSERT_NE(nullptr, OpenHost());
  CFileList folder;
  folder.Add(temp.Path());
  // Elsewhere, the drop is not the panel's.
  EXPECT_FALSE(m_host->Panel(1).DropOnFolder(CentreOf(IDC_FOLDER1), folder));
  EXPECT_FALSE(m_host->Panel(1).DropOnFolder(CentreOf(IDC_PREFIX2), folder));

  EXPECT_TRUE(BoxesDuring([&] {
                EXPECT_TRUE(m_host->Panel(1).DropOnFolder(CentreOf(IDC_FOLDER2), folder));
              }).empty());
  EXPECT_EQ(temp.Path(), Profile(1).Folder);
  EXPECT_EQ(temp.Path(), WindowText(HostItem(IDC_FOLDER2)));
  EXPECT_TRUE(HasFocus(IDC_FOLDER2));
  EXPECT_EQ(temp.Path(), GetSettings().FolderHistory[0]);
  std::wstring first;
  CComboBoxW(HostItem(IDC_FOLDER3)).GetLBText(0, &first);
  EXPECT_EQ(temp.Path(), first);

  // A folder past the old length limit, dropped with a trailing dot: read as the file functions
  // read it, the folder without the dot (a name Explorer can open), not one of that name.
  const std::wstring deep = DeepFolder(temp.Path(), 280) + L"\\末尾";
  ASSERT_TRUE(MakeFolders(deep));
  CFileList deepFolder;
  deepFolder.Add(deep + L". ");
  EXPECT_TRUE(BoxesDuring([&] {
                EXPECT_TRUE(m_host->Panel(0).DropOnFolder(CentreOf(IDC_FOLDER1), deepFolder));
              }).empty());
  EXPECT_EQ(deep, Profile(0).Folder);
  EXPECT_EQ(deep, WindowText(HostItem(IDC_FOLDER1)));

  CFileList none, file, two;
  file.Add(temp / L"picture.png");
  two.Add(temp.Path());
  two.Add(temp / L"picture.png");
  const struct {
    const CFileList* paths;
    const wchar_t* message;
  } refused[] = {
      {&none, L"フォルダに、0個のファイルがドロップされました"},
      {&file, L"フォルダに、フォルダ以外の対象がドロップされました"},
      {&two, L"フォルダに、複数のファイルをドロップできません"},
  };
  for (const auto& drop : refused) {
    const std::vector<SeenBox> boxes = BoxesDuring(
        [&] { EXPECT_TRUE(m_host->Panel(2).DropOnFolder(CentreOf(IDC_FOLDER3), *drop.paths)); });
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(drop.message, boxes[0].text);
    EXPECT_EQ(L"C:\\out\\full", Profile(2).Folder);
  }

  // A disabled folder field takes no drop.
  Click(IDC_USE3);
  EXPECT_FALSE(m_host->Panel(2).DropOnFolder(CentreOf(IDC_FOLDER3), folder));
  EXPECT_FALSE(m_host->Panel(2).HitFolder(CentreOf(IDC_FOLDER3)));
  SetFocus(HostItem(IDC_USE1));
  EXPECT_TRUE(m_host->Panel(0).HitFolder(CentreOf(IDC_FOLDER1)));
  EXPECT_TRUE(HasFocus(IDC_FOLDER1));
}

TEST_F(ShrinkControllerTest, BrowseReportsAnEmptyFieldThenTakesTheChosenFolder) {
  CTempDir temp;
  const std::wstring recorded = temp / L"記録", other = temp / L"選択";
  ASSERT_TRUE(MakeFolders(recorded) && MakeFolders(other));
  Profile(0).Folder = recorded;
  ASSERT_NE(nullptr, OpenHost());
  Type(IDC_FOLDER1, L"");
  // `select` is chosen in the chooser as a click in its tree would; empty leaves its selection.
  auto browse = [&](int answer, const std::wstring& select) {
    bool titled = false;
    CBoxWatcher watcher(m_host->GetHwnd(), [&](HWND box) {
      // The message first (it has a text), then the chooser.
      if (!WindowText(GetDlgItem(box, 0xFFFF)).empty()) {
        PressButton(box, IDOK);
        return;
      }
      for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        titled |= WindowText(child) == L"ファイルを保存するフォルダを指定してください";
      }
      if (!select.empty()) {
        SendMessageW(box, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(select.c_str()));
      }
      PressButton(box, answer);
    });
    SendMessageW(m_host->GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_BROWSE1, BN_CLICKED),
                 reinterpret_cast<LPARAM>(HostItem(IDC_BROWSE1)));
    EXPECT_TRUE(titled);
    return watcher.Boxes();
  };
  std::vector<SeenBox> boxes = browse(IDCANCEL, other);
  ASSERT_EQ(2u, boxes.size());
  EXPECT_EQ(L"フォルダが空です ID: 1000", boxes[0].text);
  EXPECT_EQ(L"", WindowText(HostItem(IDC_FOLDER1)));
  EXPECT_EQ(recorded, Profile(0).Folder);
  EXPECT_EQ(0, m_host->FolderChanges());

  // The chooser opens at the recorded folder.
  boxes = browse(IDOK, L"");
  ASSERT_EQ(2u, boxes.size());
  EXPECT_EQ(recorded, WindowText(HostItem(IDC_FOLDER1)));
  EXPECT_EQ(recorded, Profile(0).Folder);
  EXPECT_EQ(1, m_host->FolderChanges());

  boxes = browse(IDOK, other);
  ASSERT_EQ(1u, boxes.size());
  EXPECT_EQ(other, WindowText(HostItem(IDC_FOLDER1)));
  EXPECT_EQ(other, Profile(0).Folder);
  EXPECT_EQ(other, GetSettings().FolderHistory[0]);
  EXPECT_EQ(recorded, GetSettings().FolderHistory[1]);
  // Told again (the field's selection losing the focus to the chooser may tell it once more).
  EXPECT_GE(m_host->FolderChanges(), 2);
}

TEST_F(ShrinkControllerTest, OpenFolderOpensAFolderOfAnyLengthAndNothingElse) {
  CTempDir temp;
  const std::wstring program = temp / L"tool.exe";
  ASSERT_TRUE(CopyFileW(L"C:\\windows\\system32\\notepad.exe", program.c_str(), FALSE));
  // Past the old length limit, and with a trailing dot that only the extended form keeps.
  const std::wstring deep = DeepFolder(temp.Path(), 280) + L"\\末尾.";
  ASSERT_TRUE(MakeFolders(deep));
  Profile(1).Use = false;  // the button works on a disabled panel too
  ASSERT_NE(nullptr, OpenHost());
  ASSERT_TRUE(Enabled(IDC_OPEN_FOLDER2));
  for (const std::wstring& target : {temp / L"not there", program, deep}) {
    SCOPED_TRACE(target);
    SelectOrSetText(HostItem(IDC_FOLDER2), target);
    const std::set<DWORD> before = RunningChildren();
    const std::vector<SeenBox> boxes = BoxesDuring([&] {
      SendMessageW(m_host->GetHwnd(), WM_COMMAND, MAKEWPARAM(IDC_OPEN_FOLDER2, BN_CLICKED),
                   reinterpret_cast<LPARAM>(HostItem(IDC_OPEN_FOLDER2)));
    });
    // The shell has started what shows the folder by the time it returns; it is ended here.
    std::vector<DWORD> started;
    for (DWORD child : RunningChildren()) {
      if (!before.count(child)) started.push_back(child);
    }
    for (DWORD child : started) EndProcess(child);
    if (target == deep) {
      EXPECT_TRUE(boxes.empty());
      EXPECT_EQ(1u, started.size());
    } else {
      ASSERT_EQ(1u, boxes.size());
      EXPECT_EQ(L"フォルダを開けませんでした", boxes[0].text);
      EXPECT_TRUE(started.empty());
    }
  }
  // Nothing was started from the copy: a running program would keep it from being deleted.
  EXPECT_TRUE(DeleteFileW(program.c_str()));
}

class MainDialogPanelsTest : public PanelTest {};

TEST_F(MainDialogPanelsTest, PanelsShowTheSettingsFollowTheJobAndShareTheirHistories) {
  Profile(2).Folder = L"G:\\third";
  Profile(1).Use = false;
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(L"G:\\third", WindowText(Item(IDC_FOLDER3)));
  EXPECT_EQ(L"m_", WindowText(Item(IDC_PREFIX2)));
  EXPECT_EQ(9, SendMessageW(Item(IDC_METHOD2), CB_GETCURSEL, 0, 0));
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_FOLDER2)));

  m_dialog->SetRunning(true);
  for (const PanelControlIds& ids : kPanelControlIds) {
    EXPECT_FALSE(IsWindowEnabled(Item(ids.Use)));
    EXPECT_FALSE(IsWindowEnabled(Item(ids.Folder)));
    EXPECT_TRUE(IsWindowEnabled(Item(ids.OpenFolder)));
  }
  m_dialog->SetRunning(false);
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_USE2)));
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_FOLDER3)));
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_FOLDER2)));

  // The oldest prefix chosen in panel 1 leads every panel's list.
  HWND prefix = Item(IDC_PREFIX1);
  const int last = static_cast<int>(SendMessageW(prefix, CB_GETCOUNT, 0, 0)) - 1;
  std::wstring chosen;
  CComboBoxW(prefix).GetLBText(last, &chosen);
  SendMessageW(prefix, CB_SETCURSEL, static_cast<WPARAM>(last), 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_PREFIX1, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(prefix));
  EXPECT_EQ(kQueueDrained, RunQueued());
  EXPECT_EQ(chosen, Profile(0).Prefix);
  for (int id : {IDC_PREFIX1, IDC_PREFIX2, IDC_PREFIX3}) {
    std::wstring first;
    CComboBoxW(Item(id)).GetLBText(0, &first);
    EXPECT_EQ(chosen, first);
  }
  EXPECT_EQ(L"m_", WindowText(Item(IDC_PREFIX2)));
}

}  // namespace
