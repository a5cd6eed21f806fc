// The drawing surface on memory contexts: the context list, the frame's geometry, the fills, and
// a borrowed context given back as it was found.
#include <windows.h>

#include <gtest/gtest.h>

#include "image/DrawingSurface.h"

namespace {

const COLORREF kWhite = RGB(255, 255, 255);

// A white memory surface of `width` x `height`.
bool MakeSurface(CDCScreen* screen, LONG width, LONG height) {
  HDC display = GetDC(nullptr);
  RECT rect = {0, 0, width, height};
  const bool ok = SUCCEEDED(screen->CreateCompatible(display, rect));
  ReleaseDC(nullptr, display);
  if (ok) screen->FillSolidRect(kWhite, rect);
  return ok;
}

}  // namespace

TEST(DrawingSurface, ContextListGivesNullOutsideItsRange) {
  CDCScreen screen;
  EXPECT_EQ(0, screen.GetDCs()->GetCount());
  ASSERT_TRUE(MakeSurface(&screen, 2, 2));
  CComplexHDCPtr dcs = screen.GetDCs();
  ASSERT_EQ(1, dcs->GetCount());
  EXPECT_EQ(screen.GetDC(), dcs->GetAt(0));
  EXPECT_EQ(nullptr, dcs->GetAt(-1));
  EXPECT_EQ(nullptr, dcs->GetAt(1));
}

TEST(DrawingSurface, FrameIsFourSidesOrTheWholeOfASmallRectangle) {
  CDCScreen screen;
  ASSERT_TRUE(MakeSurface(&screen, 12, 10));
  HDC dc = screen.GetDC();
  const COLORREF ink = RGB(10, 20, 30);
  RECT frame = {1, 1, 11, 9};
  EXPECT_EQ(S_OK, screen.FrameRectAlpha(frame, 2, ink, 255));
  const POINT framed[] = {{1, 1}, {10, 8}, {2, 5}, {9, 5}, {5, 2}, {5, 7}};
  for (POINT p : framed) EXPECT_EQ(ink, GetPixel(dc, p.x, p.y)) << p.x << "," << p.y;
  const POINT clear[] = {{3, 3}, {8, 6}, {0, 0}, {11, 9}};
  for (POINT p : clear) EXPECT_EQ(kWhite, GetPixel(dc, p.x, p.y)) << p.x << "," << p.y;

  RECT small = {4, 4, 6, 6};
  screen.FrameRectAlpha(small, 1, ink, 255);
  for (int y = 4; y < 6; ++y) {
    for (int x = 4; x < 6; ++x) EXPECT_EQ(ink, GetPixel(dc, x, y)) << x << "," << y;
  }
  RECT all = {0, 0, 12, 10};
  screen.FrameRectAlpha(all, 0, ink, 255);
  EXPECT_EQ(kWhite, GetPixel(dc, 0, 0));

  // Half alpha over black.
  screen.FillSolidRect(RGB(0, 0, 0), all);
  screen.FrameRectAlpha(all, 1, RGB(255, 0, 0), 128);
  EXPECT_NEAR(128, GetRValue(GetPixel(dc, 0, 0)), 2);
  EXPECT_EQ(0, GetGValue(GetPixel(dc, 0, 0)));
}

TEST(DrawingSurface, BorrowedContextIsDrawnFromTheRectangleCornerAndLeftAsFound) {
  CDCScreen target;
  ASSERT_TRUE(MakeSurface(&target, 8, 8));
  HDC dc = target.GetDC();
  SetBkColor(dc, RGB(1, 2, 3));
  {
    RECT area = {10, 20, 14, 24};
    CDCScreen screen(dc, area);
    screen.FillSolidRect(RGB(0, 255, 0), area);
  }
  POINT origin;
  GetViewportOrgEx(dc, &origin);
  EXPECT_EQ(0, origin.x);
  EXPECT_EQ(0, origin.y);
  EXPECT_EQ(RGB(1, 2, 3), GetBkColor(dc));
  EXPECT_EQ(RGB(0, 255, 0), GetPixel(dc, 0, 0));
  EXPECT_EQ(RGB(0, 255, 0), GetPixel(dc, 3, 3));
  EXPECT_EQ(kWhite, GetPixel(dc, 4, 4));
}
