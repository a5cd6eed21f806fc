// Where a profile writes the output of a source: its folder, the source's subfolder and the
// output's name. The task, the start's checks and the overwrite question all name outputs here.
#pragma once

#include <string>

#include "job/ShrinkProfile.h"

// The name of `profile`'s output of a source whose base name is `baseName`: the prefix, the base
// name and the extension of the profile's format, with a "_" in front of a device's name
// (IsReservedDeviceName: "_CON.png", never "CON.png").
std::wstring OutputFileName(const ShrinkProfile& profile, const std::wstring& baseName);

// The folder `profile` writes into for a source whose outputs go to `subfolder` (relative to
// the profile's folder, empty for the folder itself).
std::wstring OutputFolder(const ShrinkProfile& profile, const std::wstring& subfolder);

// Where `profile` writes the output of a source whose base name is `baseName`: OutputFolder and
// OutputFileName.
std::wstring BuildOutputPath(const ShrinkProfile& profile, const std::wstring& subfolder,
                             const std::wstring& baseName);
