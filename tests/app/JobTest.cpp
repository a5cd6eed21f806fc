// A drop on the dialog runs a job: the checks before it starts, the overwrite question, progress
// and the ways a job ends, with the real dialog, its registered drop target called with the
// platform's own data objects, real files and the real worker.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <stdexcept>

#include <gtest/gtest.h>

#include "app/drop/DropObjects.h"
#include "app/GuiSupport.h"
#include "app/InstanceHandOver.h"
#include "base/Handle.h"
#include "base/ResourceText.h"
#include "image/FileIo.h"
#include "image/encode/ImageSaver.h"
#include "image/decode/LoadDib.h"
#include "job/ShrinkTaskEx.h"
#include "res/StringIds.h"
#include "settings/Settings.h"
#include "win/AppMessages.h"
#include "support/HostileCorpus.h"
#include "support/ImageCalls.h"
#include "support/Pictures.h"
#include "support/ProcessCounters.h"
#include "support/TempDir.h"

namespace {

// Every text set on a control, in order.
class CTextRecorder {
public:
  explicit CTextRecorder(HWND window) : m_window(window) {
    SetWindowSubclass(m_window, Observe, 3, reinterpret_cast<DWORD_PTR>(this));
  }
  ~CTextRecorder() {
    if (IsWindow(m_window)) RemoveWindowSubclass(m_window, Observe, 3);
  }
  CTextRecorder(const CTextRecorder&) = delete;
  CTextRecorder& operator=(const CTextRecorder&) = delete;

  const std::vector<std::wstring>& Texts() const { return m_texts; }

private:
  static LRESULT CALLBACK Observe(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR, DWORD_PTR self) {
    if (message == WM_SETTEXT && lParam) {
      reinterpret_cast<CTextRecorder*>(self)->m_texts.push_back(
          reinterpret_cast<const wchar_t*>(lParam));
    }
    return DefSubclassProc(window, message, wParam, lParam);
  }
  HWND m_window;
  std::vector<std::wstring> m_texts;
};

POINT Centre(HWND window) {
  RECT area;
  GetWindowRect(window, &area);
  return POINT{(area.left + area.right) / 2, (area.top + area.bottom) / 2};
}

// The main dialog, with the wait for its worker's end that a test needs when it handles no tick.
class CWaitableDialog : public CMainDlg {
public:
  void WaitForWorkerEnd() {
    while (!WaitForFinished()) {
    }
  }
};

// The main dialog whose worker, after each file, waits until the test lets it go on or the job is
// told to stop (cancel or close): the job is still running whenever the test acts on it, however
// fast the machine and its helper threads are.
class CHeldDialog : public CMainDlg {
public:
  CHeldDialog() : m_letGo(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  // The worker may be waiting here: it goes on, and has ended, before this object goes.
  ~CHeldDialog() {
    LetGo();
    Close();
  }
  CHeldDialog(const CHeldDialog&) = delete;
  CHeldDialog& operator=(const CHeldDialog&) = delete;

  void LetGo() { SetEvent(m_letGo.Get()); }

  // Worker thread.
  void OnTaskFinished(const CShrinkTaskExPtr& task) override {
    while (WaitForSingleObject(m_letGo.Get(), 10) == WAIT_TIMEOUT && !IsStopping()) {
    }
    CMainDlg::OnTaskFinished(task);
  }

private:
  CHandle m_letGo;
};

std::wstring Finished(int count) {
  std::wstring text;
  FormatResourceString(&text, IDS_STATUS_FINISHED, count);
  return text;
}

class JobTest : public DialogTest {
protected:
  static void SetUpTestSuite() { s_ole = SUCCEEDED(OleInitialize(nullptr)); }
  static void TearDownTestSuite() {
    if (s_ole) OleUninitialize();
  }

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
  // A picture that keeps the worker busy for a good part of a second.
  std::wstring LargeSource(const wchar_t* name) { return Source(name, 2400, 1800); }

  // A drag of `data` entering the dialog and released at `point`, as the platform calls the
  // registered target.
  void DropOn(IDataObject* data, POINT point) {
    ASSERT_TRUE(data);
    ASSERT_TRUE(IsRegisteredDropTarget(m_dialog->GetHwnd()));
    CDropTargetBase* target = m_dialog->DropTarget();
    DWORD effect = DROPEFFECT_COPY;
    target->DragEnter(data, MK_LBUTTON, {point.x, point.y}, &effect);
    effect = DROPEFFECT_COPY;
    EXPECT_EQ(S_OK, target->Drop(data, 0, {point.x, point.y}, &effect));
  }
  // Where a drop starts a job: the status line, away from every folder field.
  POINT Away() const { return Centre(Item(IDC_STATUS)); }

  // The shell's data for files of the test folder, in order.
  CComPtr<IDataObject> ShellFiles(const std::vector<std::wstring>& names) {
    return FolderItemsData(m_temp.Path(), names);
  }
  // A file manager's plain list of paths.
  CComPtr<IDataObject> FileList(const std::vector<std::wstring>& paths) {
    return ClipboardData(m_dialog->GetHwnd(), CF_HDROP, FileListBlock(paths));
  }

  // Handles what is queued, the job's timer ticks included (a posted quit would come before
  // them, so the loop's own run cannot be used here), until `done` or the time limit. The limit
  // only ends a hung test: a loaded machine may take a minute to start a job of 70,000 files.
  bool RunUntil(const std::function<bool()>& done, DWORD limitMs = 180000) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < limitMs) {
      Pump();
      if (done()) return true;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return false;
  }
  void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        m_quitCode = static_cast<int>(message.wParam);
        continue;
      }
      if (m_dialog->PreTranslateMessage(&message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  bool Running() { return IsWindowEnabled(Item(IDC_CANCEL_JOB)) != FALSE; }
  // Running, its drop listed: the worker has started.
  bool JobStarted() { return Running() && Status() != ResourceString(IDS_STATUS_LISTING); }
  // Waits for the end of a drop's listing and handles that message alone: the job starts.
  void DispatchListingDone() {
    MSG listed;
    ASSERT_LT(0, GetMessageW(&listed, m_dialog->GetHwnd(), kListingDoneMessage, kListingDoneMessage));
    DispatchMessageW(&listed);
  }

  // Opens a dialog whose job holds after each file; see CHeldDialog.
  CHeldDialog* OpenHeldDialog() {
    auto dialog = std::make_shared<CHeldDialog>();
    return OpenDialog(dialog) ? dialog.get() : nullptr;
  }

  std::wstring Status() { return WindowText(Item(IDC_STATUS)); }

  static bool s_ole;
  CTempDir m_temp;
  int m_quitCode = -1;
};

bool JobTest::s_ole = false;

}  // namespace

TEST_F(JobTest, DroppedFilesAreShrunkByEveryEnabledProfileWithProgress) {
  SetProfiles();
  // Large enough for the job to last several ticks.
  const std::wstring first = Source(L"a.png", 3600, 2700);
  ASSERT_TRUE(CopyFileW(first.c_str(), (m_temp / L"b.png").c_str(), TRUE));
  ASSERT_TRUE(CopyFileW(first.c_str(), (m_temp / L"c.png").c_str(), TRUE));
  ASSERT_TRUE(OpenDialog());
  const std::wstring initial = Status();
  CTextRecorder status(Item(IDC_STATUS));
  DropOn(ShellFiles({L"a.png", L"b.png", L"c.png"}).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(3); })) << Status().size();

  for (const wchar_t* name : {L"a", L"b", L"c"}) {
    CDibPtr png, jpeg;
    ASSERT_EQ(S_OK, LoadDib(m_temp / (std::wstring(L"out1\\p1_") + name + L".png"), &png));
    ASSERT_EQ(S_OK, LoadDib(m_temp / (std::wstring(L"out3\\p3_") + name + L".jpg"), &jpeg));
    EXPECT_EQ(160, png->Width());
    EXPECT_EQ(120, png->Height());
    EXPECT_EQ(160, jpeg->Width());
  }
  EXPECT_FALSE(FileExists(m_temp / L"out2"));
  EXPECT_FALSE(Running());
  EXPECT_TRUE(IsWindowEnabled(Item(ID_APP_ABOUT)));
  PBRANGE range = {};
  SendMessageW(Item(IDC_PROGRESS), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
  EXPECT_EQ(3, range.iHigh);
  EXPECT_EQ(3, SendMessageW(Item(IDC_PROGRESS), PBM_GETPOS, 0, 0));

  // The drop was listed first (its folders, had there been any), and the status line went back
  // to what it showed before. While the job ran, it counted the files and its full stops cycled,
  // one more on each tick, from whatever the last job left. Files whose pictures helper threads
  // made ahead can pass within one tick, so a count may be skipped, but never go back.
  ASSERT_LE(2u, status.Texts().size());
  EXPECT_EQ(ResourceString(IDS_STATUS_LISTING), status.Texts()[0]);
  EXPECT_EQ(initial, status.Texts()[1]);
  int lastFile = 0;
  int lastDots = -1;
  for (const std::wstring& text : std::vector<std::wstring>(status.Texts().begin() + 2, status.Texts().end())) {
    if (text == Finished(3)) continue;
    int file = 0;
    for (int n = 1; n <= 3; ++n) {
      std::wstring progress;
      FormatResourceString(&progress, IDS_STATUS_PROGRESS, n, 3);
      if (text.compare(0, progress.size(), progress) == 0) file = n;
    }
    ASSERT_NE(0, file) << "unexpected status text";
    EXPECT_LE(lastFile, file);
    lastFile = file;
    std::wstring progress;
    FormatResourceString(&progress, IDS_STATUS_PROGRESS, file, 3);
    const std::wstring dots = text.substr(progress.size());
    EXPECT_EQ(std::wstring(dots.size(), L'.'), dots);
    const int count = static_cast<int>(dots.size());
    if (lastDots >= 0) {
      EXPECT_EQ((lastDots + 1) % 10, count);
    }
    lastDots = count;
  }
  EXPECT_EQ(Finished(3), status.Texts().back());
}

TEST_F(JobTest, ADroppedFolderIsListedAndItsPicturesWrittenInItsStructure) {
  SetProfiles();
  ASSERT_TRUE(MakeFolders(m_temp / L"旅行\\二日目"));
  Source(L"旅行\\海.png");
  Source(L"旅行\\二日目\\山.png");
  Source(L"単独.png");
  ASSERT_TRUE(WriteBytes(m_temp / L"旅行\\メモ.txt", "not a picture"));
  ASSERT_TRUE(OpenDialog());
  CTextRecorder status(Item(IDC_STATUS));
  DropOn(ShellFiles({L"旅行", L"単独.png"}).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(3); }));
  EXPECT_EQ(ResourceString(IDS_STATUS_LISTING), status.Texts().front());
  for (const wchar_t* output : {L"out1\\旅行\\p1_海.png", L"out1\\旅行\\二日目\\p1_山.png", L"out1\\p1_単独.png",
                                L"out3\\旅行\\p3_海.jpg", L"out3\\旅行\\二日目\\p3_山.jpg", L"out3\\p3_単独.jpg"}) {
    CDibPtr written;
    EXPECT_EQ(S_OK, LoadDib(m_temp / output, &written)) << output;
  }
  EXPECT_EQ(2, CountEntries(m_temp / L"out1\\旅行"));  // p1_海.png and 二日目
  EXPECT_FALSE(Running());

  // The same drop again: the outputs in the subfolders are asked about like any other.
  CBoxWatcher watcher(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDNO); });
  DropOn(ShellFiles({L"旅行"}).Get(), Away());
  RunUntil([&] { return !watcher.Boxes().empty(); });
  Pump();
  ASSERT_EQ(1u, watcher.Boxes().size());
  EXPECT_NE(std::wstring::npos, watcher.Boxes()[0].text.find(m_temp / L"out3\\旅行\\二日目\\p3_山.jpg\n"));
  EXPECT_FALSE(Running());
  EXPECT_EQ(Finished(3), Status());
}

TEST_F(JobTest, AFileListWithoutShellItemsRunsTheSameJob) {
  SetProfiles();
  const std::vector<std::wstring> sources = {Source(L"写真 1.png"), Source(L"b.png")};
  ASSERT_TRUE(OpenDialog());
  DropOn(FileList(sources).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(2); }));
  EXPECT_TRUE(FileExists(m_temp / L"out1\\p1_写真 1.png"));
  EXPECT_TRUE(FileExists(m_temp / L"out3\\p3_b.jpg"));
}

TEST_F(JobTest, TwelveExistingOutputsAreListedAndKeptOnNoOrReplacedOnYes) {
  SetProfiles();
  std::vector<std::wstring> names, outputs;
  ASSERT_TRUE(CreateDirectoryW((m_temp / L"out1").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((m_temp / L"out3").c_str(), nullptr));
  for (int i = 0; i < 6; ++i) {
    const std::wstring base = L"s" + std::to_wstring(i);
    names.push_back(base + L".png");
    Source(names.back().c_str(), 64, 48);
    outputs.push_back(m_temp / (L"out1\\p1_" + base + L".png"));
    outputs.push_back(m_temp / (L"out3\\p3_" + base + L".jpg"));
  }
  for (const std::wstring& output : outputs) ASSERT_TRUE(WriteBytes(output, "old"));
  ASSERT_TRUE(OpenDialog());
  const std::wstring initial = Status();
  {
    CBoxWatcher no(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDNO); });
    DropOn(ShellFiles(names).Get(), Away());
    ASSERT_TRUE(RunUntil([&] { return !no.Boxes().empty(); }));
    Pump();
    ASSERT_EQ(1u, no.Boxes().size());
    EXPECT_EQ(ResourceString(IDS_CAPTION_CONFIRM), no.Boxes()[0].caption);
    // Files in drop order, each with its profiles in order; ten of them, then "...".
    std::wstring listing;
    for (int i = 0; i < 5; ++i) listing += outputs[2 * i] + L"\n" + outputs[2 * i + 1] + L"\n";
    listing += L"...\n";
    std::wstring question;
    FormatResourceString(&question, IDS_ASK_OVERWRITE, 12, listing.c_str());
    EXPECT_EQ(question, no.Boxes()[0].text);
  }
  for (const std::wstring& output : outputs) EXPECT_EQ("old", ReadBytes(output));
  EXPECT_FALSE(Running());
  EXPECT_EQ(initial, Status());

  CBoxWatcher yes(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDYES); });
  DropOn(ShellFiles(names).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(6); }));
  EXPECT_EQ(1u, yes.Boxes().size());
  for (const std::wstring& output : outputs) {
    CDibPtr written;
    EXPECT_EQ(S_OK, LoadDib(output, &written));
  }
}

TEST_F(JobTest, AFailedFileStopsTheJobWithItsMessage) {
  SetProfiles();
  const std::wstring broken = m_temp / L"broken.png";
  ASSERT_TRUE(WriteBytes(broken, "\x89PNG\r\n\x1a\nbroken"));
  LargeSource(L"next.png");
  LargeSource(L"later.png");
  ASSERT_TRUE(OpenDialog());
  // The shell says it has made the window's taskbar button before the job and again while the
  // failure's box is open (as after a restart of the shell): the taskbar list is made anew each
  // time, with the error state shown behind the box, and the job ends as it would without.
  const UINT buttonCreated = RegisterWindowMessageW(L"TaskbarButtonCreated");
  ASSERT_NE(0u, buttonCreated);
  SendMessageW(m_dialog->GetHwnd(), buttonCreated, 0, 0);
  CBoxWatcher watcher(m_dialog->GetHwnd(), [&](HWND box) {
    SendMessageW(m_dialog->GetHwnd(), buttonCreated, 0, 0);
    PressButton(box, IDOK);
  });
  DropOn(ShellFiles({L"broken.png", L"next.png", L"later.png"}).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return !watcher.Boxes().empty(); }));
  Pump();
  EXPECT_EQ(ResourceString(IDS_CAPTION_ERROR), watcher.Boxes()[0].caption);
  std::wstring expected;
  FormatResourceString(&expected, IDS_MSG_LOAD_FAILED, ResourceString(IDS_MSG_PICTURE_UNREADABLE).c_str());
  EXPECT_EQ(expected + L"\n\n" + broken, watcher.Boxes()[0].text);
  EXPECT_EQ(ResourceString(IDS_STATUS_ABORTED), Status());
  EXPECT_FALSE(Running());
  // The worker stops at the failed file itself, however late the tick comes: nothing of a later
  // file is written.
  for (const wchar_t* output : {L"out1\\p1_next.png", L"out3\\p3_next.jpg", L"out1\\p1_later.png",
                                L"out3\\p3_later.jpg"}) {
    EXPECT_FALSE(FileExists(m_temp / output)) << output;
  }
  // The next job starts from a clear button and runs whole.
  DropOn(ShellFiles({L"next.png"}).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(1); })) << Status().size();
  EXPECT_TRUE(FileExists(m_temp / L"out1\\p1_next.png"));
  EXPECT_EQ(1u, watcher.Boxes().size());
}

TEST_F(JobTest, WebpASizeLimitAndTheDateChosenInThePanelRunAJobAndComeBackAtTheNextStart) {
  SetProfiles();
  Source(L"a.png", 1600, 1200);
  ShrinkProfile& first = GetSettings().Profiles[0];
  first.ShrinkType = first.ShrinkWidth = first.ShrinkHeight = 0;  // the size the limit brings it down from
  ASSERT_TRUE(OpenDialog());
  CBoxWatcher watcher(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDOK); });
  SendMessageW(Item(IDC_WEBP1), BM_CLICK, 0, 0);
  SendMessageW(Item(IDC_KEEP_DATE1), BM_CLICK, 0, 0);
  HWND limit = ComboEdit(IDC_MAX_KB1);
  ASSERT_NE(nullptr, limit);
  SendMessageW(limit, EM_SETSEL, 0, -1);
  SendMessageW(limit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"6"));
  EXPECT_EQ(kQueueDrained, RunQueued());
  DropOn(ShellFiles({L"a.png"}).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(1); })) << Status().size();
  EXPECT_TRUE(watcher.Boxes().empty());
  const std::string written = ReadBytes(m_temp / L"out1\\p1_a.webp");
  EXPECT_FALSE(written.empty());
  EXPECT_LE(written.size(), 6u * 1024);
  EXPECT_TRUE(FileExists(m_temp / L"out3\\p3_a.jpg"));  // no limit there
  // A source without a date taken: the output keeps the file's time.
  WIN32_FILE_ATTRIBUTE_DATA source = {}, output = {};
  ASSERT_TRUE(GetFileAttributesExW((m_temp / L"a.png").c_str(), GetFileExInfoStandard, &source));
  ASSERT_TRUE(GetFileAttributesExW((m_temp / L"out1\\p1_a.webp").c_str(), GetFileExInfoStandard, &output));
  EXPECT_EQ(0, CompareFileTime(&source.ftLastWriteTime, &output.ftLastWriteTime));

  // Closed and started again: the stored profile shows both choices.
  PostKey(Item(IDC_USE1), VK_ESCAPE);
  ASSERT_EQ(2, RunUntilQuit());
  GetSettings().Profiles[0] = ShrinkProfile();
  GetSettings().LoadSettings();
  EXPECT_EQ(SaveFormat::Webp, GetSettings().Profiles[0].SaveFormat.Type);
  EXPECT_EQ(6, GetSettings().Profiles[0].MaxKilobytes);
  EXPECT_TRUE(GetSettings().Profiles[0].KeepDate);
  EXPECT_FALSE(GetSettings().Profiles[2].KeepDate);
  ASSERT_TRUE(OpenDialog());
  EXPECT_EQ(BST_CHECKED, SendMessageW(Item(IDC_WEBP1), BM_GETCHECK, 0, 0));
  EXPECT_EQ(BST_UNCHECKED, SendMessageW(Item(IDC_PNG1), BM_GETCHECK, 0, 0));
  EXPECT_EQ(L"6", WindowText(Item(IDC_MAX_KB1)));
  EXPECT_EQ(BST_CHECKED, SendMessageW(Item(IDC_KEEP_DATE1), BM_GETCHECK, 0, 0));
  EXPECT_EQ(BST_UNCHECKED, SendMessageW(Item(IDC_KEEP_DATE3), BM_GETCHECK, 0, 0));
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_MAX_KB1)));
  EXPECT_EQ(L"", WindowText(Item(IDC_MAX_KB3)));
}

TEST_F(JobTest, AJobStartedBeforeTheLastTickOfAFailedOneRunsWhole) {
  // The first job fails and its worker ends; before its last tick has come, the next drop
  // starts a job whose existing outputs raise the question. A tick of the old job arriving while
  // the question is open must not cancel the new job.
  SetProfiles();
  GetSettings().Profiles[2].Use = false;
  ASSERT_TRUE(WriteBytes(m_temp / L"broken.png", "\x89PNG\r\n\x1a\nbroken"));
  Source(L"good.png");
  ASSERT_TRUE(CreateDirectoryW((m_temp / L"out1").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(m_temp / L"out1\\p1_good.png", "old"));
  auto waitable = std::make_shared<CWaitableDialog>();
  HWND dialog = OpenDialog(waitable);
  ASSERT_TRUE(dialog);
  CBoxWatcher watcher(dialog, [dialog](HWND box) {
    // The old job's timer ticks while the question is open (posted before the answer).
    if (GetDlgItem(box, IDYES)) PostMessageW(dialog, WM_TIMER, 1, 0);
    PressButton(box, GetDlgItem(box, IDYES) ? IDYES : IDOK);
  });
  DropOn(ShellFiles({L"broken.png"}).Get(), Away());
  // Only the drop's own message is handled: it starts the first job, and no tick is handled
  // until the next drop.
  MSG drop;
  ASSERT_TRUE(PeekMessageW(&drop, dialog, WM_APP, WM_APP, PM_REMOVE));
  DispatchMessageW(&drop);
  DispatchListingDone();
  ASSERT_TRUE(Running());
  waitable->WaitForWorkerEnd();
  DropOn(ShellFiles({L"good.png"}).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(1); }));
  // The old job ended first, with its own message; then the question; then the new job, whole.
  ASSERT_EQ(2u, watcher.Boxes().size());
  EXPECT_EQ(ResourceString(IDS_CAPTION_ERROR), watcher.Boxes()[0].caption);
  EXPECT_NE(std::wstring::npos, watcher.Boxes()[0].text.find(m_temp / L"broken.png"));
  EXPECT_EQ(ResourceString(IDS_CAPTION_CONFIRM), watcher.Boxes()[1].caption);
  CDibPtr written;
  EXPECT_EQ(S_OK, LoadDib(m_temp / L"out1\\p1_good.png", &written));
  EXPECT_FALSE(Running());
}

TEST_F(JobTest, RefusedStartsWriteNothing) {
  SetProfiles();
  Source(L"a.png");
  CreateDirectoryW((m_temp / L"folder").c_str(), nullptr);
  // An existing output would raise the question: the missing file must be found first.
  ASSERT_TRUE(CreateDirectoryW((m_temp / L"out1").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(m_temp / L"out1\\p1_a.png", "old"));
  ASSERT_TRUE(OpenDialog());
  const std::wstring initial = Status();

  struct Case {
    const char* what;
    std::function<CComPtr<IDataObject>()> data;
    std::wstring text;
  };
  std::wstring folderMissing, fileMissing;
  ASSERT_TRUE(WriteBytes(m_temp / L"folder\\notes.txt", "not a picture"));
  FormatResourceString(&folderMissing, IDS_MSG_FOLDER_HAS_NO_PICTURES, (m_temp / L"folder").c_str());
  FormatResourceString(&fileMissing, IDS_MSG_FILE_NOT_FOUND, (m_temp / L"gone.png").c_str());
  const wchar_t text[] = L"C:\\a.png";
  LPITEMIDLIST computer = nullptr;
  ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer));
  const CItemIDList drives(computer);
  const CItemIDList file(ILCreateFromPathW((m_temp / L"a.png").c_str()));
  const Case cases[] = {
      {"a folder without pictures among the files", [&] { return ShellFiles({L"a.png", L"folder"}); },
       folderMissing},
      {"a file that is gone", [&] { return FileList({m_temp / L"a.png", m_temp / L"gone.png"}); },
       fileMissing},
      {"text",
       [&] {
         return ClipboardData(m_dialog->GetHwnd(), CF_UNICODETEXT, GlobalBytes(text, sizeof text));
       },
       ResourceString(IDS_MSG_DROP_NO_DATA)},
      {"an item that is no file", [&] { return ShellData(nullptr, {&file, &drives}); },
       ResourceString(IDS_MSG_DROP_UNSUPPORTED)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CBoxWatcher watcher(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDOK); });
    DropOn(c.data().Get(), Away());
    RunUntil([&] { return !watcher.Boxes().empty(); });
    Pump();
    ASSERT_EQ(1u, watcher.Boxes().size());
    EXPECT_EQ(c.text, watcher.Boxes()[0].text);
    EXPECT_EQ(ResourceString(IDS_CAPTION_ERROR), watcher.Boxes()[0].caption);
    EXPECT_FALSE(Running());
    EXPECT_EQ(initial, Status());
  }
  EXPECT_EQ("old", ReadBytes(m_temp / L"out1\\p1_a.png"));
  EXPECT_FALSE(FileExists(m_temp / L"out3"));
}

TEST_F(JobTest, ItemsWithoutFilesOfTheirOwnAreShrunkUnderTheirNamesAndTheirCopiesGo) {
  SetProfiles();
  const std::string picture = ReadBytes(Source(L"zip.png"));
  const std::wstring process = std::to_wstring(GetCurrentProcessId());
  const std::wstring name = L"写真 " + process;
  ASSERT_TRUE(OpenDialog());
  // As a zip folder or a mail program offers an item: a name with a folder, and a stream.
  DropOn(ContentsData({{L"..\\" + name + L".png", picture}}, ContentMedium::Stream).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(1); }));
  CDibPtr png;
  ASSERT_EQ(S_OK, LoadDib(m_temp / (L"out1\\p1_.._" + name + L".png"), &png));
  EXPECT_EQ(160, png->Width());
  EXPECT_TRUE(FileExists(m_temp / (L"out3\\p3_.._" + name + L".jpg")));
  EXPECT_TRUE(DropCopiesNamed(L".._" + name + L".png").empty()) << "the job's end took the copy";

  // A start refused for an output name too long takes the copy too.
  const std::wstring longName = std::wstring(250 - process.size(), L'n') + process + L".png";
  CBoxWatcher watcher(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDOK); });
  DropOn(ContentsData({{longName, picture}}, ContentMedium::Global).Get(), Away());
  RunUntil([&] { return !watcher.Boxes().empty(); });
  Pump();
  ASSERT_EQ(1u, watcher.Boxes().size());
  EXPECT_EQ(0u, watcher.Boxes()[0].text.find(FormattedResourceString(IDS_MSG_OUTPUT_NAME_INVALID, 1, L"")));
  EXPECT_TRUE(DropCopiesNamed(longName).empty());
  EXPECT_FALSE(Running());
}

TEST_F(JobTest, CancelOrCloseDuringAJobOfItemsWithoutFilesTakesTheirCopies) {
  SetProfiles();
  const std::string picture = ReadBytes(LargeSource(L"large.png"));
  const std::wstring process = std::to_wstring(GetCurrentProcessId());
  ASSERT_TRUE(OpenHeldDialog());
  for (const wchar_t* end : {L"cancel", L"close"}) {
    SCOPED_TRACE(end);
    const std::wstring first = L"held " + process + L" " + end + L".png", second = L"2 " + first;
    DropOn(ContentsData({{first, picture}, {second, picture}}, ContentMedium::Global).Get(), Away());
    ASSERT_TRUE(RunUntil([&] { return Running(); }));
    // The worker holds after each file, so the job runs until the test ends it.
    EXPECT_EQ(1u, DropCopiesNamed(first).size()) << "the running job holds its copies";
    EXPECT_EQ(1u, DropCopiesNamed(second).size());
    if (std::wstring(end) == L"cancel") {
      PressButton(m_dialog->GetHwnd(), IDC_CANCEL_JOB);
      ASSERT_TRUE(RunUntil([&] { return !Running(); }));
    } else {
      PostMessageW(m_dialog->GetHwnd(), WM_SYSCOMMAND, SC_CLOSE, 0);
      ASSERT_TRUE(RunUntil([&] { return m_quitCode != -1; }));
    }
    EXPECT_TRUE(DropCopiesNamed(first).empty());
    EXPECT_TRUE(DropCopiesNamed(second).empty());
  }
}

TEST_F(JobTest, ProfilesWritingToTheSameNamesAreRefused) {
  SetProfiles();
  // Panel 3 writes where panel 1 does, its folder spelled in other letter case.
  std::vector<ShrinkProfile>& profiles = GetSettings().Profiles;
  profiles[2].Folder = profiles[0].Folder;
  for (wchar_t& c : profiles[2].Folder) c = static_cast<wchar_t>(towupper(c));
  profiles[2].Prefix = L"P1_";
  Source(L"x.png");
  ASSERT_TRUE(OpenDialog());
  CBoxWatcher watcher(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDOK); });
  DropOn(ShellFiles({L"x.png"}).Get(), Away());
  RunUntil([&] { return !watcher.Boxes().empty(); });
  Pump();
  ASSERT_EQ(1u, watcher.Boxes().size());
  EXPECT_EQ(ResourceString(IDS_MSG_PROFILE_CONFLICT), watcher.Boxes()[0].text);
  EXPECT_EQ(ResourceString(IDS_CAPTION_ERROR), watcher.Boxes()[0].caption);
  EXPECT_EQ(ComboEdit(IDC_FOLDER3), GetFocus());
  EXPECT_FALSE(FileExists(m_temp / L"out1"));

  // Panel 1 switched off, panel 3 alone writes there.
  SendMessageW(Item(IDC_USE1), BM_CLICK, 0, 0);
  DropOn(ShellFiles({L"x.png"}).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(1); }));
  EXPECT_EQ(1u, watcher.Boxes().size());
  EXPECT_TRUE(FileExists(m_temp / L"out1\\P1_x.jpg"));
}

TEST_F(JobTest, APrefixThatLeavesTheFolderOrNoEnabledProfileIsRefusedBeforeAnythingIsDeleted) {
  SetProfiles();
  GetSettings().Profiles[2].Prefix = L"..\\..\\";
  Source(L"x.png");
  // What the prefix would have reached, and an output the question would have offered to delete.
  ASSERT_TRUE(WriteBytes(m_temp / L"x.jpg", "planted"));
  ASSERT_TRUE(CreateDirectoryW((m_temp / L"out1").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(m_temp / L"out1\\p1_x.png", "old"));
  ASSERT_TRUE(OpenDialog());
  const std::wstring initial = Status();
  CBoxWatcher watcher(m_dialog->GetHwnd(), [](HWND box) {
    PressButton(box, GetDlgItem(box, IDYES) ? IDYES : IDOK);
  });
  DropOn(ShellFiles({L"x.png"}).Get(), Away());
  RunUntil([&] { return !watcher.Boxes().empty(); });
  Pump();
  ASSERT_EQ(1u, watcher.Boxes().size());
  EXPECT_EQ(FormattedResourceString(IDS_MSG_PREFIX_FORBIDDEN, 3, L"..\\..\\"), watcher.Boxes()[0].text);
  EXPECT_EQ(ComboEdit(IDC_PREFIX3), GetFocus());
  EXPECT_EQ("planted", ReadBytes(m_temp / L"x.jpg"));
  EXPECT_EQ("old", ReadBytes(m_temp / L"out1\\p1_x.png"));
  EXPECT_EQ(initial, Status());

  // Every profile switched off: nothing to write is no success.
  for (int id : {IDC_USE1, IDC_USE3}) SendMessageW(Item(id), BM_CLICK, 0, 0);
  ASSERT_EQ(BST_UNCHECKED, SendMessageW(Item(IDC_USE3), BM_GETCHECK, 0, 0));
  DropOn(ShellFiles({L"x.png"}).Get(), Away());
  RunUntil([&] { return watcher.Boxes().size() == 2; });
  Pump();
  ASSERT_EQ(2u, watcher.Boxes().size());
  EXPECT_EQ(ResourceString(IDS_MSG_NO_PROFILE_ENABLED), watcher.Boxes()[1].text);
  EXPECT_EQ(ResourceString(IDS_CAPTION_ERROR), watcher.Boxes()[1].caption);
  EXPECT_EQ("old", ReadBytes(m_temp / L"out1\\p1_x.png"));
  EXPECT_FALSE(Running());
  EXPECT_EQ(initial, Status());
}

namespace {

// The main dialog whose worker ends by an exception when it hands over its first task, as a
// worker ends that meets a fault it cannot report: the job has files left that nobody runs.
class CWorkerEndsDialog : public CWaitableDialog {
public:
  void OnTaskFinished(const CShrinkTaskExPtr& task) override {
    if (!m_ended.exchange(true)) throw std::runtime_error("the worker ends here");
    CMainDlg::OnTaskFinished(task);
  }

private:
  std::atomic<bool> m_ended{false};
};

}  // namespace

TEST_F(JobTest, AJobWhoseWorkerEndedEarlyEndsUnfinishedWhenTheNextDropComes) {
  SetProfiles();
  GetSettings().Profiles[2].Use = false;
  Source(L"a.png");
  Source(L"b.png");
  Source(L"c.png");
  auto dialog = std::make_shared<CWorkerEndsDialog>();
  ASSERT_TRUE(OpenDialog(dialog));
  CTextRecorder status(Item(IDC_STATUS));
  DropOn(ShellFiles({L"a.png", L"b.png"}).Get(), Away());
  // Only the drop's own message: the old job's ticks stay unhandled until the next drop.
  MSG drop;
  ASSERT_TRUE(PeekMessageW(&drop, m_dialog->GetHwnd(), WM_APP, WM_APP, PM_REMOVE));
  DispatchMessageW(&drop);
  DispatchListingDone();
  ASSERT_TRUE(Running());
  dialog->WaitForWorkerEnd();
  DropOn(ShellFiles({L"c.png"}).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(1); }));
  // The old job ended as unfinished, never as two files done; then the new job ran whole.
  EXPECT_EQ(status.Texts().end(), std::find(status.Texts().begin(), status.Texts().end(), Finished(2)));
  EXPECT_NE(status.Texts().end(),
            std::find(status.Texts().begin(), status.Texts().end(), ResourceString(IDS_STATUS_ABORTED)));
  EXPECT_TRUE(FileExists(m_temp / L"out1\\p1_c.png"));
  EXPECT_FALSE(Running());
}

TEST_F(JobTest, AnOutputThatIsADroppedFileIsRefusedBeforeAnythingIsDeleted) {
  // Profile 3 writes JPEG without a prefix into the folder of the dropped photo: its output is
  // the photo itself, which the overwrite question would otherwise have offered to delete.
  SetProfiles();
  std::vector<ShrinkProfile>& profiles = GetSettings().Profiles;
  profiles[2].Folder = m_temp.Path() + L"\\";
  profiles[2].Prefix = L"";
  const std::wstring photo = m_temp / L"photo.jpg";
  ASSERT_EQ(S_OK, CreateSaver(profiles[2].SaveFormat)->Save(*MakePhotoLike(320, 240), photo));
  const std::string mine = ReadBytes(photo);
  ASSERT_TRUE(OpenDialog());
  const std::wstring initial = Status();
  // A user who would answer yes to any question.
  CBoxWatcher watcher(m_dialog->GetHwnd(), [](HWND box) {
    PressButton(box, GetDlgItem(box, IDYES) ? IDYES : IDOK);
  });
  DropOn(ShellFiles({L"photo.jpg"}).Get(), Away());
  RunUntil([&] { return !watcher.Boxes().empty(); });
  Pump();
  ASSERT_EQ(1u, watcher.Boxes().size());
  std::wstring refusal;
  FormatResourceString(&refusal, IDS_MSG_OUTPUT_IS_SOURCE, photo.c_str());
  EXPECT_EQ(ResourceString(IDS_CAPTION_ERROR), watcher.Boxes()[0].caption);
  EXPECT_EQ(refusal, watcher.Boxes()[0].text);
  EXPECT_EQ(ComboEdit(IDC_FOLDER3), GetFocus());
  EXPECT_EQ(mine, ReadBytes(photo));
  EXPECT_FALSE(FileExists(m_temp / L"out1"));
  EXPECT_FALSE(Running());
  EXPECT_EQ(initial, Status());
}

TEST_F(JobTest, DropsOnFolderFieldsSetTheFolderOrStartAJobWhenTheFieldIsOff) {
  SetProfiles();
  Source(L"a.png");
  Source(L"b.png");
  CreateDirectoryW((m_temp / L"chosen").c_str(), nullptr);
  ASSERT_TRUE(OpenDialog());
  const POINT field1 = Centre(Item(IDC_FOLDER1));

  DropOn(ShellFiles({L"chosen"}).Get(), field1);
  Pump();
  EXPECT_EQ(m_temp / L"chosen", WindowText(ComboEdit(IDC_FOLDER1)));
  const struct {
    std::vector<std::wstring> names;
    unsigned message;
  } refusals[] = {{{L"a.png"}, IDS_MSG_FOLDER_DROP_NOT_FOLDER},
                  {{L"chosen", L"a.png"}, IDS_MSG_FOLDER_DROP_MULTIPLE}};
  for (const auto& refusal : refusals) {
    CBoxWatcher watcher(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDOK); });
    DropOn(ShellFiles(refusal.names).Get(), field1);
    RunUntil([&] { return !watcher.Boxes().empty(); });
    Pump();
    ASSERT_EQ(1u, watcher.Boxes().size());
    EXPECT_EQ(ResourceString(refusal.message), watcher.Boxes()[0].text);
    EXPECT_EQ(m_temp / L"chosen", WindowText(ComboEdit(IDC_FOLDER1)));
  }
  EXPECT_FALSE(Running());

  // Panel 2 is off, so its folder field is no target: the drop is a job's.
  ASSERT_FALSE(IsWindowEnabled(Item(IDC_FOLDER2)));
  DropOn(ShellFiles({L"a.png", L"b.png"}).Get(), Centre(Item(IDC_FOLDER2)));
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(2); }));
  EXPECT_TRUE(FileExists(m_temp / L"chosen\\p1_b.png"));
  EXPECT_TRUE(FileExists(m_temp / L"out3\\p3_a.jpg"));
}

TEST_F(JobTest, ADropWhileRunningIsRefusedAndTheJobGoesOn) {
  SetProfiles();
  Source(L"a.png");
  Source(L"b.png");
  Source(L"other.png");
  CHeldDialog* dialog = OpenHeldDialog();
  ASSERT_TRUE(dialog);
  DropOn(ShellFiles({L"a.png", L"b.png"}).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return JobStarted(); }));
  {
    CBoxWatcher watcher(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDOK); });
    DropOn(ShellFiles({L"other.png"}).Get(), Away());
    Pump();
    ASSERT_EQ(1u, watcher.Boxes().size());
    EXPECT_EQ(ResourceString(IDS_MSG_DROP_WHILE_RUNNING), watcher.Boxes()[0].text);
  }
  dialog->LetGo();
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(2); }));
  EXPECT_FALSE(FileExists(m_temp / L"out1\\p1_other.png"));
  EXPECT_TRUE(FileExists(m_temp / L"out3\\p3_b.jpg"));
}

namespace {

// The dialog of this process stands for the running program: it holds this user's instance slot
// as the program's start does, and real starts of the program hand their paths to it.
class HandOverTest : public JobTest {
protected:
  void TearDown() override {
    m_slot.reset();
    JobTest::TearDown();
  }

  bool HoldSlot() {
    m_slot.reset(new CInstanceSlot);
    if (!m_slot->Claim()) return false;
    m_slot->Publish(m_dialog->GetHwnd());
    return true;
  }

  // Starts the program with `arguments` in the test folder and handles this thread's messages
  // until it has ended; its exit code, or 259 when it waited 30 seconds for no message here.
  DWORD RunProgram(const std::wstring& arguments) {
    std::wstring line = L"\"" + ProgramPath() + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                        m_temp.Path().c_str(), &startup, &started)) {
      ADD_FAILURE() << "no start: " << GetLastError();
      return 0xFFFFFFFF;
    }
    CHandle process(started.hProcess);
    CHandle thread(started.hThread);
    while (MsgWaitForMultipleObjects(1, &started.hProcess, FALSE, 30000, QS_ALLINPUT) ==
           WAIT_OBJECT_0 + 1) {
      Pump();
    }
    DWORD code = 0;
    GetExitCodeProcess(started.hProcess, &code);
    if (code == STILL_ACTIVE) {
      TerminateProcess(started.hProcess, 99);
      WaitForSingleObject(started.hProcess, 30000);
    }
    return code;
  }

  // Hands `paths` to the dialog as a later start does, in a block of its own; the window's answer.
  LRESULT SendBlock(const std::vector<std::wstring>& paths) {
    const std::vector<unsigned char> block = EncodeHandOverBlock(paths);
    COPYDATASTRUCT copy = {};
    copy.dwData = kHandOverDataId;
    copy.cbData = static_cast<DWORD>(block.size());
    copy.lpData = const_cast<unsigned char*>(block.data());
    return SendMessageW(m_dialog->GetHwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&copy));
  }

  CSetAsideKey m_userKey{kProductKey};  // made before SetUp: the user's own key, not the test's
  std::unique_ptr<CInstanceSlot> m_slot;
};

const DWORD kRefusedExit = static_cast<DWORD>(kHandOverRefusedExitCode);

}  // namespace

TEST_F(HandOverTest, ALaterStartHandsItsPathsToTheIdleWindowWhereverTheLastDropLay) {
  ASSERT_TRUE(m_userKey.IsSetAside());
  SetProfiles();
  Source(L"a.png");
  Source(L"b.png");
  CreateDirectoryW((m_temp / L"chosen").c_str(), nullptr);
  ASSERT_TRUE(OpenDialog());
  ASSERT_TRUE(HoldSlot());
  // The last drop lay on a folder field; paths from outside still start a job.
  DropOn(ShellFiles({L"chosen"}).Get(), Centre(Item(IDC_FOLDER1)));
  Pump();
  ASSERT_EQ(m_temp / L"chosen", WindowText(ComboEdit(IDC_FOLDER1)));

  // The relative name is made absolute against the later start's own folder, the test folder.
  EXPECT_EQ(0u, RunProgram(L"b.png"));
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(1); }));
  EXPECT_TRUE(FileExists(m_temp / L"chosen\\p1_b.png"));
  EXPECT_TRUE(FileExists(m_temp / L"out3\\p3_b.jpg"));
  EXPECT_FALSE(FileExists(m_temp / L"chosen\\p1_a.png"));
  EXPECT_EQ(m_temp / L"chosen", WindowText(ComboEdit(IDC_FOLDER1)));

  // Once more with two paths, after the first job: b's outputs are asked about.
  CBoxWatcher yes(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDYES); });
  EXPECT_EQ(0u, RunProgram(L"a.png \"" + (m_temp / L"b.png") + L"\""));
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(2); }));
  EXPECT_TRUE(FileExists(m_temp / L"chosen\\p1_a.png"));
  EXPECT_EQ(1u, yes.Boxes().size());
}

TEST_F(HandOverTest, ALaterStartWhileAJobRunsOrStartsIsRefusedAsADropWouldBe) {
  SetProfiles();
  Source(L"a.png");
  Source(L"b.png");
  Source(L"other.png");
  CHeldDialog* dialog = OpenHeldDialog();
  ASSERT_TRUE(dialog);
  ASSERT_TRUE(HoldSlot());
  DropOn(ShellFiles({L"a.png", L"b.png"}).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return Running(); }));
  {
    CBoxWatcher watcher(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDOK); });
    EXPECT_EQ(kRefusedExit, RunProgram(L"other.png")) << "a script can tell";
    Pump();
    ASSERT_EQ(1u, watcher.Boxes().size());
    EXPECT_EQ(ResourceString(IDS_MSG_DROP_WHILE_RUNNING), watcher.Boxes()[0].text);
  }
  dialog->LetGo();
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(2); }));
  EXPECT_FALSE(FileExists(m_temp / L"out1\\p1_other.png"));

  // The next start asks about the outputs now there; a later start while it asks is refused too,
  // rather than starting another job inside the question.
  std::vector<std::wstring> texts;
  {
    CBoxWatcher watcher(m_dialog->GetHwnd(), [&](HWND box) {
      texts.push_back(WindowText(GetDlgItem(box, 0xFFFF)));
      const bool question = texts.size() == 1;
      if (question) {
        EXPECT_EQ(kRefusedExit, RunProgram(L"other.png"));
      }
      PressButton(box, question ? IDNO : IDOK);
    });
    DropOn(ShellFiles({L"a.png"}).Get(), Away());
    ASSERT_TRUE(RunUntil([&] { return watcher.Boxes().size() == 2; }));
    Pump();
  }
  ASSERT_EQ(2u, texts.size());
  EXPECT_EQ(ResourceString(IDS_MSG_DROP_WHILE_RUNNING), texts[1]);
  EXPECT_FALSE(Running());
  EXPECT_FALSE(FileExists(m_temp / L"out1\\p1_other.png"));
}

TEST_F(HandOverTest, ALaterStartWhileAFailedJobsBoxIsOpenIsRefusedAndNothingRunsBehindTheBox) {
  SetProfiles();
  ASSERT_TRUE(WriteBytes(m_temp / L"broken.png", "\x89PNG\r\n\x1a\nbroken"));
  Source(L"later.png");
  Source(L"other.png");
  ASSERT_TRUE(OpenDialog());
  ASSERT_TRUE(HoldSlot());
  std::vector<std::wstring> texts;
  bool cancelUnderTheBox = true;
  DWORD exitCode = 0;
  LRESULT answer = 0;
  {
    CBoxWatcher watcher(m_dialog->GetHwnd(), [&](HWND box) {
      texts.push_back(WindowText(GetDlgItem(box, 0xFFFF)));
      if (texts.size() == 1) {
        // The job's worker has ended; only its box is up.
        cancelUnderTheBox = Running();
        exitCode = RunProgram(L"other.png");
        answer = SendBlock({m_temp / L"other.png"});
      }
      PressButton(box, IDOK);
    });
    DropOn(ShellFiles({L"broken.png", L"later.png"}).Get(), Away());
    ASSERT_TRUE(RunUntil([&] { return watcher.Boxes().size() == 3; }));
    Pump();
  }
  EXPECT_FALSE(cancelUnderTheBox) << "中止 has nothing to stop while only the box is up";
  EXPECT_EQ(kRefusedExit, exitCode);
  EXPECT_EQ(kHandOverRefused, answer);
  ASSERT_EQ(3u, texts.size());
  EXPECT_NE(std::wstring::npos, texts[0].find(m_temp / L"broken.png"));
  EXPECT_EQ(ResourceString(IDS_MSG_DROP_WHILE_RUNNING), texts[1]);
  EXPECT_EQ(ResourceString(IDS_MSG_DROP_WHILE_RUNNING), texts[2]);
  // No job ran behind the box or after it: the status still tells of the failed one.
  EXPECT_FALSE(Running());
  EXPECT_FALSE(m_dialog->IsJobRunning());
  EXPECT_EQ(ResourceString(IDS_STATUS_ABORTED), Status());
  EXPECT_FALSE(FileExists(m_temp / L"out1\\p1_other.png"));
  EXPECT_FALSE(FileExists(m_temp / L"out1\\p1_later.png"));
}

TEST_F(HandOverTest, BlocksHandedOverBeforeTheStartTakesItsPathsJoinItInTheirOrder) {
  SetProfiles();
  GetSettings().Profiles[2].Use = false;
  for (const wchar_t* name : {L"a.png", L"b.png", L"c.png"}) Source(name);
  // Existing outputs make the start ask, and its question lists them in the job's order.
  ASSERT_TRUE(CreateDirectoryW((m_temp / L"out1").c_str(), nullptr));
  for (const wchar_t* name : {L"out1\\p1_a.png", L"out1\\p1_b.png", L"out1\\p1_c.png"}) {
    ASSERT_TRUE(WriteBytes(m_temp / name, "old"));
  }
  ASSERT_TRUE(OpenDialog());
  CBoxWatcher yes(m_dialog->GetHwnd(), [](HWND box) {
    PressButton(box, GetDlgItem(box, IDYES) ? IDYES : IDOK);
  });
  // Two later starts at once: both blocks come before the window handles the start that the
  // first one posted.
  EXPECT_EQ(kHandOverTaken, SendBlock({m_temp / L"c.png"}));
  EXPECT_EQ(kHandOverTaken, SendBlock({m_temp / L"a.png", m_temp / L"c.png"}));
  MSG posted;
  ASSERT_TRUE(PeekMessageW(&posted, m_dialog->GetHwnd(), kDropReadyMessage, kDropReadyMessage,
                           PM_REMOVE));
  EXPECT_FALSE(PeekMessageW(&posted, m_dialog->GetHwnd(), kDropReadyMessage, kDropReadyMessage,
                            PM_NOREMOVE))
      << "one start, not two";
  DispatchMessageW(&posted);
  // Once the start has taken its paths (it lists them now), a block is refused, never lost.
  EXPECT_EQ(kHandOverRefused, SendBlock({m_temp / L"b.png"}));
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(2) && yes.Boxes().size() == 2; }));
  // The refusal's message and the question, in whichever order the listing's end and the
  // refusal's message came.
  std::wstring question;
  FormatResourceString(&question, IDS_ASK_OVERWRITE, 2,
                       (m_temp / L"out1\\p1_c.png\n" + m_temp / L"out1\\p1_a.png\n").c_str());
  std::vector<std::wstring> texts = {yes.Boxes()[0].text, yes.Boxes()[1].text};
  std::sort(texts.begin(), texts.end());
  std::vector<std::wstring> expected = {question, ResourceString(IDS_MSG_DROP_WHILE_RUNNING)};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(expected, texts);
  EXPECT_NE("old", ReadBytes(m_temp / L"out1\\p1_a.png"));
  EXPECT_NE("old", ReadBytes(m_temp / L"out1\\p1_c.png"));
  EXPECT_EQ("old", ReadBytes(m_temp / L"out1\\p1_b.png"));

  // Paths from outside never join a drag released over the window (it may lie on a folder
  // field): they are refused until that drop has started.
  DropOn(ShellFiles({L"b.png"}).Get(), Away());
  EXPECT_EQ(kHandOverRefused, SendBlock({m_temp / L"a.png"}));
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(1); }));
}

TEST_F(JobTest, CancelEndsTheJobAbortedEvenDuringItsLastFile) {
  SetProfiles();
  LargeSource(L"last.png");
  ASSERT_TRUE(OpenHeldDialog());
  DropOn(ShellFiles({L"last.png"}).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return JobStarted(); }));
  PressButton(m_dialog->GetHwnd(), IDC_CANCEL_JOB);
  ASSERT_TRUE(RunUntil([&] { return !Running(); }));
  EXPECT_EQ(ResourceString(IDS_STATUS_ABORTED), Status());
  // Whatever the worker was doing when the cancel came, each output folder holds nothing but the
  // whole output, or nothing: no other file, no part of one under any name.
  for (const std::wstring& output : {m_temp / L"out1\\p1_last.png", m_temp / L"out3\\p3_last.jpg"}) {
    SCOPED_TRACE(output);
    const std::wstring folder = output.substr(0, output.rfind(L'\\'));
    const int entries = CountEntries(folder, L"*");
    if (entries == 0) continue;
    EXPECT_EQ(1, entries);
    CDibPtr written;
    EXPECT_EQ(S_OK, LoadDib(output, &written));
    EXPECT_EQ(160, written->Width());
  }
}

TEST_F(JobTest, ProgressStaysTrueBeyond65535Files) {
  // 70,000 copies of one small file (a file counts once however often it is dropped): a job of
  // that many tasks, cancelled once it shows.
  SetProfiles();
  GetSettings().Profiles[2].Use = false;
  const std::string tiny = ReadBytes(Source(L"tiny.png", 8, 8));
  const int kFiles = 70000;
  // A thousand to a folder: Wine looks names up by scanning their folder.
  std::vector<std::wstring> names;
  for (int i = 0; i < kFiles; ++i) {
    const std::wstring folder = m_temp / (L"many\\" + std::to_wstring(i / 1000));
    if (i % 1000 == 0) {
      ASSERT_TRUE(MakeFolders(folder));
    }
    names.push_back(folder + L"\\" + std::to_wstring(i) + L".png");
    ASSERT_TRUE(WriteBytes(names.back(), tiny));
  }
  ASSERT_TRUE(OpenDialog());
  DropOn(FileList(names).Get(), Away());
  HWND progress = Item(IDC_PROGRESS);
  ASSERT_TRUE(RunUntil([&] { return SendMessageW(progress, PBM_GETRANGE, FALSE, 0) == kFiles; }));
  PressButton(m_dialog->GetHwnd(), IDC_CANCEL_JOB);
  ASSERT_TRUE(RunUntil([&] { return !Running(); }));
  EXPECT_EQ(ResourceString(IDS_STATUS_ABORTED), Status());
  const LRESULT position = SendMessageW(progress, PBM_GETPOS, 0, 0);
  EXPECT_GT(position, 0);
  EXPECT_LT(position, kFiles);
}

TEST_F(JobTest, ClosingDuringAJobEndsItSavesTheSettingsAndQuitsWithTwo) {
  SetProfiles();
  const std::vector<std::wstring> names = {L"a.png", L"b.png", L"c.png", L"d.png"};
  for (const std::wstring& name : names) LargeSource(name.c_str());
  ASSERT_TRUE(OpenHeldDialog());
  HWND dialog = m_dialog->GetHwnd();
  DropOn(ShellFiles(names).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return JobStarted(); }));
  // The start has saved the settings; what is found after the close was written by the close.
  ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_CURRENT_USER, kSettingKey));
  PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  ASSERT_TRUE(RunUntil([&] { return m_quitCode != -1; }));
  EXPECT_EQ(2, m_quitCode);
  EXPECT_FALSE(IsWindow(dialog));
  // The settings were written on the way out, the profiles of this job among them.
  CSettings saved;
  ASSERT_TRUE(saved.LoadSettings());
  ASSERT_EQ(GetSettings().Profiles.size(), saved.Profiles.size());
  EXPECT_EQ(m_temp / L"out1", saved.Profiles[0].Folder);
  EXPECT_EQ(L"p3_", saved.Profiles[2].Prefix);
  EXPECT_FALSE(saved.Profiles[1].Use);
  // The close came during the first file or while the worker held after it: every output of
  // that file is whole or absent, and nothing of a later file was written.
  for (size_t i = 0; i < names.size(); ++i) {
    const std::wstring base = names[i].substr(0, names[i].size() - 4);
    for (const std::wstring& output :
         {m_temp / (L"out1\\p1_" + base + L".png"), m_temp / (L"out3\\p3_" + base + L".jpg")}) {
      SCOPED_TRACE(output);
      if (!FileExists(output)) continue;
      EXPECT_EQ(0u, i);
      CDibPtr dib;
      EXPECT_EQ(S_OK, LoadDib(output, &dib));
    }
  }
  // Nothing but outputs in the folders: no part of a file left behind.
  EXPECT_EQ(0, CountEntries(m_temp / L"out1", kTemporaryFilePattern));
  EXPECT_EQ(0, CountEntries(m_temp / L"out3", kTemporaryFilePattern));
}

TEST_F(JobTest, UnusualNamesAndPathsPastTheOldLimitComeOutUnchanged) {
  SetProfiles();
  // Outputs of profile 1 go into a tree of more than 300 characters.
  const std::wstring deep = DeepFolder(m_temp.Path(), 300);
  ASSERT_TRUE(MakeFolders(deep));
  GetSettings().Profiles[0].Folder = deep + L"\\出力";
  GetSettings().Profiles[0].Prefix = L"%s_";
  const std::vector<std::wstring> names = {L"写真 \U00020BB7.png", L"100% 完了 %s %d.png",
                                           L" 前後に空白 .png", L"a.b..c.png"};
  std::vector<std::wstring> deepSources;
  for (const std::wstring& name : names) {
    Source(name.c_str(), 64, 48);
    deepSources.push_back(deep + L"\\" + name);
    ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(48, 64), deepSources.back()));
  }
  ASSERT_TRUE(OpenDialog());
  // The shell's items for the short paths, a file manager's list for the long ones.
  DropOn(ShellFiles(names).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(4); }));
  for (const std::wstring& name : names) {
    const std::wstring jpeg = name.substr(0, name.size() - 4) + L".jpg";
    EXPECT_TRUE(FileExists(deep + L"\\出力\\%s_" + name));
    EXPECT_TRUE(FileExists(m_temp / (L"out3\\p3_" + jpeg)));
  }
  CBoxWatcher yes(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDYES); });
  DropOn(FileList(deepSources).Get(), Away());
  // The status still shows the first job's end until this one has run.
  ASSERT_TRUE(RunUntil([&] { return !yes.Boxes().empty() && !Running() && Status() == Finished(4); }));
  ASSERT_EQ(1u, yes.Boxes().size()) << "the first job's outputs are offered for deletion";
  EXPECT_NE(std::wstring::npos, yes.Boxes()[0].text.find(
      deep + L"\\出力\\%s_100% 完了 %s %d.png\n"));
  for (const std::wstring& name : names) {
    CDibPtr written;
    ASSERT_EQ(S_OK, LoadDib(deep + L"\\出力\\%s_" + name, &written));
    EXPECT_EQ(48, written->Width()) << "written from the portrait source of the second drop";
  }

  // A failed file's box shows its long path as it is, "%" included.
  const std::wstring broken = deep + L"\\壊れた 50%d %s.png";
  ASSERT_TRUE(WriteBytes(broken, "\x89PNG\r\n\x1a\n"));
  CBoxWatcher watcher(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDOK); });
  DropOn(FileList({broken}).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return !watcher.Boxes().empty(); }));
  const std::wstring& text = watcher.Boxes()[0].text;
  ASSERT_GT(text.size(), broken.size());
  EXPECT_EQ(L"\n\n" + broken, text.substr(text.size() - broken.size() - 2));
}

TEST_F(JobTest, HostileFilesEndInTheirMessagesWithNothingWrittenOrChanged) {
  std::wstring corpus;
  std::vector<HostileFile> files;
  std::string reason;
  ASSERT_TRUE(ReadHostileCorpus(&corpus, &files, &reason)) << reason;
  SetProfiles();
  GetSettings().Profiles[2].Use = false;
  ASSERT_TRUE(OpenDialog());
  for (const HostileFile& file : files) {
    SCOPED_TRACE(file.what);
    const std::wstring source = corpus + L"\\" + file.name;
    const std::string before = ReadBytes(source);
    const std::wstring output =
        m_temp / (L"out1\\p1_" + file.name.substr(0, file.name.rfind(L'.')) + L".png");
    CBoxWatcher watcher(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDOK); });
    SetWindowTextW(Item(IDC_STATUS), L"");
    DropOn(FileList({source}).Get(), Away());
    ASSERT_TRUE(RunUntil([&] { return !Running() && !Status().empty(); }));
    Pump();
    EXPECT_EQ(before, ReadBytes(source)) << "the source is never changed";
    if (file.outcome == "ok") {
      EXPECT_EQ(Finished(1), Status());
      EXPECT_TRUE(watcher.Boxes().empty());
      CDibPtr written;
      EXPECT_EQ(S_OK, LoadDib(output, &written));
      DeleteFileW(output.c_str());
      continue;
    }
    EXPECT_EQ(ResourceString(IDS_STATUS_ABORTED), Status());
    ASSERT_EQ(1u, watcher.Boxes().size());
    const HRESULT failure = file.outcome == "budget" ? HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY)
                                                     : E_NOTIMPL;
    std::wstring expected;
    FormatResourceString(&expected, IDS_MSG_LOAD_FAILED, ReasonText(IDS_MSG_LOAD_FAILED, failure).c_str());
    EXPECT_EQ(expected + L"\n\n" + source, watcher.Boxes()[0].text);
    EXPECT_FALSE(FileExists(output));
  }
  // The outputs' folder holds nothing at all, no part of a file either.
  EXPECT_EQ(0, CountEntries(m_temp / L"out1", L"*"));
}

TEST_F(JobTest, CancelOrCloseWhileALargePictureIsSavedLeavesItWholeOrAbsent) {
  // Profile 1 writes the 12-megapixel picture unshrunk: most of its time goes to encoding and
  // writing it.
  const std::wstring source = Source(L"large.png", 4000, 3000);
  for (bool close : {false, true}) {
    SCOPED_TRACE(close ? "close" : "cancel");
    SetProfiles();
    GetSettings().Profiles[0].ShrinkType = 0;
    GetSettings().Profiles[0].ShrinkWidth = GetSettings().Profiles[0].ShrinkHeight = 0;
    GetSettings().Profiles[2].Use = false;
    const std::wstring output = m_temp / L"out1\\p1_large.png";
    DeleteFileW(output.c_str());
    m_quitCode = -1;
    ASSERT_TRUE(OpenHeldDialog());
    HWND dialog = m_dialog->GetHwnd();
    CBoxWatcher watcher(dialog, [](HWND box) { PressButton(box, IDOK); });
    DropOn(FileList({source}).Get(), Away());
    // Once the output folder is there, the picture is being read, shrunk or written.
    ASSERT_TRUE(RunUntil([&] { return FileExists(m_temp / L"out1") || !watcher.Boxes().empty(); }));
    ASSERT_TRUE(watcher.Boxes().empty());
    if (close) {
      PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
      ASSERT_TRUE(RunUntil([&] { return m_quitCode != -1; }));
      EXPECT_EQ(2, m_quitCode);
    } else {
      PressButton(dialog, IDC_CANCEL_JOB);
      ASSERT_TRUE(RunUntil([&] { return !Running(); }));
      EXPECT_EQ(ResourceString(IDS_STATUS_ABORTED), Status());
    }
    if (FileExists(output)) {  // finished before the cancel or close was seen
      CDibPtr written;
      ASSERT_EQ(S_OK, LoadDib(output, &written));
      EXPECT_EQ(4000, written->Width());
      EXPECT_EQ(3000, written->Height());
    }
    EXPECT_EQ(0, CountEntries(m_temp / L"out1", kTemporaryFilePattern));
    EXPECT_TRUE(watcher.Boxes().empty());
    m_dialog.reset();
  }
}

TEST_F(JobTest, TwoThousandFilesLeaveHandlesAndMemoryWhereTheyWere) {
  SetProfiles();
  std::vector<std::wstring> sources;
  const std::wstring first = Source(L"f0000.png", 24, 16);
  for (int i = 0; i < 2000; ++i) {
    wchar_t name[16];
    swprintf(name, 16, L"f%04d.png", i);
    sources.push_back(m_temp / name);
    if (i > 0) {
      ASSERT_TRUE(CopyFileW(first.c_str(), sources.back().c_str(), FALSE));
    }
  }
  ASSERT_TRUE(OpenDialog());
  // A first small job settles what is made once per process (codecs, fonts, the drop's COM).
  DropOn(FileList(std::vector<std::wstring>(sources.begin(), sources.begin() + 20)).Get(), Away());
  ASSERT_TRUE(RunUntil([&] { return Status() == Finished(20); }));
  const unsigned long handlesBefore = ProcessHandleCount();
  const size_t memoryBefore = ProcessPrivateBytes();

  CBoxWatcher yes(m_dialog->GetHwnd(), [](HWND box) { PressButton(box, IDYES); });
  DropOn(FileList(sources).Get(), Away());
  // About 20 seconds here; the limit only guards against a hang.
  ASSERT_TRUE(RunUntil(
      [&] { return !yes.Boxes().empty() && !Running() && Status() == Finished(2000); }, 300000));
  EXPECT_EQ(2000, CountEntries(m_temp / L"out1", L"p1_f*.png"));
  EXPECT_EQ(2000, CountEntries(m_temp / L"out3", L"p3_f*.jpg"));
  const unsigned long handlesAfter = ProcessHandleCount();
  const size_t memoryAfter = ProcessPrivateBytes();
  std::printf("2,000 files: handles %lu -> %lu, private memory %.1f MB -> %.1f MB\n",
              handlesBefore, handlesAfter, memoryBefore / 1048576.0, memoryAfter / 1048576.0);
  EXPECT_GT(handlesBefore, 0ul);
  EXPECT_GT(memoryBefore, 0u);
  EXPECT_LE(handlesAfter, handlesBefore + 2);
  EXPECT_LT(memoryAfter, memoryBefore + (8u << 20));
}
