// kestrelle-cli: entry point.
#include <windows.h>

#include <string>
#include <vector>

#include "cli/CliJob.h"
#include "cli/ConsoleText.h"

int wmain(int argc, wchar_t** argv) {
  try {
    std::vector<std::wstring> args(argv + 1, argv + argc);
    return RunCli(args);
  } catch (...) {
    WriteErr(L"kestrelle-cli: out of memory\n");
    return 1;
  }
}
