// The program from start to end: platform services up, settings loaded, the main dialog and its
// message loop, then everything down again in reverse order.
#pragma once

#include <windows.h>

// Returns the process exit code: the quit message's (2 after the dialog was closed), or 0 when
// the main dialog could not be created. `showCommand` is the one the process was started with.
int RunApplication(HINSTANCE instance, int showCommand);
