// CDialogEdit: the edit commands of the accelerator table (copy, cut, paste, select all, undo,
// deselect), carried out on the edit field that has the keyboard focus.
#pragma once

#include <windows.h>

#include "win/MessageMap.h"

// Carries out command `id` on the focused window when that is an edit field (as in an editable
// combo box); false for any other command or when the focus is elsewhere.
bool RunEditCommand(WORD id);

template <class T>
class CDialogEdit {
  BEGIN_MSG_MAP(CDialogEdit)
    MESSAGE_HANDLER(WM_COMMAND, OnEditCommand)
  END_MSG_MAP()

private:
  LRESULT OnEditCommand(UINT, WPARAM wParam, LPARAM, bool& handled) {
    handled = RunEditCommand(LOWORD(wParam));
    return 0;
  }
};
