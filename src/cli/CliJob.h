// kestrelle-cli's job: the same checks, tasks and worker as a drop on the dialog, reported on the
// console instead of in the window.
#pragma once

#include <string>
#include <vector>

// Runs the command line and returns the process exit code: 0 every output written, 1 a file
// failed, 2 a usage error or a refused start.
int RunCli(const std::vector<std::wstring>& args);
