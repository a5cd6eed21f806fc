// A drop on the dialog runs a job: the checks before it starts, the overwrite question, progress
// and the three ways a job ends, with the real dialog, real files and the real worker.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "gui/GuiSupport.h"
#include "image/ImageSaver.h"
#include "image/LoadDib.h"
#include "job/Messages.h"
#include "res/StringIds.h"
#include "settings/Settings.h"
#include "support/Pictures.h"
#include "support/TempDir.h"

namespace {

class JobTest : public DialogTest {
protected:
  // Profiles 1 and 3 write PNG and JPEG into two folders; profile 2 is off.
  void SetProfiles() {
    std::vector<ShrinkProfile>& profiles = GetSettings().Profiles;
    for (int i = 0; i < 3; ++i) {
      profiles[i] = ShrinkProfile();
      profiles[i].Folder = m_temp / (L"out" + std::to_wstring(i + 1));
      profiles[i].Prefix = L"p" + std::to_wstring(i + 1) + L"_";
      profiles[i].ShrinkType = 2;
      profiles[i].ShrinkWidth = profiles[i].ShrinkHeight = 160;
    }
    profiles[1].Use = false;
    profiles[2].SaveFormat.Type = 1;
  }

  std::wstring Source(const wchar_t* name, int width = 320, int height = 240) {
    std::wstring path = m_temp / name;
    EXPECT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(width, height), path));
    return path;
  }

  // Drops the paths as the drop target hands them over, then runs the dialog until `done`.
  bool DropAndRun(const std::vector<std::wstring>& paths, const std::function<bool()>& done) {
    CFileListPtr files(new CFileList);
    for (const std::wstring& path : paths) files->Add(path);
    m_dialog->SetDroppedFiles(files, POINT{0, 0});
    PostMessageW(m_dialog->GetHwnd(), WM_APP, 0, 0);
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 30000) {
      Pump();
      if (done()) return true;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 200, QS_ALLINPUT);
    }
    return false;
  }

  // Handles what is queued, the job's timer ticks included (a posted quit would come before
  // them, so the loop's own run cannot be used here).
  void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (m_dialog->PreTranslateMessage(&message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

  std::wstring Status() { return WindowText(Item(IDC_STATUS)); }

  static std::wstring Text(unsigned id) {
    std::wstring text;
    LoadResourceString(&text, id);
    return text;
  }

  CTempDir m_temp;
};

}  // namespace

TEST_F(JobTest, DroppedFilesAreShrunkByEveryEnabledProfile) {
  SetProfiles();
  std::vector<std::wstring> sources = {Source(L"a.png"), Source(L"b.png", 200, 400), Source(L"c.png")};
  ASSERT_TRUE(OpenDialog());
  std::wstring finished;
  FormatResourceString(&finished, IDS_STATUS_FINISHED, 3);
  ASSERT_TRUE(DropAndRun(sources, [&] { return Status() == finished; })) << Status().size();
  for (const wchar_t* name : {L"a", L"b", L"c"}) {
    CDibPtr png, jpeg;
    ASSERT_EQ(S_OK, LoadDib(m_temp / (std::wstring(L"out1\\p1_") + name + L".png"), &png));
    ASSERT_EQ(S_OK, LoadDib(m_temp / (std::wstring(L"out3\\p3_") + name + L".jpg"), &jpeg));
    EXPECT_EQ(160, std::max(png->Width(), png->Height()));
    EXPECT_EQ(png->Width(), jpeg->Width());
  }
  EXPECT_FALSE(FileExists(m_temp / L"out2"));
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_CANCEL_JOB)));
  EXPECT_TRUE(IsWindowEnabled(Item(ID_APP_ABOUT)));
  EXPECT_EQ(3, SendMessageW(Item(IDC_PROGRESS), PBM_GETPOS, 0, 0));
}

TEST_F(JobTest, ExistingOutputsAreKeptOnNoAndReplacedOnYes) {
  SetProfiles();
  std::wstring source = Source(L"a.png");
  ASSERT_TRUE(CreateDirectoryW((m_temp / L"out1").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(m_temp / L"out1\\p1_a.png", "old"));
  ASSERT_TRUE(OpenDialog());
  std::wstring finished;
  FormatResourceString(&finished, IDS_STATUS_FINISHED, 1);
  {
    CBoxWatcher no(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDNO); });
    DropAndRun({source}, [&] { return !no.Boxes().empty(); });
    Pump();
    ASSERT_EQ(1u, no.Boxes().size());
    EXPECT_EQ(Text(IDS_CAPTION_CONFIRM), no.Boxes()[0].caption);
    std::wstring question;
    FormatResourceString(&question, IDS_ASK_OVERWRITE, 1, (m_temp / L"out1\\p1_a.png\n").c_str());
    EXPECT_EQ(question, no.Boxes()[0].text);
  }
  EXPECT_EQ("old", ReadBytes(m_temp / L"out1\\p1_a.png"));
  EXPECT_FALSE(FileExists(m_temp / L"out3"));
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_CANCEL_JOB)));

  CBoxWatcher yes(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDYES); });
  ASSERT_TRUE(DropAndRun({source}, [&] { return Status() == finished; }));
  CDibPtr written;
  EXPECT_EQ(S_OK, LoadDib(m_temp / L"out1\\p1_a.png", &written));
}

TEST_F(JobTest, FirstFailedFileStopsTheJobWithItsMessage) {
  SetProfiles();
  std::wstring broken = m_temp / L"broken.png";
  ASSERT_TRUE(WriteBytes(broken, "\x89PNG\r\n\x1a\nbroken"));
  ASSERT_TRUE(OpenDialog());
  CBoxWatcher watcher(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDOK); });
  ASSERT_TRUE(DropAndRun({broken, Source(L"later.png")}, [&] { return !watcher.Boxes().empty(); }));
  Pump();
  EXPECT_EQ(Text(IDS_CAPTION_ERROR), watcher.Boxes()[0].caption);
  std::wstring expected;
  FormatResourceString(&expected, IDS_MSG_LOAD_FAILED, HResultText(E_NOTIMPL).c_str());
  EXPECT_EQ(expected + L"\n\n" + broken, watcher.Boxes()[0].text);
  EXPECT_EQ(Text(IDS_STATUS_ABORTED), Status());
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_CANCEL_JOB)));
}

TEST_F(JobTest, StartIsRefusedForAMissingFile) {
  SetProfiles();
  ASSERT_TRUE(OpenDialog());
  std::wstring initial = Status();
  {
    CBoxWatcher watcher(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDOK); });
    DropAndRun({Source(L"here.png"), m_temp / L"gone.png"}, [&] { return !watcher.Boxes().empty(); });
    Pump();
    ASSERT_EQ(1u, watcher.Boxes().size());
    std::wstring expected;
    FormatResourceString(&expected, IDS_MSG_FILE_NOT_FOUND, (m_temp / L"gone.png").c_str());
    EXPECT_EQ(expected, watcher.Boxes()[0].text);
  }
  EXPECT_FALSE(FileExists(m_temp / L"out1"));
  EXPECT_EQ(initial, Status());

}

TEST_F(JobTest, ProfilesWritingToTheSameNamesAreRefused) {
  SetProfiles();
  // Panel 3 writes where panel 1 does, its folder spelled in other letter case.
  std::vector<ShrinkProfile>& profiles = GetSettings().Profiles;
  profiles[2].Folder = profiles[0].Folder;
  for (wchar_t& c : profiles[2].Folder) c = static_cast<wchar_t>(towupper(c));
  profiles[2].Prefix = L"P1_";
  ASSERT_TRUE(OpenDialog());
  CBoxWatcher watcher(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDOK); });
  DropAndRun({Source(L"x.png")}, [&] { return !watcher.Boxes().empty(); });
  Pump();
  ASSERT_EQ(1u, watcher.Boxes().size());
  EXPECT_EQ(Text(IDS_MSG_PROFILE_CONFLICT), watcher.Boxes()[0].text);
  EXPECT_EQ(ComboEdit(IDC_FOLDER3), GetFocus());
  EXPECT_FALSE(FileExists(m_temp / L"out1"));
}
