// The colour button: the swatch as the screen shows it, repainting only on a new colour, the
// disabled face, and the colour chooser opened, closed and confirmed from a panel.
#include <windows.h>

#include "panel/ColorButton.h"
#include "panel/PanelHost.h"

namespace {

// The chooser's fields for red, green and blue.
const int kChooserRed = 706;
const int kChooserGreen = 707;
const int kChooserBlue = 708;

DWORD ScreenRgb(COLORREF color) {
  return static_cast<DWORD>(GetRValue(color)) << 16 | static_cast<DWORD>(GetGValue(color)) << 8 |
         GetBValue(color);
}

class ColorButtonTest : public PanelTest {
protected:
  // Paints the dialog now and reads back the button as the screen shows it: the swatch's middle,
  // its frame's corners and the face just outside the frame.
  struct Swatch {
    DWORD middle, frameTopLeft, frameBottomRight, face;
  };
  Swatch Look(int id) {
    RedrawWindow(m_host->GetHwnd(), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    EXPECT_EQ(kQueueDrained, RunQueued());
    LONG width = 0, height = 0;
    std::vector<DWORD> pixels = ClientPixels(HostItem(id), &width, &height);
    Swatch swatch = {};
    if (pixels.empty()) return swatch;
    auto at = [&](LONG x, LONG y) { return pixels[static_cast<size_t>(y * width + x)]; };
    swatch.middle = at(width / 2, height / 2);
    swatch.frameTopLeft = at(4, 4);
    swatch.frameBottomRight = at(width - 5, height - 5);
    swatch.face = at(3, height / 2);
    return swatch;
  }
  void OpenChooser(int id) {
    SendMessageW(m_host->GetHwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(HostItem(id)));
  }
};

TEST_F(ColorButtonTest, SwatchShowsTheColorInAGreyFrameAndFollowsTheText) {
  Profile(0).BkColor = 0x1981FF;  // FF8119
  ASSERT_NE(nullptr, OpenHost());
  const DWORD grey = 0x646464;
  Swatch shown = Look(IDC_COLOR_BUTTON1);
  EXPECT_EQ(0xFF8119u, shown.middle);
  EXPECT_EQ(grey, shown.frameTopLeft);
  EXPECT_EQ(grey, shown.frameBottomRight);
  EXPECT_NE(0xFF8119u, shown.face);

  // A text that is no colour turns the button black until it is one again.
  Type(IDC_COLOR_TEXT1, L"12345");
  EXPECT_EQ(0u, Profile(0).BkColor);
  EXPECT_EQ(0u, Look(IDC_COLOR_BUTTON1).middle);
  Type(IDC_COLOR_TEXT1, L"1987E5");
  EXPECT_EQ(0xE58719u, Profile(0).BkColor);
  EXPECT_EQ(0x1987E5u, Look(IDC_COLOR_BUTTON1).middle);

  // Without a background the button is disabled: the frame stays, the colour goes.
  SendMessageW(HostItem(IDC_BACKGROUND1), BM_CLICK, 0, 0);
  EXPECT_EQ(kQueueDrained, RunQueued());
  ASSERT_FALSE(IsWindowEnabled(HostItem(IDC_COLOR_BUTTON1)));
  shown = Look(IDC_COLOR_BUTTON1);
  EXPECT_NE(0x1987E5u, shown.middle);
  EXPECT_EQ(grey, shown.frameTopLeft);
  SendMessageW(HostItem(IDC_BACKGROUND1), BM_CLICK, 0, 0);
  EXPECT_EQ(kQueueDrained, RunQueued());
  EXPECT_EQ(0x1987E5u, Look(IDC_COLOR_BUTTON1).middle);
}

TEST(ColorButton, OnlyANewColorRepaintsTheButton) {
  HWND window = CreateWindowExW(0, L"BUTTON", L"", WS_POPUP | WS_VISIBLE | BS_PUSHBUTTON, 0, 0,
                                60, 30, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(nullptr, window);
  {
    CColorButton button;
    ASSERT_TRUE(button.Attach(window, nullptr));
    EXPECT_EQ(0xFFFFFFu, button.GetColor());
    UpdateWindow(window);
    ASSERT_FALSE(GetUpdateRect(window, nullptr, FALSE));
    button.SetColor(0xFFFFFF);
    EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE));
    button.SetColor(0x123456);
    EXPECT_TRUE(GetUpdateRect(window, nullptr, FALSE));
    EXPECT_EQ(0x123456u, button.GetColor());
  }
  // The object has let go of the window: the button's own procedure is back.
  EXPECT_EQ(GetClassLongPtrW(window, GCLP_WNDPROC), GetWindowLongPtrW(window, GWLP_WNDPROC));
  DestroyWindow(window);
}

TEST_F(ColorButtonTest, ChooserClosedKeepsTheColorAndStartsFromIt) {
  Profile(1).BkColor = 0x1981FF;
  ASSERT_NE(nullptr, OpenHost());
  ASSERT_EQ(m_host->GetHwnd(), GetActiveWindow());
  {
    CBoxWatcher closed(m_host->GetHwnd(),
                       [](HWND chooser) { PostMessageW(chooser, WM_CLOSE, 0, 0); });
    OpenChooser(IDC_COLOR_BUTTON2);
    ASSERT_EQ(1u, closed.Boxes().size());
    EXPECT_FALSE(IsWindow(closed.Boxes()[0].window));
  }
  EXPECT_EQ(0x1981FFu, Profile(1).BkColor);
  EXPECT_EQ(L"FF8119", WindowText(HostItem(IDC_COLOR_TEXT2)));
  // Confirmed untouched, the chooser gives back the colour it was opened at.
  Type(IDC_COLOR_TEXT2, L"EE");  // grey EEEEEE, typed short
  {
    CBoxWatcher confirmed(m_host->GetHwnd(), [](HWND chooser) { PressButton(chooser, IDOK); });
    OpenChooser(IDC_COLOR_BUTTON2);
    ASSERT_EQ(1u, confirmed.Boxes().size());
  }
  EXPECT_EQ(0xEEEEEEu, Profile(1).BkColor);
  EXPECT_EQ(L"EEEEEE", WindowText(HostItem(IDC_COLOR_TEXT2)));
}

TEST_F(ColorButtonTest, ConfirmedChooserSetsTheTextTheRecordAndTheSwatch) {
  ASSERT_NE(nullptr, OpenHost());
  ASSERT_EQ(m_host->GetHwnd(), GetActiveWindow());
  CBoxWatcher watcher(m_host->GetHwnd(), [&](HWND chooser) {
    SetWindowTextW(GetDlgItem(chooser, kChooserRed), L"12");
    SetWindowTextW(GetDlgItem(chooser, kChooserGreen), L"34");
    SetWindowTextW(GetDlgItem(chooser, kChooserBlue), L"56");
    PressButton(chooser, IDOK);
  });
  OpenChooser(IDC_COLOR_BUTTON3);
  ASSERT_EQ(1u, watcher.Boxes().size());
  EXPECT_EQ(static_cast<uint32_t>(RGB(12, 34, 56)), Profile(2).BkColor);
  EXPECT_EQ(L"0C2238", WindowText(HostItem(IDC_COLOR_TEXT3)));
  EXPECT_EQ(ScreenRgb(RGB(12, 34, 56)), Look(IDC_COLOR_BUTTON3).middle);
}

}  // namespace
