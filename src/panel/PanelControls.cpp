// The combo box operations shared by the panel control classes.
#include "panel/PanelControls.h"

#include "base/Handle.h"

std::wstring GetComboText(HWND box) {
  CComboBoxW combo(box);
  std::wstring text;
  const int selected = combo.GetCurSel();
  if (selected >= 0 && combo.GetLBText(selected, &text)) return text;
  CWindowW::GetItemText(box, &text, true);
  return text;
}

void SelectOrSetText(HWND box, const std::wstring& text) {
  CComboBoxW combo(box);
  const int found = combo.FindStringExact(text);
  if (found >= 0) {
    combo.SetCurSel(found);
    return;
  }
  // Clearing a selection also empties the edit field, so a box without one is left as it is and
  // an equal text is not set again (which would move the caret).
  if (combo.GetCurSel() >= 0) combo.SetCurSel(-1);
  CWindowW::SetItemText(box, text, true);
}

void FitDroppedWidth(HWND box) {
  if (!box) return;
  CComboBoxW combo(box);
  LONG widest = 0;
  {
    // Measured with the context's own font, as no font is selected into it.
    CWindowDC dc(WindowDC{box, GetWindowDC(box)});
    if (!dc.IsValid()) return;
    std::wstring text;
    for (int i = 0; i < combo.GetCount(); ++i) {
      SIZE size;
      if (combo.GetLBText(i, &text) &&
          GetTextExtentPoint32W(dc.Get().dc, text.c_str(), static_cast<int>(text.size()), &size) &&
          size.cx > widest) {
        widest = size.cx;
      }
    }
  }
  RECT client;
  if (GetClientRect(box, &client) && widest < client.right - client.left) {
    widest = client.right - client.left;
  }
  combo.SetDroppedWidth(widest);
}

int WheelStepTarget(int position, int delta, int count) {
  int target = delta < 0 ? position + 1 : position - 1;
  if (target < 0) target = 0;
  return target < count ? target : -1;
}
