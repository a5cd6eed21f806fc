// The block of paths that a later start hands to the running window, read as input from another
// process; and the paths a command line names.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/InstanceHandOver.h"
#include "base/Handle.h"
#include "support/TempDir.h"

namespace {

std::vector<std::wstring> Decoded(const std::vector<unsigned char>& block) {
  std::vector<std::wstring> paths = {L"left over"};
  if (!DecodeHandOverBlock(block.data(), block.size(), &paths)) {
    EXPECT_TRUE(paths.empty()) << "a refused block leaves no paths";
    return {L"refused"};
  }
  return paths;
}

void SetHeader(std::vector<unsigned char>* block, int field, uint32_t value) {
  memcpy(block->data() + field * sizeof value, &value, sizeof value);
}

}  // namespace

TEST(HandOverBlock, CarriesPathsInOrderWithAnyCharacters) {
  const std::vector<std::wstring> paths = {L"C:\\写真\\a b.jpg", L"\\\\server\\share\\フォルダ",
                                           L"\\\\?\\D:\\" + std::wstring(300, L'x') + L".png",
                                           L"z:\\trailing dot."};
  const std::vector<unsigned char> block = EncodeHandOverBlock(paths);
  ASSERT_FALSE(block.empty());
  EXPECT_EQ(paths, Decoded(block));
  // Copied to an odd address, as nothing promises the sender's bytes are aligned.
  std::vector<unsigned char> shifted(block.size() + 1);
  memcpy(shifted.data() + 1, block.data(), block.size());
  std::vector<std::wstring> read;
  EXPECT_TRUE(DecodeHandOverBlock(shifted.data() + 1, block.size(), &read));
  EXPECT_EQ(paths, read);
}

TEST(HandOverBlock, EncoderRefusesWhatTheDecoderWouldRefuse) {
  EXPECT_TRUE(EncodeHandOverBlock({}).empty());
  EXPECT_TRUE(EncodeHandOverBlock({L"C:\\a", L""}).empty());
  EXPECT_TRUE(EncodeHandOverBlock({std::wstring(L"C:\\a\0b", 6)}).empty());
  // The shortest paths: the count reaches its bound as the characters reach theirs.
  EXPECT_FALSE(EncodeHandOverBlock(std::vector<std::wstring>(kMaxHandOverPaths, L"x")).empty());
  EXPECT_TRUE(EncodeHandOverBlock(std::vector<std::wstring>(kMaxHandOverPaths + 1, L"x")).empty());
  EXPECT_TRUE(EncodeHandOverBlock({L"C:\\" + std::wstring(kMaxHandOverChars - 3, L'a')}).empty());
  EXPECT_FALSE(EncodeHandOverBlock({L"C:\\" + std::wstring(kMaxHandOverChars - 4, L'a')}).empty());
}

TEST(HandOverBlock, HostileBlocksAreRefused) {
  const std::vector<unsigned char> good = EncodeHandOverBlock({L"C:\\a.jpg", L"C:\\b.jpg"});
  ASSERT_EQ(12u + 18u * 2u, good.size());
  EXPECT_EQ(std::vector<std::wstring>({L"refused"}), Decoded({}));
  std::vector<std::wstring> none;
  EXPECT_FALSE(DecodeHandOverBlock(nullptr, 0, &none));

  struct Case {
    const char* what;
    std::vector<unsigned char> block;
  };
  std::vector<Case> cases;
  auto changed = [&](const char* what, int field, uint32_t value) {
    Case c{what, good};
    SetHeader(&c.block, field, value);
    cases.push_back(c);
  };
  changed("another version", 0, kHandOverVersion + 1);
  changed("no paths", 1, 0);
  changed("fewer paths than it holds", 1, 1);
  changed("more paths than it holds", 1, 3);
  changed("more paths than allowed", 1, static_cast<uint32_t>(kMaxHandOverPaths + 1));
  changed("characters beyond its end", 2, 19);
  changed("fewer characters than it holds", 2, 17);
  changed("a length that wraps", 2, 0x80000000u + 18);
  Case truncated{"cut inside the header", std::vector<unsigned char>(good.begin(), good.begin() + 11)};
  cases.push_back(truncated);
  Case odd{"an odd byte after the text", good};
  odd.block.push_back(0);
  cases.push_back(odd);
  Case unterminated{"no terminator on the last path", good};
  unterminated.block[unterminated.block.size() - 2] = 'x';
  cases.push_back(unterminated);
  Case empty{"an empty path", EncodeHandOverBlock({L"C:\\a.jpg", L"C:\\b.jpg"})};
  empty.block[12 + 9 * 2] = 0;  // the second path's "C" ends it: "", then ":\b.jpg"
  SetHeader(&empty.block, 1, 3);
  cases.push_back(empty);
  for (const wchar_t* relative : {L"a.jpg", L"..\\a.jpg", L"\\a.jpg", L"C:a.jpg", L"1:\\a"}) {
    Case c{"a path that is not absolute", EncodeHandOverBlock({L"C:\\ok", relative})};
    cases.push_back(c);
  }
  // A count far beyond the bound with a size that matches the characters.
  Case many{"too many paths", EncodeHandOverBlock(std::vector<std::wstring>(3, L"C:\\"))};
  SetHeader(&many.block, 1, 0xFFFFFFFFu);
  cases.push_back(many);

  for (const Case& c : cases) {
    ASSERT_FALSE(c.block.empty()) << c.what;
    EXPECT_EQ(std::vector<std::wstring>({L"refused"}), Decoded(c.block)) << c.what;
  }
}

TEST(CommandLinePaths, AreTheArgumentsAfterTheProgramMadeAbsolute) {
  CTempDir temp;
  wchar_t saved[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryW(temp.Path().c_str()));
  const std::vector<std::wstring> paths = CommandLinePaths(
      L"\"C:\\Program Files\\Kestrelle.exe\" \"写真 1.jpg\" sub\\b.png \"\" D:\\c\\ \"\\\\srv\\s\\d\"");
  SetCurrentDirectoryW(saved);
  EXPECT_EQ(std::vector<std::wstring>({temp / L"写真 1.jpg", temp / L"sub\\b.png", L"D:\\c\\",
                                       L"\\\\srv\\s\\d"}),
            paths);
  EXPECT_TRUE(CommandLinePaths(L"Kestrelle.exe").empty());
  // What is handed over is what the command line named.
  std::vector<std::wstring> read;
  const std::vector<unsigned char> block = EncodeHandOverBlock(paths);
  ASSERT_TRUE(DecodeHandOverBlock(block.data(), block.size(), &read));
  EXPECT_EQ(paths, read);
}

namespace {

// Holds the slot on a thread of its own, as another process would: a mutex belongs to a thread,
// and the test's own thread could take it again. Gives it back when told, or vanishes with it
// held, as a process that dies does (the mutex is then abandoned).
class CHolderThread {
public:
  // `window`, when given, is published as the holder's window once the slot is claimed.
  explicit CHolderThread(bool giveBack, HWND window = nullptr)
      : m_giveBack(giveBack), m_window(window),
        m_claimed(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        m_release(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        m_thread(CreateThread(nullptr, 0, Run, this, 0, nullptr)) {
    WaitForSingleObject(m_claimed.Get(), 30000);
  }
  ~CHolderThread() { End(); }
  CHolderThread(const CHolderThread&) = delete;
  CHolderThread& operator=(const CHolderThread&) = delete;

  bool Claimed() const { return m_holds; }
  void End() {
    SetEvent(m_release.Get());
    if (m_thread.IsValid()) WaitForSingleObject(m_thread.Get(), 30000);
  }

private:
  static DWORD WINAPI Run(void* self) {
    auto* holder = static_cast<CHolderThread*>(self);
    auto* slot = new CInstanceSlot;
    holder->m_holds = slot->Claim();
    if (holder->m_window) slot->Publish(holder->m_window);
    SetEvent(holder->m_claimed.Get());
    WaitForSingleObject(holder->m_release.Get(), 30000);
    if (holder->m_giveBack) delete slot;  // otherwise nothing gives the slot back
    return 0;
  }

  bool m_giveBack;
  HWND m_window;
  bool m_holds = false;
  CHandle m_claimed;
  CHandle m_release;
  CHandle m_thread;
};

}  // namespace

TEST(InstanceSlot, OneHolderAtATimeAndAnEndedHolderLeavesItToTheNextStart) {
  {
    CHolderThread holder(true);
    ASSERT_TRUE(holder.Claimed());
    CInstanceSlot second;
    EXPECT_FALSE(second.Claim());
    // Held but not published: no window takes the paths within the limit.
    EXPECT_EQ(CInstanceSlot::HandOver::NoAnswer, second.HandOverPaths({L"C:\\a.png"}, 0));
    EXPECT_FALSE(second.IsClaimed());
    holder.End();
    // Given back by its holder: the next start takes it.
    EXPECT_TRUE(second.Claim());
  }
  CHolderThread vanished(false);
  ASSERT_TRUE(vanished.Claimed());
  vanished.End();
  CInstanceSlot next;
  EXPECT_EQ(CInstanceSlot::HandOver::Claimed, next.HandOverPaths({L"C:\\a.png"}, 30000));
  EXPECT_TRUE(next.IsClaimed());
}

namespace {

// A window that answers blocks of paths as the main dialog does, taking them while told to; it
// records what it took and how often it told a refusal.
class CAnsweringWindow : public CHandOverTargetImpl<CAnsweringWindow> {
public:
  CAnsweringWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KestrelleHandOverTest";
    RegisterClassW(&windowClass);
    m_hWnd = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                             nullptr, windowClass.hInstance, this);
  }
  ~CAnsweringWindow() { DestroyWindow(m_hWnd); }
  CAnsweringWindow(const CAnsweringWindow&) = delete;
  CAnsweringWindow& operator=(const CAnsweringWindow&) = delete;

  bool TakeFromOutside(const CFileListPtr& files) {
    if (!takes) return false;
    taken.insert(taken.end(), files->begin(), files->end());
    return true;
  }
  void ShowRefusal() { ++refusals; }
  void Pump() {
    MSG message;
    while (PeekMessageW(&message, m_hWnd, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }

  HWND m_hWnd = nullptr;
  bool takes = true;
  std::vector<std::wstring> taken;
  int refusals = 0;

private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(
                            reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<CAnsweringWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    LRESULT result = 0;
    if (self && self->ProcessWindowMessage(window, message, wParam, lParam, result)) return result;
    return DefWindowProcW(window, message, wParam, lParam);
  }
};

}  // namespace

TEST(InstanceSlot, AStartLearnsWhetherTheWindowTookOrRefusedItsPathsAndTheRefusalIsToldAfter) {
  CAnsweringWindow window;
  ASSERT_NE(nullptr, window.m_hWnd);
  CHolderThread holder(true, window.m_hWnd);
  ASSERT_TRUE(holder.Claimed());
  CInstanceSlot later;
  const std::vector<std::wstring> paths = {L"C:\\a.png", L"C:\\写真\\b.png"};
  EXPECT_EQ(CInstanceSlot::HandOver::Delivered, later.HandOverPaths(paths, 30000));
  EXPECT_EQ(paths, window.taken);
  window.Pump();
  EXPECT_EQ(0, window.refusals);

  window.takes = false;
  EXPECT_EQ(CInstanceSlot::HandOver::Refused, later.HandOverPaths({L"C:\\c.png"}, 30000));
  EXPECT_EQ(0, window.refusals) << "no box while the sender waits for its answer";
  window.Pump();
  EXPECT_EQ(1, window.refusals);
  EXPECT_EQ(paths, window.taken);
  EXPECT_FALSE(later.IsClaimed()) << "a refused start opens no window of its own";
}
