// Loading a picture file into a 32-bit straight-alpha CDib of the picture's own size.
#pragma once

#include <string>
#include <vector>

#include "base/ExifDate.h"
#include "base/PixelBudget.h"
#include "image/Dib.h"
#include "image/resample/Shrink.h"

// The decoder is chosen by the file's signature, never its name: the program's own codecs (the
// table of image/decode/InputFormats.cpp) first, everything else through GDI+. E_NOTIMPL for a
// missing, unreadable or undecodable file; HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY) when the
// picture does not fit in memory. The file is closed before this returns, on every path.
HRESULT LoadDib(const std::wstring& path, CDibPtr* dib);

// Told what a picture's decode will hold before it is allocated, in pixels of four bytes: its
// decoded size, and what the decoder holds for the whole stored picture (a progressive JPEG's
// coefficients, three quarters of a pixel per stored pixel with 4:2:0 subsampling; libheif's and
// libwebp's own decoded copies).
// It may hold the loading thread until there is room for the picture; false ends the load with
// E_ABORT (the load is no longer wanted). A decode that comes to hold more than it was admitted
// with (a streamed picture kept whole after all) asks again with the larger total.
class CLoadAdmission {
public:
  virtual bool Admit(uint64_t pixels) = 0;
  // Asked every few rows while the picture decodes: false ends the load with E_ABORT there.
  virtual bool StillWanted() const { return true; }

protected:
  ~CLoadAdmission() = default;
};

// LoadDib for a picture about to be shrunk by each of `settings`. A JPEG whose target is at most
// half its size in both directions is decoded at the largest scale of 1/2, 1/4 or 1/8 that still
// leaves at least twice the target (one and a half times it for a LossyOutput entry that no other
// entry's quarter-size shrink could be made from); with several entries the scale is the largest
// that suits every one (the smallest of the scales each would get alone), so one decode serves
// them all.
// `fileSize` receives the picture's own (upright) size, to which the size rule applies. Photos
// stored turned carry an EXIF orientation: every loaded picture is turned upright. `admission`,
// when given, is asked before the pixels are allocated.
HRESULT LoadDibForShrinks(const std::wstring& path, const std::vector<ShrinkSettings>& settings,
                          CDibPtr* dib, FitSize* fileSize, CLoadAdmission* admission = nullptr);

// LoadDibForShrinks that makes the shrinks too. Where the picture allows (a JPEG stored upright,
// or a HEIF/AVIF, that every one of `settings` scales down) they are made from the rows as the
// decoder makes them, so the decoded picture is never held whole: `*shrinks` then holds one result per entry of
// `settings`, the bytes ShrinkImage would make of the loaded picture, and `*dib` stays empty. A
// shrink at most a quarter of another in both directions, which alone would get a smaller decode,
// is the shrink of that other shrink instead (see CDibCanvas::ChooseFeeders). The admission is
// told the shrinks' pixels instead of the picture's. Otherwise `*dib` is the picture
// LoadDibForShrinks gives and `*shrinks` is empty. `dateTaken`, when given, receives the date the
// file's EXIF block records (empty without one), read from the bytes the load holds.
HRESULT LoadDibOrShrinks(const std::wstring& path, const std::vector<ShrinkSettings>& settings,
                         CDibPtr* dib, std::vector<ShrinkResult>* shrinks, FitSize* fileSize,
                         CLoadAdmission* admission = nullptr, ExifDate* dateTaken = nullptr);

// Returns what the calling thread keeps for the next picture (its file buffer and the blocks of
// image/BlockCache.h). A thread that loads or saves pictures calls this before it ends.
void ReleaseThreadImageBuffers();
