// Kestrelle's entry point. The program takes no command-line arguments.
#include <windows.h>

#include "app/Application.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  return RunApplication(instance, showCommand);
}
