// Loading a picture file into a 32-bit straight-alpha CDib of the picture's own size.
#pragma once

#include <string>

#include "image/Dib.h"

// The decoder is chosen by the file's signature, never its name: JPEG and PNG through the
// program's own codecs, everything else through GDI+. E_NOTIMPL for a missing, unreadable or
// undecodable file; HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY) when the picture does not fit in
// memory. The file is closed before this returns, on every path.
HRESULT LoadDib(const std::wstring& path, CDibPtr* dib);

// The same for a file already read into memory.
HRESULT DecodeDib(const uint8_t* data, size_t size, CDibPtr* dib);
