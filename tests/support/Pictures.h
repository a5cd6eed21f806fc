// Test pictures made in memory as CDibs; support/TestFiles.h holds the plain file encoders.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "image/Dib.h"
#include "support/TestFiles.h"

// A 32-bit CDib whose pixel (x, y), counted from the top left, is argb(x, y) = 0xAARRGGBB.
CDibPtr MakeDib(int width, int height, const std::function<uint32_t(int, int)>& argb);
// Pixel (x, y) from the top left of a 32-bit CDib as 0xAARRGGBB, or the index of an 8-bit one.
uint32_t PixelAt(const CDib& dib, int x, int y);
// A smooth picture with edges and fine texture, opaque, deterministic.
CDibPtr MakePhotoLike(int width, int height);

// Writes `dib` through GDI+'s encoder for `mime` ("image/bmp", "image/gif", "image/tiff").
bool SaveWithGdiplus(const CDib& dib, const std::wstring& path, const wchar_t* mime);

// The 32-bit picture as RGB samples, top row first, for the encoders of support/TestFiles.h.
std::vector<uint8_t> RgbSamples(const CDib& dib);

// Mean absolute difference per channel between two 32-bit pictures of the same size.
double MeanAbsoluteError(const CDib& a, const CDib& b);
// Peak signal-to-noise ratio in dB over the colour channels of two 32-bit pictures of the same
// size; 99 for equal ones.
double Psnr(const CDib& a, const CDib& b);
