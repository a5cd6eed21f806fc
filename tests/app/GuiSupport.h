// What the dialog tests share: a main dialog created from its real template with the module and
// message loop set up as at start-up, a private registry key standing in for the user's (so the
// user's own settings are never read, written or deleted), runs of the real message loop,
// keystrokes with modifier keys held, and an observer that answers the modal boxes a window owns.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/MainDlg.h"
#include "settings/TestRegistry.h"
#include "win/MessageLoop.h"

// The program's key and its settings key, below HKEY_CURRENT_USER.
extern const wchar_t kProductKey[];
extern const wchar_t kSettingKey[];

// Quit codes of the loop runs below, kept apart from the program's own exit code 2.
const int kQueueDrained = 1001;
const int kLoopTimedOut = 1002;

// Each test runs with a private key of its own as HKEY_CURRENT_USER, holding no program key at
// the start: the program, and the test through HKEY_CURRENT_USER, read and write there.
class DialogTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Deletes the program's key with everything below it from the test's private key.
  void ClearStoredSettings();

  // Creates the main dialog as start-up does and shows it; fails the test when it cannot.
  HWND OpenDialog();
  // The same with a dialog of a class derived from the main dialog (shared ownership keeps the
  // derived class's destructor).
  HWND OpenDialog(const std::shared_ptr<CMainDlg>& dialog);
  HWND Item(int id) const { return GetDlgItem(m_dialog->GetHwnd(), id); }
  // The edit field inside an editable combo box.
  HWND ComboEdit(int id) const;

  // Runs the real loop over what is queued now; kQueueDrained unless something quit it first.
  int RunQueued();
  // Runs the real loop until it quits; kLoopTimedOut when nothing quits it within 20 seconds.
  int RunUntilQuit();
  // Posts a key press (down and up) to `window`, as the keyboard would deliver it to the focus.
  static void PostKey(HWND window, UINT key, bool alt = false);

  CMessageLoop m_loop;
  std::shared_ptr<CMainDlg> m_dialog;
  std::unique_ptr<CTestRegistry> m_registry;
};

// Holds modifier keys down in the thread's keyboard state for its lifetime, so that the
// accelerator translation sees them as the keyboard would have set them.
class CHeldKeys {
public:
  explicit CHeldKeys(std::vector<UINT> keys);
  ~CHeldKeys();
  CHeldKeys(const CHeldKeys&) = delete;
  CHeldKeys& operator=(const CHeldKeys&) = delete;

private:
  BYTE m_saved[256];
};

// A modal box as it was found: its caption, its message text, its owner.
struct SeenBox {
  HWND window = nullptr;
  std::wstring caption;
  std::wstring text;
  HWND owner = nullptr;
  bool ownerAlive = false;
};

// Watches for the modal boxes that `owner` owns, on this thread, while it lives. When such a box
// has been activated and its modal loop takes its next message, the watcher records it and calls
// `answer`, which must end the box (PressButton, a posted key).
class CBoxWatcher {
public:
  CBoxWatcher(HWND owner, std::function<void(HWND box)> answer);
  ~CBoxWatcher();
  CBoxWatcher(const CBoxWatcher&) = delete;
  CBoxWatcher& operator=(const CBoxWatcher&) = delete;

  const std::vector<SeenBox>& Boxes() const { return m_boxes; }

private:
  static LRESULT CALLBACK Observe(int code, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK Receive(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Answer(HWND box);

  HWND m_owner;
  std::function<void(HWND)> m_answer;
  std::vector<SeenBox> m_boxes;
  std::vector<HWND> m_activated;
  HHOOK m_hook;
  HWND m_receiver;  // a message-only window: the box's modal loop delivers to it
};

// Presses button `id` of a dialog box as a click would.
void PressButton(HWND box, int id);

// Records every message with one of the given numbers that reaches `window`, with its parameters.
class CMessageRecorder {
public:
  CMessageRecorder(HWND window, std::vector<UINT> messages);
  ~CMessageRecorder();
  CMessageRecorder(const CMessageRecorder&) = delete;
  CMessageRecorder& operator=(const CMessageRecorder&) = delete;

  struct Entry {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  const std::vector<Entry>& Seen() const { return m_seen; }
  size_t Count(UINT message) const;

private:
  static LRESULT CALLBACK Observe(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                  UINT_PTR id, DWORD_PTR self);
  HWND m_window;
  std::vector<UINT> m_messages;
  std::vector<Entry> m_seen;
};

std::wstring WindowText(HWND window);

// The program built beside the tests: build/src/kestrelle.exe beside build/tests/app_tests.exe.
std::wstring ProgramPath();
