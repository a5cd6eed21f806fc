// The main dialog as it appears on the screen. The picture is taken from the screen itself, so it
// shows what the window system drew: the Japanese texts must come out as glyphs. With
// KESTRELLE_SCREENSHOT naming a file, the picture is also saved there as PNG (scripts/screenshot).
#include <windows.h>

#include <cstdlib>
#include <string>

#include "gui/GuiSupport.h"
#include "image/Dib.h"
#include "image/ImageSaver.h"
#include "res/ResourceIds.h"

namespace {

class ScreenshotTest : public DialogTest {};

// Pixels of `rect` (in the picture) that differ from the picture's colour at its top left.
int InkWithin(const CDib& picture, const RECT& rect) {
  const DWORD* background = reinterpret_cast<const DWORD*>(picture.TopRow(rect.top)) + rect.left;
  int ink = 0;
  for (LONG y = rect.top; y < rect.bottom; ++y) {
    const DWORD* row = reinterpret_cast<const DWORD*>(picture.TopRow(y));
    for (LONG x = rect.left; x < rect.right; ++x) ink += (row[x] & 0xFFFFFF) != (*background & 0xFFFFFF);
  }
  return ink;
}

TEST_F(ScreenshotTest, MainDialogIsDrawnWithItsTexts) {
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  EXPECT_EQ(kQueueDrained, RunQueued());

  RECT window;
  GetWindowRect(dialog, &window);
  const LONG width = window.right - window.left;
  const LONG height = window.bottom - window.top;
  CDibSection picture;
  ASSERT_TRUE(picture.Create(width, height, 32, 0, BI_RGB) && picture.AllocBits());
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, picture.GetBitmap());
  BitBlt(memory, 0, 0, width, height, screen, window.left, window.top, SRCCOPY);
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  GdiFlush();
  for (LONG y = 0; y < height; ++y) {
    DWORD* row = reinterpret_cast<DWORD*>(picture.TopRow(y));
    for (LONG x = 0; x < width; ++x) row[x] |= 0xFF000000;
  }

  // The status line's text, in picture coordinates.
  RECT status;
  GetWindowRect(Item(IDC_STATUS), &status);
  OffsetRect(&status, -window.left, -window.top);
  EXPECT_GT(InkWithin(picture, status), 50);

  if (const char* path = std::getenv("KESTRELLE_SCREENSHOT")) {
    std::wstring file(path, path + strlen(path));
    EXPECT_EQ(S_OK, CreatePngSaver()->Save(picture, file));
  }
}

}  // namespace
