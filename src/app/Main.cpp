// Kestrelle's entry point. The command line's arguments are files and folders to shrink, as
// Explorer passes them from Send To or a drop on the program's icon.
#include <windows.h>

#include "app/Application.h"
#include "app/InstanceHandOver.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  return RunApplication(instance, showCommand, CommandLinePaths(GetCommandLineW()));
}
