// The program from start to end: platform services up, settings loaded, the main dialog and its
// message loop, then everything down again in reverse order.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Returns the process exit code: the quit message's (2 after the dialog was closed), 0 when
// the main dialog could not be created or the running instance took `paths`, or
// kHandOverRefusedExitCode (1) when the running instance refused them. `showCommand` is the
// one the process was started with. `paths` (absolute, as the command line names them) are taken
// as a drop once the window shows, or go to this user's running instance when there is one.
int RunApplication(HINSTANCE instance, int showCommand,
                   const std::vector<std::wstring>& paths = std::vector<std::wstring>());
