// The program as a process: it shows its dialog, ends with exit code 2 when the dialog is closed
// and restores a maximised window; a start without paths opens a window of its own; paths on the
// command line start a job once the window shows; it takes a drag from another process of items
// without a file of their own, and sweeps the drop folders a killed instance left; and start-up
// without a dialog template ends quietly with 0.
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/Application.h"
#include "app/GuiSupport.h"
#include "app/InstanceHandOver.h"
#include "app/drop/DropContents.h"
#include "app/drop/DropObjects.h"
#include "base/ResourceText.h"
#include "image/encode/ImageSaver.h"
#include "res/ResourceIds.h"
#include "res/StringIds.h"
#include "settings/Settings.h"
#include "support/ImageCalls.h"
#include "support/Pictures.h"
#include "support/TempDir.h"

namespace {

struct FoundWindow {
  DWORD process;
  HWND window;
};

BOOL CALLBACK FindDialogOf(HWND window, LPARAM found) {
  auto* search = reinterpret_cast<FoundWindow*>(found);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  wchar_t name[16] = {};
  GetClassNameW(window, name, 16);
  if (process != search->process || std::wstring(name) != L"#32770" || !IsWindowVisible(window)) {
    return TRUE;
  }
  search->window = window;
  return FALSE;
}

BOOL CALLBACK CollectShown(HWND window, LPARAM list) {
  if (IsWindowVisible(window)) reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

class CProgram {
public:
  explicit CProgram(const std::wstring& arguments) {
    std::wstring line = L"\"" + ProgramPath() + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    m_started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &m_process) != FALSE;
  }
  ~CProgram() {
    if (!m_started) return;
    if (WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
      // Ended before the user's key is put back, so that it cannot write there afterwards.
      TerminateProcess(m_process.hProcess, 99);
      WaitForSingleObject(m_process.hProcess, 30000);
    }
    CloseHandle(m_process.hThread);
    CloseHandle(m_process.hProcess);
  }
  CProgram(const CProgram&) = delete;
  CProgram& operator=(const CProgram&) = delete;

  bool Started() const { return m_started; }
  // The shown main dialog, once the program waits for input.
  HWND Dialog() const {
    if (WaitForInputIdle(m_process.hProcess, 30000) != 0) return nullptr;
    FoundWindow search = {m_process.dwProcessId, nullptr};
    EnumWindows(FindDialogOf, reinterpret_cast<LPARAM>(&search));
    return search.window;
  }
  // The exit code, or 259 while it still runs after 30 seconds.
  DWORD Wait() const {
    WaitForSingleObject(m_process.hProcess, 30000);
    DWORD code = 0;
    GetExitCodeProcess(m_process.hProcess, &code);
    return code;
  }

private:
  PROCESS_INFORMATION m_process = {};
  bool m_started = false;
};

// The program runs as a process of its own, which no stand-in for HKEY_CURRENT_USER reaches: the
// user's key is set aside while it runs and put back as it was when the test ends.
class ApplicationTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(m_userKey.IsSetAside()); }

  CSetAsideKey m_userKey{kProductKey};
};

TEST_F(ApplicationTest, ClosedDialogEndsTheProgramWithTwoAndStartsWithoutPathsOpenWindowsOfTheirOwn) {
  CProgram first(L"");
  ASSERT_TRUE(first.Started()) << GetLastError();
  HWND dialog = first.Dialog();
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(L"Kestrelle", WindowText(dialog));
  CProgram second(L"");
  ASSERT_TRUE(second.Started());
  HWND other = second.Dialog();
  ASSERT_NE(nullptr, other);
  EXPECT_NE(dialog, other);
  PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  PostMessageW(other, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(2u, first.Wait());
  EXPECT_EQ(2u, second.Wait());
}

TEST_F(ApplicationTest, StoredMaximisedWindowStartsMaximised) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kSettingKey) + L"\\Window").c_str(), 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
  const std::pair<const wchar_t*, DWORD> values[] = {
      {L"Fullscreen", 1}, {L"Left", 20}, {L"Top", 30}, {L"Right", 700}, {L"Bottom", 500}};
  for (const auto& value : values) {
    RegSetValueExW(key, value.first, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.second),
                   sizeof value.second);
  }
  RegCloseKey(key);
  CProgram program(L"");
  ASSERT_TRUE(program.Started());
  HWND dialog = program.Dialog();
  ASSERT_NE(nullptr, dialog);
  EXPECT_TRUE(IsZoomed(dialog));
  PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(2u, program.Wait());
}

// Watches the program's window on this thread while RunApplication runs it: records the status
// line, answers every message box of the window with OK (recording its text), and closes the
// window once the job has ended: at a finished status, or when the box of a failed file goes.
class CJobEndWatcher {
public:
  explicit CJobEndWatcher(int files) {
    FormatResourceString(&m_finished, IDS_STATUS_FINISHED, files);
    s_watcher = this;
    m_cbt = SetWindowsHookExW(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    m_calls = SetWindowsHookExW(WH_CALLWNDPROC, OnCall, nullptr, GetCurrentThreadId());
    // Nothing else ends the run should the job never end.
    m_guard = SetTimer(nullptr, 0, 60000, EndStalledRun);
  }
  ~CJobEndWatcher() {
    KillTimer(nullptr, m_guard);
    UnhookWindowsHookEx(m_calls);
    UnhookWindowsHookEx(m_cbt);
    s_watcher = nullptr;
  }
  CJobEndWatcher(const CJobEndWatcher&) = delete;
  CJobEndWatcher& operator=(const CJobEndWatcher&) = delete;

  std::vector<std::wstring> statuses;
  std::vector<std::wstring> boxes;

private:
  static void CALLBACK EndStalledRun(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(kLoopTimedOut); }
  static bool IsStatusLine(HWND window) {
    return GetDlgCtrlID(window) == IDC_STATUS && GetDlgItem(GetParent(window), IDC_CANCEL_JOB);
  }
  static LRESULT CALLBACK OnCall(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && s_watcher && call->message == WM_SETTEXT && call->lParam &&
        IsStatusLine(call->hwnd)) {
      s_watcher->statuses.push_back(reinterpret_cast<const wchar_t*>(call->lParam));
      if (s_watcher->statuses.back() == s_watcher->m_finished) {
        PostMessageW(GetParent(call->hwnd), WM_SYSCOMMAND, SC_CLOSE, 0);
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
    HWND window = reinterpret_cast<HWND>(wParam);
    HWND owner = GetWindow(window, GW_OWNER);
    if (s_watcher && owner && GetDlgItem(owner, IDC_STATUS)) {
      if (code == HCBT_ACTIVATE && GetDlgItem(window, 0xFFFF)) {
        s_watcher->boxes.push_back(WindowText(GetDlgItem(window, 0xFFFF)));
        PressButton(window, IDOK);
      } else if (code == HCBT_DESTROYWND && GetDlgItem(window, 0xFFFF)) {
        // The box's own loop has ended: the close reaches the window's loop after the job's end.
        PostMessageW(owner, WM_SYSCOMMAND, SC_CLOSE, 0);
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }

  static CJobEndWatcher* s_watcher;
  std::wstring m_finished;
  HHOOK m_cbt = nullptr;
  HHOOK m_calls = nullptr;
  UINT_PTR m_guard = 0;
};

CJobEndWatcher* CJobEndWatcher::s_watcher = nullptr;

TEST(ApplicationStart, CommandLinePathsStartTheJobOnceTheWindowShowsAndFoldersStandForTheirPictures) {
  CTestRegistry registry;  // the settings read at start-up are the test's
  ASSERT_TRUE(registry.StandInForCurrentUser());
  CTempDir temp;
  for (const wchar_t* name : {L"a.png", L"b.png", L"more\\c.png"}) {
    CreateDirectoryW((temp / L"more").c_str(), nullptr);
    ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(64, 48), temp / name));
  }
  // Only profile 1 is on, writing into `folder`; what the program saved at its last close is
  // replaced.
  auto writeInto = [&](const std::wstring& folder) {
    CSettings& settings = GetSettings();
    settings.Profiles = CSettings().Profiles;
    settings.Profiles[0].Folder = temp / folder;
    settings.Profiles[0].Prefix = L"p_";
    settings.Profiles[1].Use = settings.Profiles[2].Use = false;
    return settings.SaveSettings();
  };

  ASSERT_TRUE(writeInto(L"out"));
  {
    CJobEndWatcher watcher(2);
    EXPECT_EQ(2, RunApplication(GetModuleHandleW(nullptr), SW_SHOWNORMAL,
                                {temp / L"a.png", temp / L"b.png"}));
    EXPECT_TRUE(watcher.boxes.empty());
    ASSERT_FALSE(watcher.statuses.empty());
    EXPECT_EQ(FormattedResourceString(IDS_STATUS_FINISHED, 2), watcher.statuses.back());
    EXPECT_TRUE(FileExists(temp / L"out\\p_a.png"));
    EXPECT_TRUE(FileExists(temp / L"out\\p_b.png"));
  }

  // A folder on the command line stands for its pictures, as a dropped one does: its outputs go
  // to a subfolder of its name.
  ASSERT_TRUE(writeInto(L"out2"));
  CJobEndWatcher watcher(2);
  EXPECT_EQ(2, RunApplication(GetModuleHandleW(nullptr), SW_SHOWNORMAL,
                              {temp / L"a.png", temp / L"more"}));
  EXPECT_TRUE(watcher.boxes.empty()) << (watcher.boxes.empty() ? std::wstring() : watcher.boxes[0]);
  ASSERT_FALSE(watcher.statuses.empty());
  EXPECT_EQ(FormattedResourceString(IDS_STATUS_FINISHED, 2), watcher.statuses.back());
  EXPECT_TRUE(FileExists(temp / L"out2\\p_a.png"));
  EXPECT_TRUE(FileExists(temp / L"out2\\more\\p_c.png"));
}

// Waits, woken by the file system's change notices of the names right inside `folder`, until
// `done` holds; false when no notice comes for 30 seconds. Folders made after the watch starts
// are not watched on every platform, so only the folder's own names are.
bool WaitForFiles(const std::wstring& folder, const std::function<bool()>& done) {
  HANDLE change = FindFirstChangeNotificationW(
      folder.c_str(), FALSE, FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME);
  if (change == INVALID_HANDLE_VALUE) return false;
  bool reached = done();
  while (!reached && WaitForSingleObject(change, 30000) == WAIT_OBJECT_0) {
    FindNextChangeNotification(change);
    reached = done();
  }
  FindCloseChangeNotification(change);
  return reached;
}

TEST_F(ApplicationTest, ADragFromAnotherProcessOfItemsWithoutFilesIsShrunkAndItsCopyGoes) {
  CTempDir temp;
  CSettings& settings = GetSettings();
  const std::vector<ShrinkProfile> saved = settings.Profiles;
  for (size_t i = 0; i < settings.Profiles.size(); ++i) settings.Profiles[i].Use = i == 0;
  settings.Profiles[0].Folder = temp / L"out";
  ASSERT_TRUE(CreateDirectoryW(settings.Profiles[0].Folder.c_str(), nullptr));
  settings.Profiles[0].Prefix = L"s_";
  ASSERT_TRUE(settings.SaveSettings());
  settings.Profiles = saved;
  const std::wstring picture = temp / L"picture.png";
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(320, 240), picture));
  // What a killed instance left, which the start sweeps away.
  const std::wstring dead = DropFoldersRoot() + L"\\drop-" + std::wstring(8, L'0');
  MakeFile(dead + L"\\kestrelle.lock");
  MakeFile(dead + L"\\1\\left.png");

  CProgram program(L"");
  ASSERT_TRUE(program.Started());
  HWND dialog = program.Dialog();
  ASSERT_NE(nullptr, dialog);
  EXPECT_FALSE(FileExists(dead));

  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  {
    RECT status;
    GetWindowRect(GetDlgItem(dialog, IDC_STATUS), &status);
    ASSERT_TRUE(SetCursorPos((status.left + status.right) / 2, (status.top + status.bottom) / 2));
    const std::wstring name = L"from phone " + std::to_wstring(GetCurrentProcessId()) + L".png";
    CReleasingSource source;
    DWORD effect = DROPEFFECT_NONE;
    EXPECT_EQ(DRAGDROP_S_DROP,
              DoDragDrop(ContentsData({{name, ReadBytes(picture)}}, ContentMedium::Stream).Get(),
                         &source, DROPEFFECT_COPY, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
    const std::wstring output = temp / (L"out\\s_" + name);
    EXPECT_TRUE(WaitForFiles(temp / L"out", [&] { return FileExists(output); }));
    // The copy's drop folder is the last thing removed.
    EXPECT_TRUE(WaitForFiles(DropFoldersRoot(), [&] { return DropCopiesNamed(name).empty(); }))
        << "the job's end takes the copy";
  }
  OleUninitialize();
  PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(2u, program.Wait());
}

// While RunApplication runs the window on this thread: answers each box of the window with OK,
// and from inside the first one (a failed job's box) first starts the program with `arguments`,
// a later start that hands its paths to this window, handling this thread's messages until it
// has ended. Once the first box has gone, the window is closed.
class CHandOverUnderTheBox {
public:
  CHandOverUnderTheBox(std::wstring arguments, std::wstring folder)
      : m_arguments(std::move(arguments)), m_folder(std::move(folder)) {
    WNDCLASSW receiver = {};
    receiver.lpfnWndProc = Receive;
    receiver.hInstance = GetModuleHandleW(nullptr);
    receiver.lpszClassName = L"KestrelleTestHandOverUnderTheBox";
    RegisterClassW(&receiver);
    m_receiver = CreateWindowExW(0, receiver.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                 nullptr, receiver.hInstance, nullptr);
    s_self = this;
    m_cbt = SetWindowsHookExW(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    m_guard = SetTimer(nullptr, 0, 60000, EndStalledRun);
  }
  ~CHandOverUnderTheBox() {
    KillTimer(nullptr, m_guard);
    UnhookWindowsHookEx(m_cbt);
    s_self = nullptr;
    DestroyWindow(m_receiver);
  }
  CHandOverUnderTheBox(const CHandOverUnderTheBox&) = delete;
  CHandOverUnderTheBox& operator=(const CHandOverUnderTheBox&) = delete;

  std::vector<std::wstring> boxes;
  DWORD senderExit = 0xFFFFFFFF;
  bool cancelUnderTheBox = true;

private:
  static void CALLBACK EndStalledRun(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(kLoopTimedOut); }
  static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
    HWND box = reinterpret_cast<HWND>(wParam);
    HWND owner = GetWindow(box, GW_OWNER);
    if (s_self && owner && GetDlgItem(owner, IDC_STATUS) && GetDlgItem(box, 0xFFFF)) {
      if (code == HCBT_ACTIVATE &&
          std::find(s_self->m_seen.begin(), s_self->m_seen.end(), box) == s_self->m_seen.end()) {
        s_self->m_seen.push_back(box);
        // Answered from the box's own loop, once its activation is over.
        PostMessageW(s_self->m_receiver, WM_APP, 0, reinterpret_cast<LPARAM>(box));
      } else if (code == HCBT_DESTROYWND && !s_self->m_seen.empty() && box == s_self->m_seen[0]) {
        PostMessageW(owner, WM_SYSCOMMAND, SC_CLOSE, 0);
      }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static LRESULT CALLBACK Receive(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_APP || !s_self) return DefWindowProcW(window, message, wParam, lParam);
    HWND box = reinterpret_cast<HWND>(lParam);
    s_self->boxes.push_back(WindowText(GetDlgItem(box, 0xFFFF)));
    if (s_self->boxes.size() == 1) {
      s_self->cancelUnderTheBox =
          IsWindowEnabled(GetDlgItem(GetWindow(box, GW_OWNER), IDC_CANCEL_JOB)) != FALSE;
      s_self->senderExit = s_self->RunSender();
    }
    PressButton(box, IDOK);
    return 0;
  }
  DWORD RunSender() {
    std::wstring line = L"\"" + ProgramPath() + L"\" " + m_arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, m_folder.c_str(),
                        &startup, &started)) {
      return 0xFFFFFFFF;
    }
    while (MsgWaitForMultipleObjects(1, &started.hProcess, FALSE, 30000, QS_ALLINPUT) ==
           WAIT_OBJECT_0 + 1) {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
    DWORD code = 0;
    GetExitCodeProcess(started.hProcess, &code);
    if (code == STILL_ACTIVE) {
      TerminateProcess(started.hProcess, 99);
      WaitForSingleObject(started.hProcess, 30000);
    }
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return code;
  }

  static CHandOverUnderTheBox* s_self;
  std::wstring m_arguments;
  std::wstring m_folder;
  std::vector<HWND> m_seen;
  HWND m_receiver = nullptr;
  HHOOK m_cbt = nullptr;
  UINT_PTR m_guard = 0;
};

CHandOverUnderTheBox* CHandOverUnderTheBox::s_self = nullptr;

TEST_F(ApplicationTest, ALaterStartWhileAFailedJobsBoxIsOpenEndsWithOneAndNothingRunsBehindTheBox) {
  CTestRegistry registry;  // the settings this process reads at start-up are the test's
  ASSERT_TRUE(registry.StandInForCurrentUser());
  CTempDir temp;
  ASSERT_TRUE(WriteBytes(temp / L"broken.png", "\x89PNG\r\n\x1a\nbroken"));
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(64, 48), temp / L"other.png"));
  CSettings& settings = GetSettings();
  settings.Profiles = CSettings().Profiles;
  settings.Profiles[0].Folder = temp / L"out";
  settings.Profiles[0].Prefix = L"p_";
  settings.Profiles[1].Use = settings.Profiles[2].Use = false;
  ASSERT_TRUE(settings.SaveSettings());

  CHandOverUnderTheBox watcher(L"other.png", temp.Path());
  EXPECT_EQ(2, RunApplication(GetModuleHandleW(nullptr), SW_SHOWNORMAL, {temp / L"broken.png"}));
  EXPECT_EQ(static_cast<DWORD>(kHandOverRefusedExitCode), watcher.senderExit) << "a script can tell";
  EXPECT_FALSE(watcher.cancelUnderTheBox);
  ASSERT_EQ(2u, watcher.boxes.size());
  EXPECT_NE(std::wstring::npos, watcher.boxes[0].find(temp / L"broken.png"));
  EXPECT_EQ(ResourceString(IDS_MSG_DROP_WHILE_RUNNING), watcher.boxes[1]);
  EXPECT_FALSE(FileExists(temp / L"out\\p_other.png")) << "no job behind the box";
}

TEST(ApplicationStart, WithoutItsDialogTemplateEndsWithZeroAndShowsNothing) {
  CTestRegistry registry;  // the settings read at start-up are not the user's
  ASSERT_TRUE(registry.StandInForCurrentUser());
  // A module that holds no dialog 129 stands for a program whose dialog cannot be created.
  HINSTANCE empty = GetModuleHandleW(L"ntdll.dll");
  ASSERT_EQ(nullptr, FindResourceW(empty, MAKEINTRESOURCEW(129), RT_DIALOG));
  EXPECT_EQ(0, RunApplication(empty, SW_SHOWNORMAL));
  std::vector<HWND> shown;
  EnumThreadWindows(GetCurrentThreadId(), CollectShown, reinterpret_cast<LPARAM>(&shown));
  EXPECT_TRUE(shown.empty());
}

}  // namespace

TEST(ApplicationManifest, DeclaresCommonControlsPerMonitorDpiAndLongPaths) {
  // Read from the program itself, as the loader reads it.
  HMODULE program = LoadLibraryExW(ProgramPath().c_str(), nullptr,
                                   LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(nullptr, program);
  HRSRC found = FindResourceW(program, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(nullptr, found);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(program, found)));
  const std::string manifest(bytes, SizeofResource(program, found));
  FreeLibrary(program);
  for (const char* declaration :
       {"name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
        "<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
        "PerMonitorV2, PerMonitor</dpiAwareness>",
        "<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
        "true</longPathAware>"}) {
    EXPECT_NE(std::string::npos, manifest.find(declaration)) << declaration;
  }
}
