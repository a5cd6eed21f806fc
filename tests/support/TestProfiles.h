// ICC profiles made with Little CMS for the colour tests, and a JPEG given one. Each profile is
// one whose fault would be plain to see: a missing or wrong conversion leaves colours that the
// tests cannot mistake for right ones.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// RGB with sRGB's curve and white but red and green primaries swapped: sRGB red stored as
// (0, 255, 0).
std::vector<uint8_t> SwappedRedGreenProfile();
// sRGB itself, as lcms writes it.
std::vector<uint8_t> SrgbProfile();
// Grey of linear light: level 128 is sRGB's 188.
std::vector<uint8_t> LinearGreyProfile();
// CMYK whose cyan and magenta inks print each other's colours: full cyan ink alone is magenta
// (255, 0, 255) in sRGB, where the plain conversion of CMYK gives cyan.
std::vector<uint8_t> SwappedInksCmykProfile();

// `jpeg` with `icc` in APP2 ICC_PROFILE markers right after its start of image.
std::string WithIccProfile(const std::string& jpeg, const std::vector<uint8_t>& icc);
