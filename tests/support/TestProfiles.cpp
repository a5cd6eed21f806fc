#include "support/TestProfiles.h"

#include <lcms2.h>

namespace {

std::vector<uint8_t> Save(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  std::vector<uint8_t> bytes;
  if (profile && cmsSaveProfileToMem(profile, nullptr, &size) && size > 0) {
    bytes.resize(size);
    if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) bytes.clear();
  }
  if (profile) cmsCloseProfile(profile);
  return bytes;
}

cmsToneCurve* SrgbCurve() {
  const cmsFloat64Number srgb[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  return cmsBuildParametricToneCurve(nullptr, 4, srgb);
}

}  // namespace

std::vector<uint8_t> SwappedRedGreenProfile() {
  const cmsCIExyY d65 = {0.3127, 0.3290, 1.0};
  const cmsCIExyYTRIPLE swapped = {{0.300, 0.600, 1.0}, {0.640, 0.330, 1.0}, {0.150, 0.060, 1.0}};
  cmsToneCurve* curve = SrgbCurve();
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &swapped, curves);
  cmsFreeToneCurve(curve);
  return Save(profile);
}

std::vector<uint8_t> SrgbProfile() {
  return Save(cmsCreate_sRGBProfile());
}

std::vector<uint8_t> LinearGreyProfile() {
  cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
  cmsHPROFILE profile = cmsCreateGrayProfile(cmsD50_xyY(), linear);
  cmsFreeToneCurve(linear);
  return Save(profile);
}

std::vector<uint8_t> SwappedInksCmykProfile() {
  // A table of 2 x 2 x 2 x 2 corners (C, M, Y, K with C varying slowest), each the Lab of its
  // sRGB colour: red is what magenta and yellow leave, green what cyan would, and so on, with
  // the cyan and magenta inks exchanged.
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  cmsHTRANSFORM toLab = cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_16, INTENT_RELATIVE_COLORIMETRIC, 0);
  cmsUInt16Number table[16 * 3];
  for (int i = 0; i < 16; ++i) {
    const double c = (i >> 3) & 1, m = (i >> 2) & 1, y = (i >> 1) & 1, k = i & 1;
    const double rgb[3] = {(1 - m) * (1 - k), (1 - c) * (1 - k), (1 - y) * (1 - k)};
    cmsDoTransform(toLab, rgb, table + 3 * i, 1);
  }
  cmsDeleteTransform(toLab);
  cmsCloseProfile(lab);
  cmsCloseProfile(srgb);

  cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(profile, 4.3);
  cmsSetDeviceClass(profile, cmsSigOutputClass);
  cmsSetColorSpace(profile, cmsSigCmykData);
  cmsSetPCS(profile, cmsSigLabData);
  cmsWriteTag(profile, cmsSigMediaWhitePointTag, cmsD50_XYZ());
  cmsPipeline* lut = cmsPipelineAlloc(nullptr, 4, 3);
  // The layout of an lutAtoBType: A curves, the table, B curves (both identities here).
  cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
  cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocCLut16bit(nullptr, 2, 4, 3, table));
  cmsPipelineInsertStage(lut, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
  cmsWriteTag(profile, cmsSigAToB0Tag, lut);
  cmsPipelineFree(lut);
  return Save(profile);
}

std::string WithIccProfile(const std::string& jpeg, const std::vector<uint8_t>& icc) {
  const size_t kPiece = 65519;  // a marker's 65535 bytes less its length and the 14-byte tag
  const size_t pieces = (icc.size() + kPiece - 1) / kPiece;
  std::string markers;
  for (size_t i = 0; i < pieces; ++i) {
    const size_t size = icc.size() - i * kPiece < kPiece ? icc.size() - i * kPiece : kPiece;
    const size_t length = 2 + 14 + size;
    markers += "\xFF\xE2";
    markers += static_cast<char>(length >> 8);
    markers += static_cast<char>(length & 0xFF);
    markers.append("ICC_PROFILE", 12);  // with its terminating zero
    markers += static_cast<char>(i + 1);
    markers += static_cast<char>(pieces);
    markers.append(reinterpret_cast<const char*>(icc.data()) + i * kPiece, size);
  }
  return jpeg.substr(0, 2) + markers + jpeg.substr(2);
}
