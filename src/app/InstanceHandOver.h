// One running Kestrelle per user takes the paths of later starts: the block of paths that travels
// in WM_COPYDATA (written and checked by plain functions), the per-user instance slot that a start
// claims or hands its paths to, and the window's mix-in that receives them.
//
// A start with paths claims the slot; when another process holds it, the start waits (bounded)
// until that process's window can take paths or that process has ended, sends the paths and exits.
// A start without paths opens its own window as always and claims the slot only when it is free.
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "base/Handle.h"
#include "job/FileList.h"
#include "win/AppMessages.h"
#include "win/MessageMap.h"
#include "win/Window.h"

// COPYDATASTRUCT::dwData of a block of paths; the block carries its own version as well.
const ULONG_PTR kHandOverDataId = 0x4B504154;  // "KPAT"
const unsigned kHandOverVersion = 1;
// The window's answer to a block (the result of its WM_COPYDATA): taken, or refused as a drop
// is refused (a job runs or starts, or a box of the window is open). Anything else, a window of
// another version or none, is no answer.
const LRESULT kHandOverTaken = TRUE;
const LRESULT kHandOverRefused = 2;
// The exit code of a start whose paths the running window refused, so that a script can tell.
const int kHandOverRefusedExitCode = 1;
// Bounds of a block: more than any command line can carry (32,767 characters).
const size_t kMaxHandOverPaths = 16384;
const size_t kMaxHandOverChars = 32768;

// The block: version, path count and character count (32-bit each, this machine's byte order),
// then the paths in UTF-16, each ending in a zero. Empty when the paths do not fit the bounds, a
// path is empty or holds a zero.
std::vector<unsigned char> EncodeHandOverBlock(const std::vector<std::wstring>& paths);

// Reads a block from another process: false for anything but a well-formed block of absolute paths
// within the bounds, whose lengths agree with its size to the byte.
bool DecodeHandOverBlock(const void* data, size_t size, std::vector<std::wstring>* paths);

// The per-user named objects of the running instance: a mutex held by the instance for its life,
// an event set while its window takes paths, and a small mapping naming that window.
class CInstanceSlot {
public:
  CInstanceSlot();
  ~CInstanceSlot();
  CInstanceSlot(const CInstanceSlot&) = delete;
  CInstanceSlot& operator=(const CInstanceSlot&) = delete;

  // Takes the slot when no other process holds it (an ended holder's slot included).
  bool Claim();
  bool IsClaimed() const { return m_claimed; }

  enum class HandOver {
    Delivered,  // the running instance took the paths
    Refused,    // its window refused them: it runs or starts a job, or shows a box
    Claimed,    // its holder ended before its window could take them: the slot is ours now
    NoAnswer,   // no window within the time limit, or it did not answer
  };
  // Sends `paths` to the holder's window once it can take them, waiting at most `waitMs` for it.
  HandOver HandOverPaths(const std::vector<std::wstring>& paths, DWORD waitMs);

  // The claimed slot names `window` and wakes the starts that wait for it; Withdraw undoes that
  // (the window is about to go). Nothing happens when the slot is not ours.
  void Publish(HWND window);
  void Withdraw();

private:
  bool IsOpen() const { return m_mutex.IsValid() && m_ready.IsValid() && m_mapping.IsValid(); }
  // The window named in the mapping (null: none), read or written.
  HWND PublishedWindow() const;
  bool NameWindow(HWND window);

  CHandle m_mutex;
  CHandle m_ready;
  CHandle m_mapping;
  bool m_claimed = false;
};

// The default wait of a start for the running instance's window.
const DWORD kHandOverWaitMs = 20000;

// The paths of the command line after the program's name, made absolute, in order.
std::vector<std::wstring> CommandLinePaths(const wchar_t* commandLine);

CFileListPtr MakeFileList(const std::vector<std::wstring>& paths);

// The window's side: a well-formed block is taken or refused at once, and the sender is
// answered kHandOverTaken or kHandOverRefused. Taken paths go to T::TakeFromOutside (joining a
// start from outside that has not yet taken its list, or beginning one); a refusal is told by a
// message box shown once the sender has let go, so that the box never holds the sending
// process. What T supplies: HWND m_hWnd, bool TakeFromOutside(const CFileListPtr&),
// void ShowRefusal().
template <class T>
class CHandOverTargetImpl {
public:
  BEGIN_MSG_MAP(CHandOverTargetImpl)
    MESSAGE_HANDLER(WM_COPYDATA, OnCopyData)
    MESSAGE_HANDLER(kHandOverMessage, OnHandOver)
  END_MSG_MAP()

private:
  // Decided here, inside the sender's call, so that its answer carries the refusal: the state
  // asked about is the window's at this very moment, boxes included.
  LRESULT OnCopyData(UINT, WPARAM, LPARAM lParam, bool&) {
    const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    std::vector<std::wstring> paths;
    if (!copy || copy->dwData != kHandOverDataId ||
        !DecodeHandOverBlock(copy->lpData, copy->cbData, &paths)) {
      return FALSE;
    }
    const bool taken = static_cast<T*>(this)->TakeFromOutside(MakeFileList(paths));
    m_answers.push_back(taken);
    PostMessageW(static_cast<T*>(this)->m_hWnd, kHandOverMessage, 0, 0);
    return taken ? kHandOverTaken : kHandOverRefused;
  }
  LRESULT OnHandOver(UINT, WPARAM, LPARAM, bool&) {
    if (m_answers.empty()) return 0;
    const bool taken = m_answers.front();
    m_answers.pop_front();
    // Forward first, so that a refusal's message is seen over whatever the user was doing.
    BringToForeground(static_cast<T*>(this)->m_hWnd);
    if (!taken) static_cast<T*>(this)->ShowRefusal();
    return 0;
  }

  std::deque<bool> m_answers;  // blocks answered (taken or not), oldest first, until their message
};
