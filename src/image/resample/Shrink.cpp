// The shrink step with its size rule and resampling.
#include "image/resample/Shrink.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/ErrorCodes.h"
#include "base/SizeRule.h"
#include "image/PixelOps.h"
#include "image/resample/Resample.h"

namespace {


// The target size for a picture that exceeds the box. The rule can round a side to 0 (a 1000 x 1
// picture in a 10 x 10 box); such a side becomes 1 pixel so the picture still shrinks. A product
// too large for 32 bits only arises when the box is far wider than the picture needs, so the fit
// to the box height applies then.
FitSize TargetSize(FitSize box, FitSize picture) {
  FitSize fit = CalcFitSize(box, picture);
  if (fit.height < 0) fit = {MulDivRound(box.height, picture.width, picture.height), box.height};
  fit.width = std::max<int32_t>(1, std::min(fit.width, picture.width));
  fit.height = std::max<int32_t>(1, std::min(fit.height, picture.height));
  return fit;
}

}  // namespace

ShrinkPlan PlanShrink(const ShrinkSettings& settings, const FitSize& picture, FitSize* target) {
  FitSize box;
  switch (settings.ShrinkType) {
    case 0:
      return ShrinkPlan::Keep;
    case 1:
      box = {settings.CustomWidth, settings.CustomHeight};
      break;
    case 2:
      box = {settings.ShrinkWidth, settings.ShrinkHeight};
      break;
    default:
      return ShrinkPlan::UnknownMethod;
  }
  if (box.width >= picture.width && box.height >= picture.height) return ShrinkPlan::Keep;
  if (box.width <= 0 || box.height <= 0) return ShrinkPlan::BoxNotPositive;
  *target = TargetSize(box, picture);
  return ShrinkPlan::Scale;
}

ShrinkResult ShrinkImage(const ShrinkSettings& settings, const CDibPtr& source, const FitSize* fileSize) {
  ShrinkResult result;
  if (settings.ShrinkType != 0 && (!source || !source->IsValid())) {
    result.plan = ShrinkPlan::Scale;
    result.code = E_INVALIDARG;
    return result;
  }
  FitSize picture = fileSize ? *fileSize : FitSize{source ? source->Width() : 0, source ? source->Height() : 0};
  FitSize target = {0, 0};
  result.plan = PlanShrink(settings, picture, &target);
  if (result.plan == ShrinkPlan::Keep) result.image = source;
  if (result.plan != ShrinkPlan::Scale) return result;
  RECT sourceRect = {0, 0, source->Width(), source->Height()};
  RECT targetRect = {0, 0, target.width, target.height};
  HRESULT hr = ResizeDib(*source, sourceRect, targetRect, &result.image);
  if (FAILED(hr)) {
    result.image.reset();
    result.code = hr;
  }
  return result;
}

HRESULT ResizeDib(const CDib& source, const RECT& sourceRect, const RECT& targetRect, CDibPtr* result) {
  result->reset();
  if (!source.IsValid()) return kOutOfMemory;
  size_t headerSize = CalcHeaderSize(*source.GetHeader());
  if (headerSize == 0) return E_INVALIDARG;
  LONG width = targetRect.right - targetRect.left, height = targetRect.bottom - targetRect.top;
  if (source.BitCount() != 32 || width <= 0 || height <= 0 || sourceRect.left < 0 ||
      sourceRect.top < 0 || sourceRect.right > source.Width() || sourceRect.bottom > source.Height() ||
      sourceRect.right <= sourceRect.left || sourceRect.bottom <= sourceRect.top) {
    return E_NOTIMPL;  // a picture or rectangle the resampler does not take
  }
  // The new header starts as a copy of the source's, so its other fields and table carry over.
  BYTE* header = static_cast<BYTE*>(std::malloc(headerSize));
  if (!header) return kOutOfMemory;
  std::memcpy(header, source.GetHeader(), headerSize);
  BITMAPINFOHEADER* h = reinterpret_cast<BITMAPINFOHEADER*>(header);
  h->biWidth = width;
  h->biHeight = height;
  h->biBitCount = 32;
  h->biCompression = BI_RGB;
  h->biSizeImage = 0;
  CDibPtr resized(new (std::nothrow) CDib);
  bool made = resized && resized->CreateFromHeader(reinterpret_cast<BITMAPINFO*>(header)) &&
              resized->AllocBits();
  std::free(header);
  if (!made) return kOutOfMemory;

  PixelRows from = source.Rows();
  from.top = from.Row(static_cast<uint32_t>(sourceRect.top)) + 4 * static_cast<size_t>(sourceRect.left);
  from.width = static_cast<uint32_t>(sourceRect.right - sourceRect.left);
  from.height = static_cast<uint32_t>(sourceRect.bottom - sourceRect.top);
  if (!ResampleBgra(from, resized->Rows())) return kOutOfMemory;

  if (IsGrayPalette(*source.GetHeader())) return ExtractChannel(*resized, 1, result);
  *result = resized;
  return S_OK;
}

bool IsGrayPalette(const BITMAPINFOHEADER& header) {
  UINT count = CalcColorCount(header);
  if (count == 0 || header.biCompression != BI_RGB) return false;
  const RGBQUAD* table = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(&header) + header.biSize);
  for (UINT i = 0; i < count; ++i) {
    if (table[i].rgbBlue != table[i].rgbGreen || table[i].rgbGreen != table[i].rgbRed) return false;
  }
  return true;
}

HRESULT ExtractChannel(const CDib& source, int channel, CDibPtr* result) {
  result->reset();
  if (!source.IsValid() || source.BitCount() != 32 || channel < 0 || channel > 3) return E_INVALIDARG;
  CDibPtr grey(new (std::nothrow) CDib);
  if (!grey || !grey->Create(source.Width(), source.Height(), 8, 0, BI_RGB) || !grey->AllocBits()) {
    return kOutOfMemory;
  }
  ExtractChannelBytes(source.Rows(), channel, grey->Rows());
  *result = grey;
  return S_OK;
}
