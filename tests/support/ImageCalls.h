// Short forms of the image floor's calls for the tests: one shrink instead of a list, a saver by
// its format's name. Each is the product's own call with the rest filled in.
#pragma once

#include <string>

#include "image/decode/LoadDib.h"
#include "image/encode/ImageSaver.h"

// LoadDibForShrinks with the one entry `settings`.
HRESULT LoadDibForShrink(const std::wstring& path, const ShrinkSettings& settings, CDibPtr* dib,
                         FitSize* fileSize);

// The savers of the PNG row and of the JPEG row at `quality`, as CreateSaver makes them.
CImageSaverPtr CreatePngSaver();
CImageSaverPtr CreateJpegSaver(int quality);
