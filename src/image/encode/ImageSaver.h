// Encoders and saving: a CImageSaver per output, made from the profile's SaveFormat through the
// table of output formats (image/encode/SaveFormat.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "image/Dib.h"
#include "image/encode/SaveFormat.h"

class CImageSaver {
public:
  // `quality` reaches the format's encoder (JPEG's quality scale; PNG has none).
  CImageSaver(const OutputFormat& format, int quality) : m_format(&format), m_quality(quality) {}

  // Writes a 32-bit image, or an 8-bit indexed one when the format has an indexed form (PNG),
  // to `path`, which must not exist (see WriteNewFile): an existing file there is left as it is
  // and the save fails with HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS). Other failures: the
  // system's reason of the write, HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), or E_FAIL when
  // the encoder fails or the format cannot hold the picture; no partial output remains.
  HRESULT Save(const CDib& image, const std::wstring& path) const;
  // Encodes `image` as Save does, at `quality` (for a format that uses one), into memory.
  // E_FAIL when the encoder fails or the format cannot hold the picture,
  // HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY) when memory runs out.
  HRESULT Encode(const CDib& image, int quality, std::vector<uint8_t>* out) const;

  // The format can keep transparency.
  bool SupportsTransparency() const { return m_format->keepsTransparency; }
  // Palette reduction is worth trying first.
  bool TryPalette() const { return m_format->triesPalette; }
  // The quality number Save encodes at.
  int Quality() const { return m_quality; }
  // The quality number reaches the encoder (JPEG, WebP).
  bool UsesQuality() const { return m_format->usesQuality; }

private:
  const OutputFormat* m_format;  // a row of the format table, which lives for the whole process
  int m_quality;
};

typedef boost::shared_ptr<CImageSaver> CImageSaverPtr;

// The saver of `format`'s row of the table, with its JPEG quality; null only when memory runs out.
CImageSaverPtr CreateSaver(const SaveFormat& format);
