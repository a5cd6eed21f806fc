// Edit commands on the focused edit field.
#include "app/DialogEdit.h"

#include <cwchar>

#include "res/ResourceIds.h"

namespace {

bool IsEditField(HWND window) {
  wchar_t name[1024] = {};
  if (!window || GetClassNameW(window, name, 1024) == 0) return false;
  return _wcsicmp(name, L"Edit") == 0;
}

}  // namespace

bool RunEditCommand(WORD id) {
  UINT message = 0;
  switch (id) {
    case ID_EDIT_COPY: message = WM_COPY; break;
    case ID_EDIT_CUT: message = WM_CUT; break;
    case ID_EDIT_PASTE: message = WM_PASTE; break;
    case ID_EDIT_UNDO: message = WM_UNDO; break;
    case ID_EDIT_SELECT_ALL:
    case ID_EDIT_DESELECT: break;
    default: return false;
  }
  HWND focus = GetFocus();
  if (!IsEditField(focus)) return false;
  if (message != 0) {
    SendMessageW(focus, message, 0, 0);
  } else {
    // A start of -1 drops the selection and leaves the caret where it is.
    const WPARAM start = id == ID_EDIT_SELECT_ALL ? 0 : static_cast<WPARAM>(-1);
    SendMessageW(focus, EM_SETSEL, start, -1);
    SendMessageW(focus, EM_SCROLLCARET, 0, 0);
  }
  return true;
}
