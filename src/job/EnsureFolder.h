// Making sure an output folder exists.
#pragma once

#include <string>

// 0 when the folder exists or was created with its missing parents, otherwise a Win32 error code.
// A drive root is never created: 0 when it exists, ERROR_ACCESS_DENIED (5) when it does not.
unsigned long EnsureFolder(const std::wstring& folder);
