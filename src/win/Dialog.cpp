// Dialog procedure results.
#include "win/Dialog.h"

INT_PTR DialogProcResult(HWND dialog, UINT message, bool handled, LRESULT result) {
  if (!handled) return FALSE;
  switch (message) {
    // These return their result directly; for the others the result goes in DWLP_MSGRESULT.
    case WM_INITDIALOG:
    case WM_CHARTOITEM:
    case WM_VKEYTOITEM:
    case WM_COMPAREITEM:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      return static_cast<INT_PTR>(result);
    case WM_NCDESTROY:
      return TRUE;
    default:
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
      return TRUE;
  }
}
