// The drop target on a real window, called with the platform's own data objects: the shell's,
// carrying a "Shell IDList Array" of real files, and the clipboard's, carrying a CF_HDROP list
// or text; and with a source program's carrying items without a file of their own, whose copies
// the target makes. The window class below stands in for the main dialog and records what it is
// handed.
#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "app/drop/DropContents.h"
#include "app/drop/DropData.h"
#include "app/drop/DropObjects.h"
#include "app/drop/DropTarget.h"
#include "base/ComPtr.h"
#include "base/ItemIdList.h"
#include "base/PathNames.h"
#include "support/TempDir.h"
#include "win/Window.h"

namespace {

const DWORD kAnyEffect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;

POINT Centre(HWND window) {
  RECT area;
  GetWindowRect(window, &area);
  return POINT{(area.left + area.right) / 2, (area.top + area.bottom) / 2};
}

// A top-level window with an edit control standing for a profile's folder field.
class CTestDropWindow : public CWindowW, public CDropTargetImpl<CTestDropWindow> {
public:
  CTestDropWindow() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"KestrelleDropTest";
    RegisterClassW(&windowClass);
    CreateWindowExW(WS_EX_TOPMOST, windowClass.lpszClassName, L"drop",
                    WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 400, 300, nullptr, nullptr,
                    windowClass.hInstance, this);
    field = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 20, 20, 200, 24, m_hWnd,
                            nullptr, windowClass.hInstance, nullptr);
  }
  ~CTestDropWindow() {
    if (IsWindow()) DestroyWindow(m_hWnd);
  }

  bool IsJobRunning() const { return running; }
  bool HitDropFolder(POINT point) {
    RECT area;
    if (!IsWindowEnabled(field) || !GetWindowRect(field, &area) || !PtInRect(&area, point)) {
      return false;
    }
    if (GetFocus() != field) SetFocus(field);
    return true;
  }
  void SetDroppedFiles(const CFileListPtr& dropped, POINT point, WPARAM from) {
    files = dropped;
    dropPoint = point;
    source = from;
    ++stored;
  }
  // Joins while told to, as the dialog does while a start from outside waits for its message.
  bool JoinPendingStart(const CFileListPtr& more) {
    if (!joins) return false;
    for (const std::wstring& path : *more) files->Add(path);
    return true;
  }
  void TakeDropCopies(CDropFolder taken) { copies = std::move(taken); }
  int ShowMessageId(unsigned id, UINT flags) {
    messages.push_back(id);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), flags);
    return IDOK;
  }
  int ShowMessage(const std::wstring& text, UINT flags) {
    texts.push_back(text);
    EXPECT_EQ(static_cast<UINT>(MB_OK | MB_ICONERROR), flags);
    return IDOK;
  }

  // A drag entering and released at `point`; the drop's effect.
  DWORD DropAt(IDataObject* data, POINT point) {
    const ULONG references = ReferenceCount(data);
    DWORD effect = kAnyEffect;
    DropTarget()->DragEnter(data, MK_LBUTTON, {point.x, point.y}, &effect);
    effect = kAnyEffect;
    EXPECT_EQ(S_OK, DropTarget()->Drop(data, 0, {point.x, point.y}, &effect));
    EXPECT_EQ(references, ReferenceCount(data)) << "the target lets the data go";
    return effect;
  }
  POINT Elsewhere() const {
    RECT area;
    GetWindowRect(m_hWnd, &area);
    return POINT{area.right - 40, area.bottom - 40};
  }
  std::vector<std::wstring> Paths() const {
    return files ? std::vector<std::wstring>(files->begin(), files->end())
                 : std::vector<std::wstring>();
  }
  // The WM_APP (0, 0) messages posted since the last call.
  int PostedDrops() {
    int count = 0;
    MSG message;
    while (PeekMessageW(&message, m_hWnd, WM_APP, WM_APP, PM_REMOVE)) {
      count += message.wParam == 0 && message.lParam == 0 ? 1 : 100;
    }
    return count;
  }
  void Clear() {
    running = false;
    joins = false;
    source = 99;
    EnableWindow(field, TRUE);
    files.reset();
    copies.Reset();
    stored = 0;
    messages.clear();
    texts.clear();
  }

  bool running = false;
  bool joins = false;
  HWND field = nullptr;
  CFileListPtr files;
  POINT dropPoint = {};
  WPARAM source = 99;
  int stored = 0;
  std::vector<unsigned> messages;
  std::vector<std::wstring> texts;  // messages with a text of their own
  CDropFolder copies;

private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* created =
          static_cast<CTestDropWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
      created->m_hWnd = window;
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
    auto* self = reinterpret_cast<CTestDropWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    LRESULT result = 0;
    if (self && self->CDropTargetImpl<CTestDropWindow>::ProcessWindowMessage(
                    window, message, wParam, lParam, result)) {
      return result;
    }
    if (message == WM_NCDESTROY && self) self->m_hWnd = nullptr;
    return DefWindowProcW(window, message, wParam, lParam);
  }
};

// One window serves the whole suite, since taking a shown window down costs seconds under Wine
// without a window manager; each test starts with it registered and its records cleared.
class DropTargetTest : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_oleStarted = SUCCEEDED(OleInitialize(nullptr));
    s_window = new CTestDropWindow;
  }
  static void TearDownTestSuite() {
    delete s_window;
    if (s_oleStarted) OleUninitialize();
  }
  void SetUp() override {
    ASSERT_TRUE(s_oleStarted && s_window->IsWindow());
    m_window = s_window;
    m_window->Clear();
    ASSERT_TRUE(m_window->RegisterDropTarget());
  }
  void TearDown() override {
    m_window->RevokeDropTarget();
    m_window->PostedDrops();
  }

  static bool s_oleStarted;
  static CTestDropWindow* s_window;
  CTempDir m_temp;
  CTestDropWindow* m_window = nullptr;
};

bool DropTargetTest::s_oleStarted = false;
CTestDropWindow* DropTargetTest::s_window = nullptr;

TEST_F(DropTargetTest, ShellItemsBecomePathsInTheArraysOrder) {
  MakeFile(m_temp / L"b.png");
  MakeFile(m_temp / L"a 写真.jpg");
  MakeFile(m_temp / L"sub\\c.gif");
  CComPtr<IDataObject> data = FolderItemsData(m_temp.Path(), {L"b.png", L"a 写真.jpg", L"sub"});
  ASSERT_TRUE(data);
  const POINT point = m_window->Elsewhere();
  EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), m_window->DropAt(data.Get(), point));
  EXPECT_TRUE(m_window->messages.empty());
  EXPECT_EQ((std::vector<std::wstring>{m_temp / L"b.png", m_temp / L"a 写真.jpg", m_temp / L"sub"}),
            m_window->Paths());
  EXPECT_TRUE(m_window->dropPoint.x == point.x && m_window->dropPoint.y == point.y);
  EXPECT_EQ(1, m_window->PostedDrops());
}

TEST_F(DropTargetTest, AnItemWithoutAFileSystemPathRefusesTheWholeDrop) {
  const CItemIDList first(ILCreateFromPathW(MakeFile(m_temp / L"1.png").c_str()));
  const CItemIDList second(ILCreateFromPathW(MakeFile(m_temp / L"2.png").c_str()));
  LPITEMIDLIST computer = nullptr;
  ASSERT_EQ(S_OK, SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer));
  const CItemIDList virtualFolder(computer);
  CComPtr<IDataObject> data = ShellData(nullptr, {&first, &virtualFolder, &second});
  ASSERT_TRUE(data);
  m_window->files = boost::make_shared<CFileList>();
  m_window->DropAt(data.Get(), m_window->Elsewhere());
  EXPECT_EQ(std::vector<unsigned>{IDS_MSG_DROP_UNSUPPORTED}, m_window->messages);
  EXPECT_EQ(1, m_window->stored);
  EXPECT_FALSE(m_window->files) << "the dialog holds no list after a refused drop";
  EXPECT_EQ(0, m_window->PostedDrops());
}

TEST_F(DropTargetTest, FileListsKeepOrderAndLongAndJapanesePaths) {
  std::wstring deep = m_temp.Path();
  while (deep.size() < 300) deep += L"\\" + std::wstring(40, L'd');
  const std::vector<std::wstring> paths = {MakeFile(deep + L"\\長い名前.png"),
                                           MakeFile(m_temp / L"写真 1.jpg"),
                                           MakeFile(m_temp / L"b.png")};
  m_window->DropAt(ClipboardData(m_window->m_hWnd, CF_HDROP, FileListBlock(paths)).Get(),
                   m_window->Elsewhere());
  EXPECT_EQ(paths, m_window->Paths());
  EXPECT_EQ(1, m_window->PostedDrops());

  // Names in the system's code page, as older programs write them.
  std::string narrow(sizeof(DROPFILES), '\0');
  reinterpret_cast<DROPFILES*>(&narrow[0])->pFiles = sizeof(DROPFILES);
  narrow += std::string("C:\\narrow\\picture.png") + '\0' + '\0';
  m_window->DropAt(
      ClipboardData(m_window->m_hWnd, CF_HDROP, GlobalBytes(narrow.data(), narrow.size())).Get(),
      m_window->Elsewhere());
  EXPECT_EQ(std::vector<std::wstring>{L"C:\\narrow\\picture.png"}, m_window->Paths());
  EXPECT_EQ(1, m_window->PostedDrops());
  EXPECT_TRUE(m_window->messages.empty());
}

TEST_F(DropTargetTest, UnusableDataIsRefusedWithItsMessage) {
  const UINT shellIdListArray = RegisterClipboardFormatW(L"Shell IDList Array");
  const uint32_t emptyArray[] = {0, 8, 0};
  const uint32_t offsetPastTheEnd[] = {1, 12, 4096, 0};
  const wchar_t text[] = L"C:\\not\\a\\file.png";
  struct Case {
    const char* what;
    UINT format;
    HGLOBAL block;
    unsigned message;
  } cases[] = {
      {"empty file list", CF_HDROP, FileListBlock({}), IDS_MSG_DROP_UNSUPPORTED},
      {"array without items", shellIdListArray, GlobalBytes(emptyArray, sizeof emptyArray),
       IDS_MSG_DROP_UNSUPPORTED},
      {"array reaching past its end", shellIdListArray,
       GlobalBytes(offsetPastTheEnd, sizeof offsetPastTheEnd), IDS_MSG_DROP_UNSUPPORTED},
      {"text only", CF_UNICODETEXT, GlobalBytes(text, sizeof text), IDS_MSG_DROP_NO_DATA},
  };
  for (const Case& c : cases) {
    m_window->Clear();
    CComPtr<IDataObject> data = ClipboardData(m_window->m_hWnd, c.format, c.block);
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY),
              m_window->DropAt(data.Get(), m_window->Elsewhere()));
    EXPECT_EQ(std::vector<unsigned>{c.message}, m_window->messages) << c.what;
    // Data without either format leaves the dialog's last drop alone.
    EXPECT_EQ(c.message == IDS_MSG_DROP_NO_DATA ? 0 : 1, m_window->stored) << c.what;
    EXPECT_FALSE(m_window->files) << c.what;
    EXPECT_EQ(0, m_window->PostedDrops()) << c.what;
  }
}

TEST_F(DropTargetTest, DragsShowCopyAndMoveTheFocusUnlessAJobRuns) {
  MakeFile(m_temp / L"a.png");
  CComPtr<IDataObject> data = FolderItemsData(m_temp.Path(), {L"a.png"});
  CDropTargetBase* target = m_window->DropTarget();
  // The drag-image service is in play; its calls fail on some platforms, which changes nothing.
  EXPECT_TRUE(target->StartDragImageService());
  const POINT field = Centre(m_window->field), elsewhere = m_window->Elsewhere();
  auto drag = [&](bool enter, POINT point) {
    DWORD effect = kAnyEffect;
    EXPECT_EQ(S_OK, enter ? target->DragEnter(data.Get(), MK_LBUTTON, {point.x, point.y}, &effect)
                          : target->DragOver(MK_LBUTTON, {point.x, point.y}, &effect));
    EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
    return GetFocus();
  };
  SetFocus(m_window->m_hWnd);
  const ULONG references = ReferenceCount(data.Get());
  EXPECT_EQ(m_window->field, drag(true, field));
  EXPECT_EQ(references + 1, ReferenceCount(data.Get())) << "the target keeps the data while dragged";
  EXPECT_EQ(m_window->m_hWnd, drag(false, elsewhere));
  EnableWindow(m_window->field, FALSE);
  EXPECT_EQ(m_window->m_hWnd, drag(false, field)) << "a disabled field takes nothing";
  EnableWindow(m_window->field, TRUE);
  EXPECT_EQ(S_OK, target->DragLeave());
  EXPECT_EQ(references, ReferenceCount(data.Get()));

  m_window->running = true;
  EXPECT_EQ(m_window->m_hWnd, drag(true, field)) << "the focus stays while a job runs";
  EXPECT_EQ(S_OK, target->DragLeave());
  EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), m_window->DropAt(data.Get(), field));
  EXPECT_EQ(std::vector<unsigned>{IDS_MSG_DROP_WHILE_RUNNING}, m_window->messages);
  EXPECT_EQ(0, m_window->stored);
  EXPECT_EQ(0, m_window->PostedDrops());
}

TEST_F(DropTargetTest, RegistrationLastsAsLongAsTheWindow) {
  CTestDropWindow window;
  CDropTargetBase* target = window.DropTarget();
  void* offered = nullptr;
  EXPECT_EQ(S_OK, target->QueryInterface(IID_IDropTarget, &offered));
  EXPECT_EQ(S_OK, target->QueryInterface(IID_IUnknown, &offered));
  EXPECT_EQ(E_NOINTERFACE, target->QueryInterface(IID_IDataObject, &offered));
  EXPECT_EQ(nullptr, offered);
  target->Release();
  target->Release();

  ASSERT_TRUE(window.RegisterDropTarget());
  EXPECT_EQ(DRAGDROP_E_ALREADYREGISTERED, RegisterDragDrop(window.m_hWnd, target));
  window.RevokeDropTarget();
  EXPECT_EQ(DRAGDROP_E_NOTREGISTERED, RevokeDragDrop(window.m_hWnd));
  // Every reference the platform took has been given back.
  EXPECT_EQ(1u, target->AddRef());
  EXPECT_EQ(0u, target->Release());

  ASSERT_TRUE(window.RegisterDropTarget());
  DestroyWindow(window.m_hWnd);
  EXPECT_FALSE(IsRegisteredDropTarget(window.m_hWnd));
  EXPECT_EQ(1u, target->AddRef());
  EXPECT_EQ(0u, target->Release());
}

TEST_F(DropTargetTest, ARealDragReleasedOverTheWindowDropsItsFiles) {
  MakeFile(m_temp / L"a.png");
  MakeFile(m_temp / L"b.png");
  CComPtr<IDataObject> data = FolderItemsData(m_temp.Path(), {L"a.png", L"b.png"});
  const POINT point = m_window->Elsewhere();
  ASSERT_TRUE(SetCursorPos(point.x, point.y));
  CReleasingSource source;
  DWORD effect = DROPEFFECT_NONE;
  EXPECT_EQ(DRAGDROP_S_DROP, DoDragDrop(data.Get(), &source, kAnyEffect, &effect));
  EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
  EXPECT_EQ((std::vector<std::wstring>{m_temp / L"a.png", m_temp / L"b.png"}), m_window->Paths());
  EXPECT_EQ(1, m_window->PostedDrops());

  // A program's items without files of their own, dragged the same way.
  const std::wstring name = L"drag " + std::to_wstring(GetCurrentProcessId()) + L".png";
  effect = DROPEFFECT_NONE;
  EXPECT_EQ(DRAGDROP_S_DROP, DoDragDrop(ContentsData({{name, "dragged"}}, ContentMedium::Stream).Get(),
                                        &source, kAnyEffect, &effect));
  EXPECT_EQ(static_cast<DWORD>(DROPEFFECT_COPY), effect);
  ASSERT_EQ(1u, m_window->Paths().size());
  EXPECT_EQ(m_window->copies.Get().path + L"\\1\\" + name, m_window->Paths()[0]);
  EXPECT_EQ("dragged", ReadBytes(m_window->Paths()[0]));
  EXPECT_EQ(1, m_window->PostedDrops());
}

// A name no other test program running beside this one uses.
std::wstring UniqueName(const std::wstring& stem) {
  static int counter = 0;
  return stem + L" " + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter) +
         L".png";
}

TEST_F(DropTargetTest, ItemsWithoutFilesBecomePrivateCopiesNamedByTheirItemsInEveryMedium) {
  const std::wstring name = UniqueName(L"写真");
  const std::string large(300000, 'L');  // several chunks
  for (ContentMedium medium : {ContentMedium::Global, ContentMedium::Stream, ContentMedium::Storage}) {
    const int kind = static_cast<int>(medium);
    m_window->Clear();
    const std::vector<ContentItem> items = {{name, "first"},
                                            {L"sub", "", true},
                                            {L"..\\..\\" + name, "second"},
                                            {name, large},
                                            {L"..", "dots"}};
    m_window->DropAt(ContentsData(items, medium).Get(), m_window->Elsewhere());
    EXPECT_TRUE(m_window->messages.empty() && m_window->texts.empty()) << kind;
    EXPECT_EQ(1, m_window->PostedDrops()) << kind;
    ASSERT_TRUE(m_window->copies.IsValid()) << kind;
    const std::wstring folder = m_window->copies.Get().path;
    EXPECT_EQ(DropFoldersRoot() + L"\\", folder.substr(0, DropFoldersRoot().size() + 1)) << kind;
    // Folders are skipped; equal names get folders of their own; separators and dots cannot
    // leave the copy's folder.
    const std::vector<std::wstring> expected = {folder + L"\\1\\" + name,
                                                folder + L"\\2\\.._.._" + name,
                                                folder + L"\\3\\" + name, folder + L"\\4\\__"};
    ASSERT_EQ(expected, m_window->Paths()) << kind;
    const std::vector<std::string> contents = {"first", "second", large, "dots"};
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(contents[i], ReadCopy(expected[i], medium == ContentMedium::Storage)) << kind << i;
    }
    m_window->copies.Reset();
    EXPECT_FALSE(FileExists(folder)) << "released copies leave nothing behind";
  }
}

TEST_F(DropTargetTest, HostileItemsRefuseTheWholeDropAndLeaveNoCopy) {
  const std::wstring first = UniqueName(L"first"), second = UniqueName(L"second");
  const DropContentLimits limits = {1000, 1500};
  const std::string fits(800, 'f');
  ContentItem larger{second, "0123456789"};
  larger.claimedSize = 4;
  ContentItem endless{second, std::string(1001, 'e')};
  endless.claimsSize = false;
  ContentItem claimsTooMuch{second, "small"};
  claimsTooMuch.claimedSize = 2000;
  ContentItem unreadable{second, "x"};
  unreadable.readable = false;
  struct Case {
    const char* what;
    CComPtr<IDataObject> data;
    unsigned message;
  } cases[] = {
      {"count beyond its records", ContentsData({{first, fits}}, ContentMedium::Global, nullptr, 2),
       IDS_MSG_DROP_UNSUPPORTED},
      {"count of all ones", ContentsData({{first, fits}}, ContentMedium::Stream, nullptr, 0xFFFFFFFF),
       IDS_MSG_DROP_UNSUPPORTED},
      {"folders only", ContentsData({{first, "", true}}, ContentMedium::Stream), IDS_MSG_DROP_UNSUPPORTED},
      {"more than claimed", ContentsData({{first, fits}, larger}, ContentMedium::Stream),
       IDS_MSG_DROP_CONTENTS_FAILED},
      {"over the item limit", ContentsData({{first, fits}, endless}, ContentMedium::Stream),
       IDS_MSG_DROP_CONTENTS_FAILED},
      {"claims over the limit", ContentsData({{first, fits}, claimsTooMuch}, ContentMedium::Global),
       IDS_MSG_DROP_CONTENTS_FAILED},
      {"over the drop limit", ContentsData({{first, fits}, {second, fits}}, ContentMedium::Global),
       IDS_MSG_DROP_CONTENTS_FAILED},
      {"unreadable", ContentsData({{first, fits}, unreadable}, ContentMedium::Stream),
       IDS_MSG_DROP_CONTENTS_FAILED},
  };
  for (const Case& c : cases) {
    DroppedFiles drop;
    EXPECT_EQ(c.message, ReadDrop(c.data.Get(), &drop, limits)) << c.what;
    EXPECT_FALSE(drop.files) << c.what;
    EXPECT_FALSE(drop.copies.IsValid()) << c.what;
    EXPECT_EQ(c.message == IDS_MSG_DROP_CONTENTS_FAILED ? second : L"", drop.failedItem) << c.what;
    EXPECT_TRUE(DropCopiesNamed(first).empty()) << c.what << ": the copy made before the failure went";
  }
  ContentItem excess{first, std::string(100, 'x')};
  excess.claimedSize = 99;
  const std::string within(1000, 'w');
  DroppedFiles drop;
  EXPECT_EQ(0u, ReadDrop(ContentsData({{first, within}}, ContentMedium::Stream).Get(), &drop, limits))
      << "an item of the limit's size is taken";
  drop.copies.Reset();

  // Through the target, the refusal names the item and leaves the dialog nothing.
  m_window->DropAt(ContentsData({excess}, ContentMedium::Stream).Get(), m_window->Elsewhere());
  ASSERT_EQ(1u, m_window->texts.size());
  EXPECT_NE(std::wstring::npos, m_window->texts[0].find(L"\n\n" + first)) << "the item is named";
  EXPECT_TRUE(m_window->messages.empty());
  EXPECT_FALSE(m_window->files);
  EXPECT_FALSE(m_window->copies.IsValid());
  EXPECT_EQ(0, m_window->PostedDrops());
  EXPECT_TRUE(DropCopiesNamed(first).empty());
}

TEST_F(DropTargetTest, StorageItemsAreBoundedWhileTheyAreCopiedAndHostileOnesLeaveNothing) {
  // Limits far above the compound files' own sizes: only what the sources claim and give counts.
  const DropContentLimits limits = {1 << 20, (1 << 20) + 4096};
  const std::wstring first = UniqueName(L"first"), second = UniqueName(L"second");
  ContentItem fine{first, "the first item"};
  auto storageItem = [&](std::function<CComPtr<IStorage>()> make) {
    ContentItem item{second, ""};
    item.claimsSize = false;
    item.storage = std::move(make);
    return item;
  };
  const std::string big(5000, 'b');
  ContentItem overItsClaim = storageItem([&] { return NestedStorage(0, big); });
  overItsClaim.claimsSize = true;
  overItsClaim.claimedSize = 1000;  // what the streams hold is more than the whole item claims
  struct Case {
    const char* what;
    ContentItem item;
  } cases[] = {
      {"claims whose sum wraps",
       storageItem([] {
         return ClaimingStorage({{L"a", std::string(100, 'a')}, {L"b", "0123456789"}},
                                {{L"b", ~0ull - 49}});
       })},
      {"a stream longer than its claim",
       storageItem([&] { return ClaimingStorage({{L"a", big}}, {{L"a", 100}}); })},
      {"a stream over the drop's budget",
       storageItem([] { return NestedStorage(0, std::string((1 << 20) + 1, 'o')); })},
      {"storages nested 40 deep", storageItem([] { return NestedStorage(40, "deep"); })},
      {"streams over the item's own claim", overItsClaim},
  };
  for (const Case& c : cases) {
    DroppedFiles drop;
    EXPECT_EQ(static_cast<unsigned>(IDS_MSG_DROP_CONTENTS_FAILED),
              ReadDrop(ContentsData({fine, c.item}, ContentMedium::Storage).Get(), &drop, limits))
        << c.what;
    EXPECT_EQ(second, drop.failedItem) << c.what;
    EXPECT_FALSE(drop.files) << c.what;
    EXPECT_FALSE(drop.copies.IsValid()) << c.what;
    EXPECT_TRUE(DropCopiesNamed(first).empty()) << c.what;
    EXPECT_TRUE(DropCopiesNamed(second).empty()) << c.what;
  }

  // Within every bound: nested a few levels, its streams copied whole at every level.
  DroppedFiles drop;
  ASSERT_EQ(0u, ReadDrop(ContentsData({fine, storageItem([] { return NestedStorage(6, "nested"); })},
                                      ContentMedium::Storage)
                             .Get(),
                         &drop, limits));
  ASSERT_EQ(2u, drop.files->Count());
  const std::wstring copy = *std::next(drop.files->begin());
  EXPECT_EQ("nested", ReadCopy(copy, true));
  {
    // Every level kept open while the next is read: releasing a storage invalidates its children.
    std::vector<CComPtr<IStorage>> written(1);
    ASSERT_EQ(S_OK, StgOpenStorage(copy.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE,
                                   nullptr, 0, written[0].Receive()));
    for (int i = 0; i < 6; ++i) {
      CComPtr<IStorage> inner;
      ASSERT_EQ(S_OK, written.back()->OpenStorage((L"level" + std::to_wstring(i)).c_str(), nullptr,
                                                  STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                                  inner.Receive()));
      written.push_back(inner);
    }
    CComPtr<IStream> bottom;
    ASSERT_EQ(S_OK, written.back()->OpenStream(L"Contents", nullptr,
                                               STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                               bottom.Receive()));
    char bytes[16] = {};
    ULONG got = 0;
    bottom->Read(bytes, sizeof bytes, &got);
    EXPECT_EQ("nested", std::string(bytes, got));
  }
  drop.copies.Reset();
  EXPECT_TRUE(DropCopiesNamed(second).empty());
}

TEST_F(DropTargetTest, PathsThatAllExistWinOverTheItemsContents) {
  const std::wstring name = UniqueName(L"both");
  const std::vector<std::wstring> paths = {MakeFile(m_temp / L"a.png"), MakeFile(m_temp / L"b.png")};
  m_window->DropAt(ContentsData({{name, "x"}}, ContentMedium::Stream, FileListBlock(paths)).Get(),
                   m_window->Elsewhere());
  EXPECT_EQ(paths, m_window->Paths());
  EXPECT_FALSE(m_window->copies.IsValid());
  EXPECT_TRUE(DropCopiesNamed(name).empty());
  EXPECT_EQ(1, m_window->PostedDrops());

  // One path that does not exist: the items' contents are used instead.
  m_window->Clear();
  m_window->DropAt(ContentsData({{name, "x"}}, ContentMedium::Stream,
                                FileListBlock({paths[0], m_temp / L"gone.png"}))
                       .Get(),
                   m_window->Elsewhere());
  ASSERT_EQ(1u, m_window->Paths().size());
  EXPECT_EQ(m_window->copies.Get().path + L"\\1\\" + name, m_window->Paths()[0]);
  EXPECT_EQ(1, m_window->PostedDrops());
}

TEST_F(DropTargetTest, TheSweepRemovesDropFoldersWhoseOwnerIsGoneAndKeepsHeldOnes) {
  CDropFolder held;
  ASSERT_EQ(S_OK, CreateDropFolder(&held));
  const std::wstring heldCopy = MakeFile(held.Get().path + L"\\1\\held.png");
  // What a killed owner leaves: its lock file, no longer open, and its copies.
  wchar_t digits[9];
  swprintf(digits, 9, L"%08x", (GetCurrentProcessId() * 2654435761u) ^ 0x5a5a5a5au);
  const std::wstring dead = DropFoldersRoot() + L"\\drop-" + digits;
  MakeFile(dead + L"\\kestrelle.lock");
  MakeFile(dead + L"\\1\\dead.png");
  MakeFile(dead + L"\\2\\sub\\dead.png");
  const std::wstring other = MakeFile(DropFoldersRoot() + L"\\drop-other-" + digits + L"\\x.png");

  EXPECT_LE(1, RemoveAbandonedDropFolders());
  EXPECT_FALSE(FileExists(dead));
  EXPECT_TRUE(FileExists(heldCopy)) << "a living owner's folder stays whole";
  EXPECT_TRUE(FileExists(other)) << "only the program's own names are swept";
  const std::wstring heldFolder = held.Get().path;
  held.Reset();
  EXPECT_FALSE(FileExists(heldFolder));
  DeleteFileW(other.c_str());
  RemoveDirectoryW(other.substr(0, other.rfind(L'\\')).c_str());
}

TEST_F(DropTargetTest, LongItemPathsComeOutWholeOrAreRefused) {
  // The shell parses no path past MAX_PATH, so the item list of a long path is joined from the
  // list of a folder short enough to parse and a relative list parsed under a short twin.
  const std::wstring tail = std::wstring(60, L'e') + L"\\" + std::wstring(60, L'f') + L"\\l.png";
  std::wstring base = m_temp.Path();
  while (base.size() < 180) base += L"\\" + std::wstring(30, L'd');
  const std::wstring longPath = MakeFile(base + L"\\" + tail);
  MakeFile(m_temp / L"twin\\" + tail);
  const CItemIDList relative = ParseIn(BindFolder(m_temp / L"twin").Get(), tail);
  ASSERT_FALSE(relative.IsNull());
  const CItemIDList whole =
      CombineItemIdLists(CItemIDList(ILCreateFromPathW(base.c_str())), relative);

  DroppedFiles drop;
  const unsigned refusal = ReadDrop(ShellData(nullptr, {&whole}).Get(), &drop);
  if (refusal == 0) {
    EXPECT_EQ(std::vector<std::wstring>{longPath},
              std::vector<std::wstring>(drop.files->begin(), drop.files->end()));
  } else {
    // Where the shell gives no path past MAX_PATH (Wine cuts it short and reports success).
    EXPECT_EQ(static_cast<unsigned>(IDS_MSG_DROP_UNSUPPORTED), refusal) << "never a cut path";
  }
}

}  // namespace

TEST_F(DropTargetTest, PathsFromOutsideAreADropOnNoFieldJoinAWaitingStartOrAreRefused) {
  CFileListPtr files(new CFileList);
  files->Add(m_temp / L"a.png");
  files->Add(m_temp / L"folder");
  m_window->running = true;
  m_window->DropFromOutside(files);
  EXPECT_EQ(std::vector<unsigned>{IDS_MSG_DROP_WHILE_RUNNING}, m_window->messages);
  EXPECT_EQ(0, m_window->stored);
  EXPECT_EQ(0, m_window->PostedDrops());
  // Asked inside another process's call, the refusal is an answer, not a box.
  EXPECT_FALSE(m_window->TakeFromOutside(files));
  EXPECT_EQ(1u, m_window->messages.size());

  m_window->Clear();
  m_window->DropFromOutside(files);
  EXPECT_TRUE(m_window->messages.empty());
  EXPECT_EQ(1, m_window->stored);
  EXPECT_EQ(files, m_window->files);
  EXPECT_EQ(kFromOutside, m_window->source);
  MSG posted;
  ASSERT_TRUE(PeekMessageW(&posted, m_window->m_hWnd, kDropReadyMessage, kDropReadyMessage,
                           PM_REMOVE));
  EXPECT_EQ(kFromOutside, posted.wParam);
  EXPECT_EQ(0, m_window->PostedDrops());

  // A start that has not yet taken its paths takes later ones, even where a job would refuse
  // them: one list, in arrival order, and no second start posted.
  CFileListPtr more(new CFileList);
  more->Add(m_temp / L"b.png");
  m_window->joins = m_window->running = true;
  EXPECT_TRUE(m_window->TakeFromOutside(more));
  EXPECT_EQ(std::vector<std::wstring>({m_temp / L"a.png", m_temp / L"folder", m_temp / L"b.png"}),
            m_window->Paths());
  EXPECT_EQ(1, m_window->stored);
  EXPECT_TRUE(m_window->messages.empty());
  EXPECT_EQ(0, m_window->PostedDrops());
}

TEST_F(DropTargetTest, PathsArriveResolvedAndCopiesNeverTakeADevicesName) {
  // A drag source other than Explorer may send any spelling of a folder: the list holds the folder
  // each names, whose last part is its name.
  ASSERT_TRUE(MakeFolders(m_temp / L"photos\\Trip"));
  m_window->DropAt(ClipboardData(m_window->m_hWnd, CF_HDROP,
                                 FileListBlock({m_temp / L"photos\\Trip\\..", m_temp / L"photos\\Trip.",
                                                m_temp / L"photos\\Trip\\.", m_temp / L"photos//Trip \\"}))
                       .Get(),
                   m_window->Elsewhere());
  EXPECT_EQ((std::vector<std::wstring>{m_temp / L"photos", m_temp / L"photos\\Trip", m_temp / L"photos\\Trip",
                                       m_temp / L"photos\\Trip"}),
            m_window->Paths());
  EXPECT_TRUE(m_window->messages.empty());

  // Items named like devices (from a zip folder, a phone) are copied with a "_" in front.
  m_window->Clear();
  const std::vector<ContentItem> items = {{L"CON.jpg", "c"}, {L"aux.png", "a"}, {L"nul.", "n"}, {L"Com1 .jpg", "1"}};
  m_window->DropAt(ContentsData(items, ContentMedium::Stream).Get(), m_window->Elsewhere());
  ASSERT_TRUE(m_window->copies.IsValid());
  const std::wstring folder = m_window->copies.Get().path;
  EXPECT_EQ((std::vector<std::wstring>{folder + L"\\1\\_CON.jpg", folder + L"\\2\\_aux.png", folder + L"\\3\\_nul_",
                                       folder + L"\\4\\_Com1 .jpg"}),
            m_window->Paths());
  EXPECT_EQ("c", ReadBytes(folder + L"\\1\\_CON.jpg"));
  m_window->copies.Reset();

  // An item whose name no file may have says so, naming it, and leaves no copy.
  const std::wstring tooLong = std::wstring(292, L'n') + L".jpg";
  DroppedFiles drop;
  EXPECT_EQ(static_cast<unsigned>(IDS_MSG_DROP_NAME_TOO_LONG),
            ReadDrop(ContentsData({{L"first.jpg", "f"}, {tooLong, "x"}}, ContentMedium::Stream).Get(), &drop));
  // The descriptor holds at most 259 characters of it.
  EXPECT_LT(kMaxFileNameLength, drop.failedItem.size());
  EXPECT_EQ(0u, tooLong.find(drop.failedItem));
  EXPECT_FALSE(drop.copies.IsValid());
  m_window->Clear();
  m_window->DropAt(ContentsData({{tooLong, "x"}}, ContentMedium::Global).Get(), m_window->Elsewhere());
  ASSERT_EQ(1u, m_window->texts.size());
  EXPECT_EQ(FormattedResourceString(IDS_MSG_DROP_NAME_TOO_LONG, drop.failedItem.c_str()), m_window->texts[0]);
  EXPECT_FALSE(m_window->files);
}
