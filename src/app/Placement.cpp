// Window placement: capture, apply, clamp.
#include "app/Placement.h"

bool CaptureFrom(CWindowPlacement* placement, HWND window) {
  placement->Fullscreen = IsZoomed(window) != FALSE;
  if (placement->Fullscreen || IsIconic(window)) return true;
  RECT rect;
  if (!GetWindowRect(window, &rect)) return false;
  placement->Left = rect.left;
  placement->Top = rect.top;
  placement->Right = rect.right;
  placement->Bottom = rect.bottom;
  return true;
}

bool ApplyTo(const CWindowPlacement& placement, HWND window, unsigned flags) {
  bool moved = false;
  if (placement.HasRect()) {
    RECT rect = {placement.Left, placement.Top, placement.Right, placement.Bottom};
    // What is kept comes from the window itself, so the clamping sees the rectangle the window
    // will really cover: a stored size from another screen resolution would otherwise let a
    // window of a different size hang off the edge.
    RECT current;
    if ((flags & (KeepPosition | KeepSize)) != 0 && GetWindowRect(window, &current)) {
      const LONG width = (flags & KeepSize) ? current.right - current.left : rect.right - rect.left;
      const LONG height = (flags & KeepSize) ? current.bottom - current.top : rect.bottom - rect.top;
      if (flags & KeepPosition) {
        rect.left = current.left;
        rect.top = current.top;
      }
      rect.right = rect.left + width;
      rect.bottom = rect.top + height;
    }
    if (flags & ClampToVirtualScreen) {
      const LONG left = GetSystemMetrics(SM_XVIRTUALSCREEN);
      const LONG top = GetSystemMetrics(SM_YVIRTUALSCREEN);
      const RECT screen = {left, top, left + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                           top + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
      rect = ClampRectInto(rect, screen);
    }
    UINT how = SWP_NOZORDER | SWP_NOACTIVATE;
    if (flags & KeepPosition) how |= SWP_NOMOVE;
    if (flags & KeepSize) how |= SWP_NOSIZE;
    moved = SetWindowPos(window, nullptr, rect.left, rect.top, rect.right - rect.left,
                         rect.bottom - rect.top, how) != FALSE;
  }
  if (placement.Fullscreen) ShowWindow(window, SW_SHOWMAXIMIZED);
  return moved;
}

RECT ClampRectInto(RECT rect, const RECT& bounds) {
  const LONG width = rect.right - rect.left;
  const LONG height = rect.bottom - rect.top;
  if (rect.bottom > bounds.bottom) {
    rect.bottom = bounds.bottom;
    rect.top = rect.bottom - height;
  }
  if (rect.top < bounds.top) {
    rect.top = bounds.top;
    rect.bottom = rect.top + height;
  }
  if (rect.right > bounds.right) {
    rect.right = bounds.right;
    rect.left = rect.right - width;
  }
  if (rect.left < bounds.left) {
    rect.left = bounds.left;
    rect.right = rect.left + width;
  }
  return rect;
}
