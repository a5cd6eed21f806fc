// Dialog test support.
#include "app/GuiSupport.h"

#include <commctrl.h>

#include "settings/Settings.h"
#include "win/AppModule.h"

const wchar_t kProductKey[] = L"Software\\Orvandel\\Kestrelle32";
const wchar_t kSettingKey[] = L"Software\\Orvandel\\Kestrelle32\\Setting";

namespace {

void CALLBACK EndStalledRun(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(kLoopTimedOut); }

}  // namespace

std::wstring WindowText(HWND window) {
  std::wstring text;
  CWindowW::GetItemText(window, &text, false);
  return text;
}

std::wstring ProgramPath() {
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  path.resize(path.find_last_of(L'\\'));
  path.resize(path.find_last_of(L'\\'));
  return path + L"\\src\\kestrelle.exe";
}

void DialogTest::SetUp() {
  m_registry.reset(new CTestRegistry);
  ASSERT_TRUE(m_registry->StandInForCurrentUser());
  // The process's settings start each test as a first start would have them.
  const CSettings defaults;
  CSettings& settings = GetSettings();
  settings.WindowPlacement = defaults.WindowPlacement;
  settings.Profiles = defaults.Profiles;
  settings.FolderHistory = defaults.FolderHistory;
  settings.PrefixHistory = defaults.PrefixHistory;
  GetAppModule().Init(GetModuleHandleW(nullptr));
  ASSERT_TRUE(GetAppModule().AddMessageLoop(&m_loop));
}

void DialogTest::TearDown() {
  m_dialog.reset();
  // Nothing of one test may reach the next: a quit or a key left in the queue goes here.
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
  GetAppModule().RemoveMessageLoop();
  GetAppModule().Term();
  m_registry.reset();
}

void DialogTest::ClearStoredSettings() {
  if (m_registry) RegDeleteTreeW(m_registry->Hive(), kProductKey);
}

HWND DialogTest::OpenDialog() { return OpenDialog(std::make_shared<CMainDlg>()); }

HWND DialogTest::OpenDialog(const std::shared_ptr<CMainDlg>& dialog) {
  m_dialog = dialog;
  HWND window = m_dialog->Create(nullptr);
  EXPECT_NE(nullptr, window);
  // A window that its placement has maximised is already shown.
  if (window && !IsWindowVisible(window)) ShowWindow(window, SW_SHOWNORMAL);
  return window;
}

HWND DialogTest::ComboEdit(int id) const {
  COMBOBOXINFO info = {};
  info.cbSize = sizeof info;
  return GetComboBoxInfo(Item(id), &info) ? info.hwndItem : nullptr;
}

int DialogTest::RunQueued() {
  PostQuitMessage(kQueueDrained);
  return m_loop.Run();
}

int DialogTest::RunUntilQuit() {
  UINT_PTR guard = SetTimer(nullptr, 0, 20000, EndStalledRun);
  int result = m_loop.Run();
  KillTimer(nullptr, guard);
  return result;
}

void DialogTest::PostKey(HWND window, UINT key, bool alt) {
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
  const LPARAM context = alt ? (1 << 29) : 0;
  PostMessageW(window, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, 1 | scan | context);
  PostMessageW(window, alt ? WM_SYSKEYUP : WM_KEYUP, key,
               1 | scan | context | static_cast<LPARAM>(0xC0000000u));
}

CHeldKeys::CHeldKeys(std::vector<UINT> keys) {
  GetKeyboardState(m_saved);
  BYTE state[256];
  memcpy(state, m_saved, sizeof state);
  for (UINT key : keys) state[key] |= 0x80;
  SetKeyboardState(state);
}

CHeldKeys::~CHeldKeys() { SetKeyboardState(m_saved); }

namespace {
CBoxWatcher* g_watcher = nullptr;  // hook procedures carry no context: one watcher at a time
const wchar_t kReceiverClass[] = L"KestrelleTestBoxWatcher";
}

CBoxWatcher::CBoxWatcher(HWND owner, std::function<void(HWND)> answer)
    : m_owner(owner), m_answer(std::move(answer)) {
  WNDCLASSW receiver = {};
  receiver.lpfnWndProc = Receive;
  receiver.hInstance = GetModuleHandleW(nullptr);
  receiver.lpszClassName = kReceiverClass;
  RegisterClassW(&receiver);  // fails harmlessly once the class exists
  m_receiver = CreateWindowExW(0, kReceiverClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(m_receiver, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  g_watcher = this;
  m_hook = SetWindowsHookExW(WH_CBT, Observe, nullptr, GetCurrentThreadId());
  EXPECT_NE(nullptr, m_receiver);
  EXPECT_NE(nullptr, m_hook);
}

CBoxWatcher::~CBoxWatcher() {
  if (m_hook) UnhookWindowsHookEx(m_hook);
  g_watcher = nullptr;
  if (m_receiver) DestroyWindow(m_receiver);
}

LRESULT CALLBACK CBoxWatcher::Observe(int code, WPARAM wParam, LPARAM lParam) {
  CBoxWatcher* watcher = g_watcher;
  HWND box = reinterpret_cast<HWND>(wParam);
  if (code == HCBT_ACTIVATE && watcher && GetWindow(box, GW_OWNER) == watcher->m_owner) {
    bool seen = false;
    for (HWND earlier : watcher->m_activated) seen |= earlier == box;
    if (!seen) {
      watcher->m_activated.push_back(box);
      // Answered from the box's own loop, once the activation and what it set off are over.
      PostMessageW(watcher->m_receiver, WM_APP, 0, reinterpret_cast<LPARAM>(box));
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK CBoxWatcher::Receive(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* watcher = reinterpret_cast<CBoxWatcher*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_APP && watcher) {
    watcher->Answer(reinterpret_cast<HWND>(lParam));
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void CBoxWatcher::Answer(HWND box) {
  if (!IsWindow(box)) return;
  SeenBox found;
  found.window = box;
  found.caption = WindowText(box);
  found.text = WindowText(GetDlgItem(box, 0xFFFF));  // a message box's text
  found.owner = GetWindow(box, GW_OWNER);
  found.ownerAlive = IsWindow(m_owner) != FALSE;
  m_boxes.push_back(found);
  m_answer(box);
}

void PressButton(HWND box, int id) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

CMessageRecorder::CMessageRecorder(HWND window, std::vector<UINT> messages)
    : m_window(window), m_messages(std::move(messages)) {
  SetWindowSubclass(m_window, Observe, 2, reinterpret_cast<DWORD_PTR>(this));
}

CMessageRecorder::~CMessageRecorder() {
  if (IsWindow(m_window)) RemoveWindowSubclass(m_window, Observe, 2);
}

size_t CMessageRecorder::Count(UINT message) const {
  size_t count = 0;
  for (const Entry& entry : m_seen) count += entry.message == message ? 1 : 0;
  return count;
}

LRESULT CALLBACK CMessageRecorder::Observe(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam, UINT_PTR, DWORD_PTR self) {
  auto* recorder = reinterpret_cast<CMessageRecorder*>(self);
  for (UINT wanted : recorder->m_messages) {
    if (wanted == message) recorder->m_seen.push_back({message, wParam, lParam});
  }
  return DefSubclassProc(window, message, wParam, lParam);
}
