// Turning a decoded picture's colours into sRGB, the colours every output is written in and every
// viewer assumes of a file without a profile, with Little CMS.
#pragma once

#include <cstdint>
#include <memory>

#include <boost/shared_ptr.hpp>

#include "base/ColorDescription.h"
#include "base/Scoped.h"

class CColorConversion;
typedef boost::shared_ptr<const CColorConversion> CColorConversionPtr;

class CColorConversion {
public:
  // The conversion of pixels that `colour` describes into sRGB, or null when they stay as decoded:
  // no description, an sRGB one (the same colours to within one level), one that does not fit the
  // pixels (an RGB profile on grey pixels) or cannot be read, and code points of a transfer this
  // program cannot map (PQ, HLG). Conversions are kept for the next picture of the calling thread
  // with the same description (see ReleaseThreadColorConversions). Never throws.
  static CColorConversionPtr For(const ColorDescription& color);

  ~CColorConversion();
  CColorConversion(const CColorConversion&) = delete;
  CColorConversion& operator=(const CColorConversion&) = delete;

  // Converts `width` pixels in place into B, G, R with alpha kept (CMYK pixels become opaque).
  void Apply(uint8_t* pixels, uint32_t width) const;
  // True for CMYK: the pixels are ink values until converted, which nothing else can work on.
  // Other pixels may be converted at any size, before or after they are shrunk.
  bool ConvertsInks() const { return m_cmyk; }

private:
  struct MatrixShaper;

  CColorConversion();
  static CColorConversionPtr Make(const ColorDescription& color);
  bool KeepsColors() const;
  // Takes the matrix path for `inputProfile` (lcms profile handles) when it agrees with the
  // general transform.
  void UseMatrixWhereItAgrees(void* inputProfile, void* srgbProfile);

  // The lcms transform, for RGB and CMYK pixels: a handle that only the .cpp, which includes
  // lcms2.h, gives back.
  struct TransformTraits {
    typedef void* Type;
    static void* Empty() { return nullptr; }
    static bool IsEmpty(void* transform) { return !transform; }
    static void Release(void* transform);
  };
  CScoped<TransformTraits> m_transform;
  // For the RGB profiles of curves and primaries (nearly all of them): the same conversion in a
  // few table lookups and one matrix, several times faster than the general transform.
  std::unique_ptr<MatrixShaper> m_matrix;
  bool m_cmyk = false;
  bool m_grey = false;
  uint8_t m_greyLevels[256][3] = {};  // B, G, R of each grey level
};

// Gives back what the calling thread keeps for its next picture.
void ReleaseThreadColorConversions();
