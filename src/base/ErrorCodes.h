// The program's one code for memory that could not be had: a picture over the pixel budget, a
// buffer that could not be allocated, dropped data too large to copy. Its system text reads "Not
// enough memory" in the messages that name it.
#pragma once

#include <windows.h>

const HRESULT kOutOfMemory = HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);

// The calling thread's last Win32 error as an HRESULT; a failure even when the system set none.
inline HRESULT LastErrorResult() {
  const DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
}
