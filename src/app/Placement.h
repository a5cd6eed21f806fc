// Recording the main window's place into the settings' placement record when it closes, and
// putting the window back there when it opens.
#pragma once

#include <windows.h>

#include "settings/WindowPlacement.h"

enum PlacementFlags : unsigned {
  KeepPosition = 1,          // leave the window where it is
  KeepSize = 2,              // leave the window's size as it is
  ClampToVirtualScreen = 4,  // move the stored rectangle inside the virtual screen first
};

// Records whether `window` is maximised and, when it is in its normal state, its outer rectangle.
// A maximised or minimised window leaves the last normal rectangle in place. False when the
// rectangle could not be read.
bool CaptureFrom(CWindowPlacement* placement, HWND window);

// Moves (and sizes, unless KeepSize) `window` to the stored rectangle, then maximises it when it
// was maximised. False when there is no stored rectangle or the window could not be moved.
bool ApplyTo(const CWindowPlacement& placement, HWND window, unsigned flags);

// `rect` moved, not resized, so that it lies inside `bounds`: bottom, top, right, left edge in
// this order, so a rectangle larger than the bounds ends with its top or left edge on them.
RECT ClampRectInto(RECT rect, const RECT& bounds);
