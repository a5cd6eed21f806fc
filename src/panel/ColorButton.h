// CColorButton: the push button of a profile panel that shows the panel's background colour as a
// swatch drawn over the standard button face, and opens the system colour chooser.
#pragma once

#include <windows.h>

#include "panel/PanelControls.h"

class CColorButton : public CButtonImpl<CColorButton> {
public:
  BEGIN_MSG_MAP(CColorButton)
    MESSAGE_HANDLER(WM_PAINT, OnPaint)
    MESSAGE_HANDLER(WM_ENABLE, OnEnable)
    CHAIN_MSG_MAP(CButtonImpl<CColorButton>)
  END_MSG_MAP()

  COLORREF GetColor() const { return m_color; }
  // Stores the colour and repaints the button; the colour it already shows changes nothing.
  void SetColor(COLORREF color);
  // Runs the colour chooser from the current colour, owned by the active window. True when the
  // user confirmed: the button then shows the chosen colour. A cancel, or a chooser that does not
  // open, keeps the colour. Every chooser of the process offers the same custom colours.
  bool ChooseColor();

private:
  LRESULT OnPaint(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
  LRESULT OnEnable(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);

  COLORREF m_color = 0xFFFFFF;
};
