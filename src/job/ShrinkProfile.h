// The settings of one output profile and its shrink method.
#pragma once

#include <cstdint>
#include <string>

#include "image/encode/SaveFormat.h"

// The values ShrinkProfile::ShrinkType takes; any other value is invalid.
enum class ShrinkMethod : int32_t {
  None = 0,    // the picture keeps its size
  Custom = 1,  // fit within CustomWidth x CustomHeight
  Preset = 2,  // fit within ShrinkWidth x ShrinkHeight
};

// Field names double as the registry value names of the stored profiles.
struct ShrinkProfile {
  ShrinkProfile();

  int32_t ShrinkType = static_cast<int32_t>(ShrinkMethod::None);
  int32_t ShrinkWidth = 0;
  int32_t ShrinkHeight = 0;
  int32_t CustomWidth = 200;
  int32_t CustomHeight = 1000;
  bool Use = true;
  std::wstring Folder;  // the user's Pictures folder, or empty when the shell cannot name it
  std::wstring Prefix = L"s";
  SaveFormat SaveFormat;
  uint32_t BkColor = 0xFFFFFF;  // COLORREF 0x00BBGGRR
  bool Transparent = false;     // keep transparency instead of filling the background
  // The largest output, in kilobytes of 1,024 bytes (as Explorer counts them); 0: no limit. The
  // quality is lowered, then the picture made smaller, until the output fits (SizeLimit).
  int32_t MaxKilobytes = 0;
  // The output carries the source's date taken (a minimal EXIF block, nothing else of the
  // source's metadata) and the source file's modification time. Off: outputs carry no metadata.
  bool KeepDate = false;
};

// The user's Pictures folder as the shell names it (not created); empty on failure.
std::wstring DefaultPicturesFolder();
