// The colour button: its swatch and the colour chooser.
#include "panel/ColorButton.h"

#include <commdlg.h>

#include "image/DrawingSurface.h"

namespace {

// The custom colours of the chooser: one set for the whole run, shared by every panel, kept in
// memory only.
COLORREF g_customColors[16] = {
    0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
    0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF,
};

// The chooser's own handling is all the program wants: every message goes on to it.
UINT_PTR CALLBACK ChooserHook(HWND, UINT, WPARAM, LPARAM) { return 0; }

const int kSwatchInset = 4;
const COLORREF kSwatchFrame = RGB(100, 100, 100);

}  // namespace

void CColorButton::SetColor(COLORREF color) {
  if (color == m_color) return;
  m_color = color;
  if (m_hWnd) InvalidateRect(m_hWnd, nullptr, FALSE);
}

bool CColorButton::ChooseColor() {
  CHOOSECOLORW chooser = {};
  chooser.lStructSize = sizeof chooser;
  chooser.hwndOwner = GetActiveWindow();
  chooser.rgbResult = m_color;
  chooser.lpCustColors = g_customColors;
  // Black opens the chooser without a preselected colour.
  chooser.Flags = CC_ENABLEHOOK | (m_color != 0 ? CC_RGBINIT : 0);
  chooser.lpfnHook = ChooserHook;
  if (!::ChooseColorW(&chooser)) return false;
  SetColor(chooser.rgbResult);
  return true;
}

LRESULT CColorButton::OnPaint(UINT message, WPARAM wParam, LPARAM lParam, bool&) {
  // The standard face first, then the swatch over it.
  LRESULT result = DefaultProc(message, wParam, lParam);
  CDCScreen screen;
  if (FAILED(screen.CreateForWindow(m_hWnd))) return result;
  RECT swatch = screen.GetRect();
  InflateRect(&swatch, -kSwatchInset, -kSwatchInset);
  if (IsWindowEnabled(m_hWnd)) screen.FillSolidRect(m_color, swatch);
  screen.FrameRectAlpha(swatch, 1, kSwatchFrame, 255);
  return result;
}

LRESULT CColorButton::OnEnable(UINT, WPARAM, LPARAM, bool& handled) {
  // The face changes with the state: the swatch is drawn or left out on the next paint.
  InvalidateRect(m_hWnd, nullptr, TRUE);
  handled = false;
  return 0;
}
