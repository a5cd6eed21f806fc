// Colour conversion to sRGB through Little CMS. An ICC profile is used when the file has one;
// otherwise HEIF/AVIF code points name the primaries and the transfer, from which an RGB profile
// is made. What converts to within a level of itself is left alone, so sRGB files keep their
// exact bytes and cost nothing but the first test of their profile.
#include "image/decode/ColorConversion.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include <lcms2.h>

namespace {

// lcms's handles are plain pointers (cmsHPROFILE and cmsHTRANSFORM are void*).
typedef CScopedObject<void, cmsCloseProfile> CLcmsProfile;
typedef CScopedObject<void, cmsDeleteTransform> CLcmsTransform;

// The primaries of H.273 as CIE xy of red, green and blue, and their white.
bool PrimariesOf(uint16_t code, cmsCIExyYTRIPLE* primaries, cmsCIExyY* white) {
  const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
  *white = d65;
  switch (code) {
    case 1:  // BT.709, sRGB
      *primaries = {{0.640, 0.330, 1.0}, {0.300, 0.600, 1.0}, {0.150, 0.060, 1.0}};
      return true;
    case 4:  // BT.470 System M, illuminant C
      *primaries = {{0.670, 0.330, 1.0}, {0.210, 0.710, 1.0}, {0.140, 0.080, 1.0}};
      *white = {0.310, 0.316, 1.0};
      return true;
    case 5:  // BT.601 625 lines
      *primaries = {{0.640, 0.330, 1.0}, {0.290, 0.600, 1.0}, {0.150, 0.060, 1.0}};
      return true;
    case 6:  // BT.601 525 lines
    case 7:
      *primaries = {{0.630, 0.340, 1.0}, {0.310, 0.595, 1.0}, {0.155, 0.070, 1.0}};
      return true;
    case 9:  // BT.2020, BT.2100
      *primaries = {{0.708, 0.292, 1.0}, {0.170, 0.797, 1.0}, {0.131, 0.046, 1.0}};
      return true;
    case 11:  // DCI-P3, with the projector's white
      *primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
      *white = {0.314, 0.351, 1.0};
      return true;
    case 12:  // Display P3 (phones and their HEIC photos)
      *primaries = {{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};
      return true;
    default:
      return false;
  }
}

// The curve from coded values to light of an H.273 transfer; null for those not mapped here
// (PQ and HLG need a tone mapping to fit sRGB; "unspecified" is sRGB's own). The camera curves of
// BT.709, BT.601 and BT.2020 are shown as sRGB by the viewers people compare with, so they are
// taken as sRGB's.
cmsToneCurve* TransferOf(uint16_t code) {
  switch (code) {
    case 1:
    case 2:
    case 6:
    case 13:
    case 14:
    case 15: {
      const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
      return cmsBuildParametricToneCurve(nullptr, 4, srgb);
    }
    case 4: return cmsBuildGamma(nullptr, 2.2);
    case 5: return cmsBuildGamma(nullptr, 2.8);
    case 8: return cmsBuildGamma(nullptr, 1.0);
    default: return nullptr;
  }
}

bool IsSrgbTransfer(uint16_t code) {
  return code == 1 || code == 2 || code == 6 || code == 13 || code == 14 || code == 15;
}

// An RGB profile of the code points, or null when they say sRGB or something not mapped.
CLcmsProfile ProfileOfCodePoints(const ColorDescription& color) {
  if ((color.colorPrimaries == 1 || color.colorPrimaries == 2) && IsSrgbTransfer(color.transferCharacteristics)) {
    return CLcmsProfile();
  }
  cmsCIExyYTRIPLE primaries;
  cmsCIExyY white;
  if (!PrimariesOf(color.colorPrimaries, &primaries, &white)) return CLcmsProfile();
  cmsToneCurve* curve = TransferOf(color.transferCharacteristics);
  if (!curve) return CLcmsProfile();
  cmsToneCurve* curves[3] = {curve, curve, curve};
  CLcmsProfile profile(cmsCreateRGBProfile(&white, &primaries, curves));
  cmsFreeToneCurve(curve);
  return profile;
}

cmsColorSpaceSignature SpaceOf(StoredColor stored) {
  switch (stored) {
    case StoredColor::Grey: return cmsSigGrayData;
    case StoredColor::Cmyk:
    case StoredColor::InvertedCmyk: return cmsSigCmykData;
    default: return cmsSigRgbData;
  }
}

// A profile that describes pixels of `stored`, or null.
CLcmsProfile InputProfileOf(const ColorDescription& color) {
  if (color.icc && color.iccSize > 0) {
    CLcmsProfile profile(cmsOpenProfileFromMem(color.icc, static_cast<cmsUInt32Number>(color.iccSize)));
    if (profile.IsValid()) {
      const cmsProfileClassSignature kind = cmsGetDeviceClass(profile.Get());
      const bool describesPixels = kind == cmsSigInputClass || kind == cmsSigDisplayClass ||
                                   kind == cmsSigOutputClass || kind == cmsSigColorSpaceClass;
      if (describesPixels && cmsGetColorSpace(profile.Get()) == SpaceOf(color.stored)) return profile;
    }
    return CLcmsProfile();  // a profile that cannot be used is not replaced by a guess
  }
  if (color.hasCodePoints && color.stored == StoredColor::Rgb) return ProfileOfCodePoints(color);
  return CLcmsProfile();
}

// The last conversion a thread made, for the next picture with the same description (a batch of
// one camera's photos carries one profile). A plain pointer: see ReleaseThreadColorConversions.
struct RememberedConversion {
  std::vector<uint8_t> icc;
  StoredColor stored = StoredColor::Rgb;
  bool hasCodePoints = false;
  uint16_t colorPrimaries = 0, transferCharacteristics = 0;
  CColorConversionPtr conversion;

  bool Matches(const ColorDescription& color) const {
    if (stored != color.stored || icc.size() != color.iccSize) return false;
    if (color.iccSize > 0) return std::memcmp(icc.data(), color.icc, color.iccSize) == 0;
    return hasCodePoints == color.hasCodePoints && colorPrimaries == color.colorPrimaries &&
           transferCharacteristics == color.transferCharacteristics;
  }
};
thread_local RememberedConversion* t_remembered = nullptr;

}  // namespace

// Light from each channel's value through the input profile's curve, the 3 x 3 matrix from its
// primaries to sRGB's (both as the profiles state them, adapted to the PCS white), and sRGB's
// curve from a table of 16384 steps of light.
struct CColorConversion::MatrixShaper {
  static const int kSteps = 16383;
  float toLight[3][256];  // R, G, B
  float matrix[3][3];
  uint8_t toSrgb[kSteps + 1];

  uint8_t Encode(float light) const {
    if (!(light > 0.0f)) return toSrgb[0];
    if (light >= 1.0f) return toSrgb[kSteps];
    return toSrgb[static_cast<int>(light * kSteps + 0.5f)];
  }
};

namespace {

bool ReadColumns(cmsHPROFILE profile, double columns[3][3]) {
  const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
  for (int c = 0; c < 3; ++c) {
    const cmsCIEXYZ* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
    if (!xyz) return false;
    columns[0][c] = xyz->X;
    columns[1][c] = xyz->Y;
    columns[2][c] = xyz->Z;
  }
  return true;
}

bool Invert(const double m[3][3], double inverse[3][3]) {
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (std::fabs(det) < 1e-9) return false;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      // The cofactor of (c, r), divided by the determinant.
      const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      inverse[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
    }
  }
  return true;
}

double SrgbEncode(double light) {
  return light <= 0.0031308 ? 12.92 * light : 1.055 * std::pow(light, 1.0 / 2.4) - 0.055;
}

// Levels 0, 17, ..., 255 of each channel as opaque BGRA pixels: a conversion that keeps every one
// of them to within a level keeps the colours of a picture, and two conversions that agree on
// them to within a level give the same picture.
const uint32_t kLevelGridColors = 16 * 16 * 16;
std::vector<uint8_t> LevelGrid() {
  std::vector<uint8_t> grid;
  grid.reserve(kLevelGridColors * 4);
  for (uint32_t i = 0; i < kLevelGridColors; ++i) {
    grid.insert(grid.end(), {uint8_t((i & 15) * 17), uint8_t((i >> 4 & 15) * 17), uint8_t((i >> 8) * 17), 255});
  }
  return grid;
}

bool WithinALevel(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::abs(int(a[i]) - int(b[i])) > 1) return false;
  }
  return true;
}

}  // namespace

CColorConversion::CColorConversion() = default;

CColorConversion::~CColorConversion() = default;

void CColorConversion::TransformTraits::Release(void* transform) {
  cmsDeleteTransform(transform);
}

bool CColorConversion::KeepsColors() const {
  const std::vector<uint8_t> grid = LevelGrid();
  std::vector<uint8_t> out = grid;
  Apply(out.data(), kLevelGridColors);
  return WithinALevel(grid, out);
}

CColorConversionPtr CColorConversion::Make(const ColorDescription& color) {
  CLcmsProfile input = InputProfileOf(color);
  if (!input.IsValid()) return nullptr;
  CLcmsProfile srgb(cmsCreate_sRGBProfile());
  if (!srgb.IsValid()) return nullptr;
  boost::shared_ptr<CColorConversion> conversion(new CColorConversion);
  if (color.stored == StoredColor::Grey) {
    // A grey picture's 256 levels, converted once; each pixel is then looked up.
    CLcmsTransform transform(
        cmsCreateTransform(input.Get(), TYPE_GRAY_8, srgb.Get(), TYPE_BGR_8, INTENT_PERCEPTUAL, 0));
    if (!transform.IsValid()) return nullptr;
    uint8_t levels[256];
    for (int i = 0; i < 256; ++i) levels[i] = static_cast<uint8_t>(i);
    cmsDoTransform(transform.Get(), levels, conversion->m_greyLevels, 256);
    bool keeps = true;
    for (int i = 0; i < 256 && keeps; ++i) {
      for (int c = 0; c < 3; ++c) keeps = keeps && std::abs(int(conversion->m_greyLevels[i][c]) - i) <= 1;
    }
    if (keeps) return nullptr;
    conversion->m_grey = true;
    return conversion;
  }
  if (color.stored == StoredColor::Cmyk || color.stored == StoredColor::InvertedCmyk) {
    const cmsUInt32Number format = color.stored == StoredColor::Cmyk ? TYPE_CMYK_8 : TYPE_CMYK_8_REV;
    conversion->m_transform.Reset(
        cmsCreateTransform(input.Get(), format, srgb.Get(), TYPE_BGRA_8, INTENT_PERCEPTUAL, 0));
    conversion->m_cmyk = true;
    return conversion->m_transform.IsValid() ? conversion : nullptr;
  }
  conversion->m_transform.Reset(cmsCreateTransform(input.Get(), TYPE_BGRA_8, srgb.Get(), TYPE_BGRA_8,
                                                   INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA));
  if (!conversion->m_transform.IsValid()) return nullptr;
  if (conversion->KeepsColors()) return nullptr;
  conversion->UseMatrixWhereItAgrees(input.Get(), srgb.Get());
  return conversion;
}

CColorConversionPtr CColorConversion::For(const ColorDescription& color) {
  const bool described = (color.icc && color.iccSize > 0) || color.hasCodePoints;
  if (!described) return nullptr;  // a CMYK decoder then makes its own plain conversion
  try {
    if (t_remembered && t_remembered->Matches(color)) return t_remembered->conversion;
    CColorConversionPtr conversion = Make(color);
    if (!t_remembered) t_remembered = new RememberedConversion;
    t_remembered->icc.assign(color.icc, color.icc + color.iccSize);
    t_remembered->stored = color.stored;
    t_remembered->hasCodePoints = color.hasCodePoints;
    t_remembered->colorPrimaries = color.colorPrimaries;
    t_remembered->transferCharacteristics = color.transferCharacteristics;
    t_remembered->conversion = conversion;
    return conversion;
  } catch (...) {
    // Out of memory: the picture keeps its colours, as one without a profile would.
    ReleaseThreadColorConversions();
    return nullptr;
  }
}

void CColorConversion::UseMatrixWhereItAgrees(void* inputProfile, void* srgbProfile) {
  cmsHPROFILE input = static_cast<cmsHPROFILE>(inputProfile), srgb = static_cast<cmsHPROFILE>(srgbProfile);
  if (!cmsIsMatrixShaper(input) || !cmsIsMatrixShaper(srgb)) return;
  double in[3][3], out[3][3], toSrgb[3][3];
  if (!ReadColumns(input, in) || !ReadColumns(srgb, out) || !Invert(out, toSrgb)) return;
  std::unique_ptr<MatrixShaper> shaper(new MatrixShaper);
  const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
  for (int c = 0; c < 3; ++c) {
    const cmsToneCurve* curve = static_cast<const cmsToneCurve*>(cmsReadTag(input, curves[c]));
    if (!curve) return;
    for (int v = 0; v < 256; ++v) shaper->toLight[c][v] = cmsEvalToneCurveFloat(curve, v / 255.0f);
  }
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      double sum = 0;
      for (int k = 0; k < 3; ++k) sum += toSrgb[r][k] * in[k][c];
      shaper->matrix[r][c] = static_cast<float>(sum);
    }
  }
  for (int i = 0; i <= MatrixShaper::kSteps; ++i) {
    shaper->toSrgb[i] = static_cast<uint8_t>(std::lround(255.0 * SrgbEncode(double(i) / MatrixShaper::kSteps)));
  }
  // Kept only where it gives the general transform's colours to within a level.
  std::vector<uint8_t> grid = LevelGrid();
  std::vector<uint8_t> exact = grid;
  cmsDoTransform(m_transform.Get(), exact.data(), exact.data(), kLevelGridColors);
  m_matrix = std::move(shaper);
  Apply(grid.data(), kLevelGridColors);
  if (!WithinALevel(grid, exact)) m_matrix.reset();
}

void CColorConversion::Apply(uint8_t* pixels, uint32_t width) const {
  if (m_matrix) {
    const MatrixShaper& m = *m_matrix;
    for (uint32_t x = 0; x < width; ++x, pixels += 4) {
      const float r = m.toLight[0][pixels[2]], g = m.toLight[1][pixels[1]], b = m.toLight[2][pixels[0]];
      pixels[2] = m.Encode(m.matrix[0][0] * r + m.matrix[0][1] * g + m.matrix[0][2] * b);
      pixels[1] = m.Encode(m.matrix[1][0] * r + m.matrix[1][1] * g + m.matrix[1][2] * b);
      pixels[0] = m.Encode(m.matrix[2][0] * r + m.matrix[2][1] * g + m.matrix[2][2] * b);
    }
    return;
  }
  if (m_grey) {
    for (uint32_t x = 0; x < width; ++x, pixels += 4) {
      const uint8_t* level = m_greyLevels[pixels[0]];
      pixels[0] = level[0];
      pixels[1] = level[1];
      pixels[2] = level[2];
    }
    return;
  }
  // Same size of pixel in and out: lcms converts in place.
  cmsDoTransform(m_transform.Get(), pixels, pixels, width);
  if (m_cmyk) {
    for (uint32_t x = 0; x < width; ++x) pixels[4 * x + 3] = 255;
  }
}

void ReleaseThreadColorConversions() {
  delete t_remembered;
  t_remembered = nullptr;
}
