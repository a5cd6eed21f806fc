// The program's own window messages, each posted by a window class to a window it serves. Messages
// of different windows share numbers from WM_APP: each goes to windows of one class only, and the
// messages one window handles have numbers of their own.
#pragma once

#include <windows.h>

// Posted by the drop target to its window once a drop's files are stored: the window acts on the
// drop after the drag has ended. wParam says where the files came from; lParam is 0.
const UINT kDropReadyMessage = WM_APP;
const WPARAM kDroppedOnWindow = 0;  // a drag released over the window, at the stored point
const WPARAM kFromOutside = 1;      // the command line or a later start: on no field of the window

// Posted by a window to itself for each block of paths that a later start of the program handed
// over; once the sending process has its answer, the window comes forward and tells a refusal.
// wParam and lParam are 0.
const UINT kHandOverMessage = WM_APP + 1;

// Posted to the main dialog once the folders of a drop have been listed on their own thread.
// wParam is the number of the listing, lParam 0. (WM_APP + 1 is the hand-over of paths from a
// later start of the program.)
const UINT kListingDoneMessage = WM_APP + 2;

// Posted by an edit combo box to itself after a choice from its list, once the box has updated
// its edit field. wParam is the notification code (CBN_SELCHANGE or CBN_SELENDCANCEL).
const UINT kComboSettledMessage = WM_APP;
