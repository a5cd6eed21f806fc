#include "support/ImageCalls.h"

#include <vector>

HRESULT LoadDibForShrink(const std::wstring& path, const ShrinkSettings& settings, CDibPtr* dib,
                         FitSize* fileSize) {
  return LoadDibForShrinks(path, std::vector<ShrinkSettings>{settings}, dib, fileSize);
}

CImageSaverPtr CreatePngSaver() {
  SaveFormat png;
  png.Type = SaveFormat::Png;
  return CreateSaver(png);
}

CImageSaverPtr CreateJpegSaver(int quality) {
  SaveFormat jpeg;
  jpeg.Type = SaveFormat::Jpeg;
  jpeg.JpegQuality = quality;
  return CreateSaver(jpeg);
}
