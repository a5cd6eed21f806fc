// The two steps between resampling and encoding: flattening onto the background colour, and
// reduction of pictures with at most 256 distinct values to an indexed picture.
#pragma once

#include <cstdint>

#include "image/Dib.h"

// An opaque 32-bit picture: `source` drawn over the COLORREF `colorref` (0x00BBGGRR). A source
// without a pixel that lets the colour through (every photo) is that picture already: `*result`
// is then the source itself, not a copy. E_INVALIDARG when the source is not 32-bit, kOutOfMemory
// when storage fails.
HRESULT ApplyBackgroundColor(const CDibPtr& source, uint32_t colorref, CDibPtr* result);

// A new 8-bit picture whose colour table holds the distinct values in ascending unsigned order of
// 0xAARRGGBB (alpha in each entry's fourth byte; unused entries keep the grey ramp). S_FALSE, with
// no picture, when no palette is possible (the source is not 32-bit or has more than 256 values):
// the caller keeps the source.
HRESULT ReduceToPalette(const CDib& source, CDibPtr* result);
