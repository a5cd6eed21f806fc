// The shrink step: whether and how far to scale a loaded picture for one profile.
#pragma once

#include <cstdint>

#include "base/SizeRule.h"
#include "image/Dib.h"

// The five shrink fields of a profile.
struct ShrinkSettings {
  int32_t ShrinkType;
  int32_t ShrinkWidth;
  int32_t ShrinkHeight;
  int32_t CustomWidth;
  int32_t CustomHeight;
  // The output cannot show the last detail of a larger decode (JPEG up to quality 80, see
  // OutputFormat::smallerDecodeQuality): a JPEG source may be decoded smaller for it (see
  // LoadDibForShrinks).
  bool LossyOutput = false;
};

// What the size rule decides for a picture of the given size.
enum class ShrinkPlan { Keep, Scale, BoxNotPositive, UnknownMethod };
ShrinkPlan PlanShrink(const ShrinkSettings& settings, const FitSize& picture, FitSize* target);

// The plan, and for Keep and Scale the picture: the source itself when nothing is scaled. A
// failed resampling is a Scale plan with a failure code and no picture. The task turns a result
// without a picture into its message.
struct ShrinkResult {
  CDibPtr image;
  ShrinkPlan plan = ShrinkPlan::Keep;
  HRESULT code = S_OK;
};

// `fileSize`, when given, is the picture's own size in its file; the rule is applied to it even
// when `source` was decoded at a reduced scale.
ShrinkResult ShrinkImage(const ShrinkSettings& settings, const CDibPtr& source,
                         const FitSize* fileSize = nullptr);

// Resamples sourceRect of `source` into a new 32-bit CDib of targetRect's size (an 8-bit grey
// one when the source has a grey colour table).
HRESULT ResizeDib(const CDib& source, const RECT& sourceRect, const RECT& targetRect, CDibPtr* result);

// True for a header with a colour table in which every entry has equal blue, green and red.
bool IsGrayPalette(const BITMAPINFOHEADER& header);

// An 8-bit grey CDib made of byte `channel` (0 blue .. 3 alpha) of every 32-bit pixel.
HRESULT ExtractChannel(const CDib& source, int channel, CDibPtr* result);
