// A job session driven as the dialog drives it, on a real window of the test thread: the job's
// timer ticks collect the finished tasks, and no tick follows StopTimer.
#include <windows.h>

#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "image/encode/ImageSaver.h"
#include "job/JobSession.h"
#include "job/ShrinkTaskEx.h"
#include "support/ImageCalls.h"
#include "support/Pictures.h"
#include "support/TempDir.h"
#include "win/SingleTimer.h"

namespace {

// A front end with nothing to show: the test's jobs are never refused nor asked about.
class CQuietFront : public CJobSessionClient {
public:
  void ShowStartError(const StartRefusal&) override {}
  bool ConfirmOverwrite(const std::wstring&) override { return true; }
  void OnListingEnded(unsigned) override {}
};

class CJobWindow : public CSingleTimerImpl<CJobWindow, 200, 1> {
public:
  CJobWindow() : session(&m_front) {
    static const wchar_t kClass[] = L"KestrelleJobTestWindow";
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);  // the second window finds the class registered
    CreateWindowExW(0, kClass, L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                    wc.hInstance, this);
  }
  ~CJobWindow() {
    if (m_hWnd) DestroyWindow(m_hWnd);
  }

  // The job's tick: collects like the dialog does and keeps what it found.
  void OnTick() {
    ++ticks;
    if (CShrinkTaskExPtr failed = session.CollectFinished()) failures.push_back(failed);
  }

  CQuietFront m_front;
  CJobSession session;
  HWND m_hWnd = nullptr;
  int ticks = 0;
  std::vector<CShrinkTaskExPtr> failures;
  bool destroySeenAfterTimer = false;

private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
      if (message == WM_NCCREATE) {
        auto* created = static_cast<CJobWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        created->m_hWnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
      }
      auto* self = reinterpret_cast<CJobWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
      if (self) {
        LRESULT result = 0;
        if (self->ProcessWindowMessage(hwnd, message, wParam, lParam, result)) return result;
        if (message == WM_DESTROY) self->destroySeenAfterTimer = true;
        if (message == WM_NCDESTROY) self->m_hWnd = nullptr;
      }
    } catch (...) {
      return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }
};

// Dispatches the test thread's messages until `done` holds or `milliseconds` have passed.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds) {
  DWORD start = GetTickCount();
  while (!done()) {
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) return false;
    MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds - elapsed, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    MSG msg;
    while (!done() && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return true;
}

}  // namespace

TEST(TimerClient, TicksCollectEveryFinishedTaskAndEachJobStartsAfresh) {
  CTempDir dir;
  CFileList files;
  for (int i = 0; i < 5; ++i) {
    const std::wstring path = dir / (L"p" + std::to_wstring(i) + L".png");
    ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(16, 12), path));
    files.Add(path);
  }
  std::vector<ShrinkProfile> profiles(3);
  profiles[0].Folder = dir / L"out";
  profiles[1].Use = profiles[2].Use = false;
  CJobWindow window;
  ASSERT_NE(nullptr, window.m_hWnd);

  ASSERT_EQ(StartOutcome::Running, window.session.Start(files, profiles, CKeepAlive(), CJobSession::Listing::Inline));
  window.StartTimer();
  EXPECT_EQ(5, window.session.GetTotal());
  EXPECT_TRUE(window.IsTimerRunning());
  ASSERT_TRUE(PumpUntil([&] { return window.session.GetDone() == 5 && !window.session.IsWorkerRunning(); }, 60000));
  window.StopTimer();
  window.session.Finish();
  EXPECT_GT(window.ticks, 0);
  EXPECT_TRUE(window.failures.empty());

  // The next job counts from zero and collects only its own tasks.
  profiles[0].Folder = dir / L"out2";
  CFileList two;
  two.Add(dir / L"p0.png");
  two.Add(dir / L"p1.png");
  ASSERT_EQ(StartOutcome::Running, window.session.Start(two, profiles, CKeepAlive(), CJobSession::Listing::Inline));
  window.StartTimer();
  EXPECT_EQ(2, window.session.GetTotal());
  EXPECT_EQ(0, window.session.GetDone());
  ASSERT_TRUE(PumpUntil([&] { return window.session.GetDone() == 2 && !window.session.IsWorkerRunning(); }, 60000));
  window.StopTimer();
  window.session.Finish();
}

TEST(TimerClient, NoTickArrivesAfterStopTimerEvenWhenOneIsAlreadyQueued) {
  CJobWindow window;
  ASSERT_NE(nullptr, window.m_hWnd);
  window.StartTimer();
  ASSERT_TRUE(PumpUntil([&] { return window.ticks >= 2; }, 10000));

  // Let the timer fall due without taking its message, and queue one more by hand.
  ASSERT_EQ(WAIT_OBJECT_0, MsgWaitForMultipleObjects(0, nullptr, FALSE, 10000, QS_TIMER));
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, window.m_hWnd, WM_TIMER, WM_TIMER, PM_NOREMOVE));
  ASSERT_TRUE(PostMessageW(window.m_hWnd, WM_TIMER, 1, 0));
  int ticks = window.ticks;
  window.StopTimer();
  EXPECT_FALSE(window.IsTimerRunning());
  EXPECT_FALSE(PeekMessageW(&msg, window.m_hWnd, WM_TIMER, WM_TIMER, PM_NOREMOVE));
  EXPECT_FALSE(PumpUntil([&] { return window.ticks != ticks; }, 700));

  // A quit already posted survives the purge, for the loop that ends on it.
  window.StartTimer();
  ASSERT_TRUE(PostMessageW(window.m_hWnd, WM_TIMER, 1, 0));
  PostQuitMessage(5);
  window.StopTimer();
  EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(5u, msg.wParam);
  EXPECT_FALSE(PeekMessageW(&msg, window.m_hWnd, WM_TIMER, WM_TIMER, PM_NOREMOVE));

  // Destroying the window stops a running timer and still reaches the window's own handling.
  window.StartTimer();
  EXPECT_TRUE(window.IsTimerRunning());
  DestroyWindow(window.m_hWnd);
  EXPECT_FALSE(window.IsTimerRunning());
  EXPECT_TRUE(window.destroySeenAfterTimer);
}
