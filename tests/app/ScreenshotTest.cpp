// The main dialog as it appears on the screen, idle and after a job. The pictures are taken from
// the screen itself, so they show what the window system drew: the Japanese texts must come out
// as glyphs, and at any DPI every label must fit its control without touching its neighbours.
// With KESTRELLE_SCREENSHOT naming a file, the idle picture is saved there as PNG and the finished
// job's beside it with "-job" before the extension (scripts/screenshot).
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>

#include "app/drop/DropObjects.h"
#include "app/GuiSupport.h"
#include "base/ResourceText.h"
#include "image/Dib.h"
#include "image/encode/ImageSaver.h"
#include "res/ResourceIds.h"
#include "res/StringIds.h"
#include "settings/Settings.h"
#include "support/ImageCalls.h"
#include "support/Pictures.h"
#include "support/TempDir.h"

namespace {

class ScreenshotTest : public DialogTest {
protected:
  // The window as the screen shows it, opaque.
  static bool Capture(HWND window, CDibSection* picture) {
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT area;
    GetWindowRect(window, &area);
    const LONG width = area.right - area.left, height = area.bottom - area.top;
    if (!picture->Create(width, height, 32, 0, BI_RGB) || !picture->AllocBits()) return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(memory, picture->GetBitmap());
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    GdiFlush();
    for (LONG y = 0; y < height; ++y) {
      DWORD* row = reinterpret_cast<DWORD*>(picture->TopRow(y));
      for (LONG x = 0; x < width; ++x) row[x] |= 0xFF000000;
    }
    return true;
  }

  // Saves the picture where KESTRELLE_SCREENSHOT asks, `suffix` before the extension.
  static void SaveIfAsked(const CDib& picture, const std::wstring& suffix) {
    const char* path = std::getenv("KESTRELLE_SCREENSHOT");
    if (!path) return;
    std::wstring file(path, path + strlen(path));
    const size_t dot = file.rfind(L'.');
    file.insert(dot == std::wstring::npos ? file.size() : dot, suffix);
    EXPECT_EQ(S_OK, CreatePngSaver()->Save(picture, file));
  }

  // Pixels of the control's area in the picture that differ from the color at its top left.
  int InkOf(const CDib& picture, int id) {
    RECT window, rect;
    GetWindowRect(m_dialog->GetHwnd(), &window);
    GetWindowRect(Item(id), &rect);
    OffsetRect(&rect, -window.left, -window.top);
    const DWORD background =
        reinterpret_cast<const DWORD*>(picture.TopRow(rect.top))[rect.left] & 0xFFFFFF;
    int ink = 0;
    for (LONG y = rect.top; y < rect.bottom; ++y) {
      const DWORD* row = reinterpret_cast<const DWORD*>(picture.TopRow(y));
      for (LONG x = rect.left; x < rect.right; ++x) ink += (row[x] & 0xFFFFFF) != background;
    }
    return ink;
  }
};

bool IsGroupBox(HWND control) {
  wchar_t name[32] = {};
  GetClassNameW(control, name, 32);
  return lstrcmpiW(name, L"Button") == 0 &&
         (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

// The room a control leaves for its text: a check box or radio button gives part of its width to
// its box, a push button to its edges.
LONG TextRoom(HWND control, const RECT& client) {
  wchar_t name[32] = {};
  GetClassNameW(control, name, 32);
  LONG room = client.right - client.left;
  if (lstrcmpiW(name, L"Button") != 0) return room;
  switch (GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK) {
    case BS_CHECKBOX: case BS_AUTOCHECKBOX: case BS_RADIOBUTTON: case BS_AUTORADIOBUTTON:
      return room - GetSystemMetrics(SM_CXMENUCHECK) - GetSystemMetrics(SM_CXEDGE);
    case BS_PUSHBUTTON: case BS_DEFPUSHBUTTON:
      return room - 2 * GetSystemMetrics(SM_CXEDGE);
    default:
      return room;
  }
}

}  // namespace

TEST_F(ScreenshotTest, MainDialogIsDrawnWithItsTexts) {
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  EXPECT_EQ(kQueueDrained, RunQueued());
  CDibSection picture;
  ASSERT_TRUE(Capture(dialog, &picture));
  EXPECT_GT(InkOf(picture, IDC_STATUS), 50);
  EXPECT_GT(InkOf(picture, IDC_USE1), 50);
  SaveIfAsked(picture, L"");
}

TEST_F(ScreenshotTest, EveryLabelFitsItsControlAndNoneOverlap) {
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  HDC screen = GetDC(nullptr);
  SCOPED_TRACE("DPI " + std::to_string(GetDeviceCaps(screen, LOGPIXELSY)));
  ReleaseDC(nullptr, screen);
  std::vector<HWND> controls;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (IsWindowVisible(child)) controls.push_back(child);
  }
  for (HWND control : controls) {
    const std::wstring text = WindowText(control);
    wchar_t name[32] = {};
    GetClassNameW(control, name, 32);
    if (text.empty() || (lstrcmpiW(name, L"Static") != 0 && lstrcmpiW(name, L"Button") != 0)) {
      continue;
    }
    SCOPED_TRACE(text);
    RECT client;
    GetClientRect(control, &client);
    HDC dc = GetDC(control);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    // Measured as one line: a label that would have to wrap or be cut does not fit.
    RECT needed = {0, 0, 0, 0};
    DrawTextW(dc, text.c_str(), -1, &needed, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    EXPECT_LE(needed.right, TextRoom(control, client));
    EXPECT_LE(needed.bottom, client.bottom);
  }
  for (size_t i = 0; i < controls.size(); ++i) {
    for (size_t j = i + 1; j < controls.size(); ++j) {
      if (IsGroupBox(controls[i]) || IsGroupBox(controls[j])) continue;
      RECT a, b, both;
      GetWindowRect(controls[i], &a);
      GetWindowRect(controls[j], &b);
      EXPECT_FALSE(IntersectRect(&both, &a, &b))
          << GetDlgCtrlID(controls[i]) << " and " << GetDlgCtrlID(controls[j]);
    }
  }
}

TEST_F(ScreenshotTest, FinishedJobIsDrawnWithAFullBar) {
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  CTempDir temp;
  std::vector<ShrinkProfile>& profiles = GetSettings().Profiles;
  profiles[0].Folder = temp / L"web";
  profiles[0].Prefix = L"s_";
  profiles[1].Use = profiles[2].Use = false;
  const std::vector<std::wstring> names = {L"海.png", L"山.png", L"街.png"};
  for (const std::wstring& name : names) {
    ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(800, 600), temp / name));
  }
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  CComPtr<IDataObject> data = FolderItemsData(temp.Path(), names);
  RECT status;
  GetWindowRect(Item(IDC_STATUS), &status);
  const POINTL point = {(status.left + status.right) / 2, (status.top + status.bottom) / 2};
  DWORD effect = DROPEFFECT_COPY;
  m_dialog->DropTarget()->DragEnter(data.Get(), MK_LBUTTON, point, &effect);
  m_dialog->DropTarget()->Drop(data.Get(), 0, point, &effect);
  std::wstring finished;
  FormatResourceString(&finished, IDS_STATUS_FINISHED, 3);
  const DWORD start = GetTickCount();
  while (WindowText(Item(IDC_STATUS)) != finished && GetTickCount() - start < 30000) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (m_dialog->PreTranslateMessage(&message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
  ASSERT_EQ(finished, WindowText(Item(IDC_STATUS)));
  FlashWindow(dialog, FALSE);
  CDibSection picture;
  ASSERT_TRUE(Capture(dialog, &picture));
  EXPECT_GT(InkOf(picture, IDC_STATUS), 50);
  EXPECT_EQ(3, SendMessageW(Item(IDC_PROGRESS), PBM_GETPOS, 0, 0));
  EXPECT_GT(InkOf(picture, IDC_PROGRESS), 100);
  SaveIfAsked(picture, L"-job");
  data.Release();
  OleUninitialize();
}
