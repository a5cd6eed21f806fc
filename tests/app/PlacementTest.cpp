// Window placement: the clamping rule, and the main dialog reopening where it was closed, inside
// the virtual screen, at its own size, maximised when it was.
#include <windows.h>

#include "app/GuiSupport.h"
#include "app/Placement.h"
#include "settings/Settings.h"

namespace {

RECT Rect(LONG left, LONG top, LONG right, LONG bottom) { return RECT{left, top, right, bottom}; }

void ExpectRect(const RECT& expected, const RECT& actual) {
  EXPECT_EQ(expected.left, actual.left);
  EXPECT_EQ(expected.top, actual.top);
  EXPECT_EQ(expected.right, actual.right);
  EXPECT_EQ(expected.bottom, actual.bottom);
}

TEST(ClampRectInto, MovesWithoutResizing) {
  const RECT screen = Rect(0, 0, 1920, 1080);
  ExpectRect(Rect(100, 50, 740, 530), ClampRectInto(Rect(100, 50, 740, 530), screen));
  ExpectRect(Rect(1280, 50, 1920, 530), ClampRectInto(Rect(5000, 50, 5640, 530), screen));
  ExpectRect(Rect(0, 600, 640, 1080), ClampRectInto(Rect(-700, 900, -60, 1380), screen));
  ExpectRect(Rect(10, 0, 650, 480), ClampRectInto(Rect(10, -300, 650, 180), screen));
  // Larger than the bounds: the top and left edges win.
  ExpectRect(Rect(0, 0, 2000, 1200), ClampRectInto(Rect(300, 300, 2300, 1500), screen));
  // Bounds that do not start at 0, as with a monitor left of the primary one.
  ExpectRect(Rect(-1920, 0, -1280, 480),
             ClampRectInto(Rect(-2500, 0, -1860, 480), Rect(-1920, 0, 1920, 1080)));
}

class PlacementTest : public DialogTest {
protected:
  RECT WindowRect() const {
    RECT rect = {};
    GetWindowRect(m_dialog->GetHwnd(), &rect);
    return rect;
  }
  // Closes the dialog as the user does, then reads the settings back as the next start does.
  void CloseAndReload() {
    PostKey(Item(IDC_USE1), VK_ESCAPE);
    ASSERT_EQ(2, RunUntilQuit());
    GetSettings().WindowPlacement = CWindowPlacement();
    GetSettings().LoadSettings();
  }
  void StorePlacement(bool fullscreen, LONG left, LONG top, LONG right, LONG bottom) {
    CSettings& settings = GetSettings();
    settings.WindowPlacement.Fullscreen = fullscreen;
    settings.WindowPlacement.Left = left;
    settings.WindowPlacement.Top = top;
    settings.WindowPlacement.Right = right;
    settings.WindowPlacement.Bottom = bottom;
    ASSERT_TRUE(settings.SaveSettings());
    settings.WindowPlacement = CWindowPlacement();
    settings.LoadSettings();
  }
};

TEST_F(PlacementTest, FirstStartCentresInTheWorkArea) {
  ASSERT_NE(nullptr, OpenDialog());
  RECT area;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  const RECT rect = WindowRect();
  EXPECT_EQ((area.left + area.right) / 2 - (rect.right - rect.left) / 2, rect.left);
  EXPECT_EQ((area.top + area.bottom) / 2 - (rect.bottom - rect.top) / 2, rect.top);
}

TEST_F(PlacementTest, ReopensWhereItWasClosed) {
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  SetWindowPos(dialog, nullptr, 40, 70, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  const RECT closed = WindowRect();
  CloseAndReload();
  EXPECT_FALSE(GetSettings().WindowPlacement.Fullscreen);
  ASSERT_NE(nullptr, OpenDialog());
  ExpectRect(closed, WindowRect());
  EXPECT_FALSE(IsZoomed(m_dialog->GetHwnd()));
}

TEST_F(PlacementTest, KeepsItsOwnSizeAndComesBackInsideTheScreen) {
  ASSERT_NE(nullptr, OpenDialog());
  const RECT own = WindowRect();
  const LONG width = own.right - own.left;
  const LONG height = own.bottom - own.top;
  CloseAndReload();
  const LONG right = GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const LONG bottom = GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN);

  // Far off to the right, stored with the window's own size: back with its right edge on the
  // screen's.
  StorePlacement(false, 5000, 100, 5000 + width, 100 + height);
  ASSERT_NE(nullptr, OpenDialog());
  ExpectRect(Rect(right - width, 100, right, 100 + height), WindowRect());
  CloseAndReload();

  // Stored with another size, below and right of the screen: the window keeps its size and
  // still lies wholly on the screen.
  StorePlacement(false, 3000, 3000, 3100, 3050);
  ASSERT_NE(nullptr, OpenDialog());
  ExpectRect(Rect(right - width, bottom - height, right, bottom), WindowRect());
}

TEST_F(PlacementTest, MinimisedCloseKeepsThePreviousPlace) {
  StorePlacement(false, 30, 40, 30 + 100, 40 + 100);
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  ShowWindow(dialog, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(dialog));
  CloseAndReload();
  const CWindowPlacement& stored = GetSettings().WindowPlacement;
  EXPECT_FALSE(stored.Fullscreen);
  EXPECT_EQ(30, stored.Left);
  EXPECT_EQ(40, stored.Top);
  EXPECT_EQ(130, stored.Right);
  EXPECT_EQ(140, stored.Bottom);
  ASSERT_NE(nullptr, OpenDialog());
  EXPECT_FALSE(IsIconic(m_dialog->GetHwnd()));
  EXPECT_EQ(30, WindowRect().left);
  EXPECT_EQ(40, WindowRect().top);
}

TEST_F(PlacementTest, MaximisedCloseReopensMaximisedOverThePreviousPlace) {
  StorePlacement(false, 50, 60, 50 + 100, 60 + 100);
  HWND dialog = OpenDialog();
  ASSERT_NE(nullptr, dialog);
  ShowWindow(dialog, SW_SHOWMAXIMIZED);
  ASSERT_TRUE(IsZoomed(dialog));
  CloseAndReload();
  const CWindowPlacement& stored = GetSettings().WindowPlacement;
  EXPECT_TRUE(stored.Fullscreen);
  // The normal place read at start-up, not the maximised window's.
  ExpectRect(Rect(50, 60, 150, 160), Rect(stored.Left, stored.Top, stored.Right, stored.Bottom));

  ASSERT_NE(nullptr, OpenDialog());
  EXPECT_TRUE(IsZoomed(m_dialog->GetHwnd()));
  WINDOWPLACEMENT placement = {};
  placement.length = sizeof placement;
  GetWindowPlacement(m_dialog->GetHwnd(), &placement);
  EXPECT_EQ(50, placement.rcNormalPosition.left);
  EXPECT_EQ(60, placement.rcNormalPosition.top);
}

}  // namespace
