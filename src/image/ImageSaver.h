// Encoders and saving: a CImageSaver per output, made from the profile's SaveFormat.
#pragma once

#include <string>

#include <boost/shared_ptr.hpp>

#include "image/Dib.h"
#include "image/SaveFormat.h"

class CImageSaver {
public:
  // "image/png" or "image/jpeg"; sets both flags (true for PNG) and chooses the encoder.
  // E_FAIL for a type there is no encoder for.
  HRESULT SetMimeType(const wchar_t* mime);
  void SetQuality(int quality) { m_quality = quality; }

  // Writes a 32-bit image (PNG with alpha, or JPEG) or an 8-bit indexed one (PNG) to `path`,
  // which must not exist (see WriteNewFile): an existing file there is left as it is and the save
  // fails with HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS). Other failures: the system's reason of
  // the write, HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), or E_FAIL when the encoder fails; no
  // partial output remains.
  HRESULT Save(const CDib& image, const std::wstring& path) const;

  bool SupportsTransparency = false;  // the format can keep transparency
  bool TryPalette = false;            // palette reduction is worth trying first

private:
  enum class Encoder { None, Png, Jpeg };
  Encoder m_encoder = Encoder::None;
  int m_quality = 80;
};

typedef boost::shared_ptr<CImageSaver> CImageSaverPtr;

CImageSaverPtr CreateSaver(const SaveFormat& format);
CImageSaverPtr CreatePngSaver();
CImageSaverPtr CreateJpegSaver(int quality);
