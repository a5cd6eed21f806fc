// Naming outputs.
#include "job/OutputNames.h"

#include "base/PathNames.h"
#include "image/encode/SaveFormat.h"

std::wstring OutputFileName(const ShrinkProfile& profile, const std::wstring& baseName) {
  const std::wstring name = profile.Prefix + baseName + L"." + GetExtension(profile.SaveFormat);
  // A picture named like a device (CON.jpg from a disc or an archive, with no prefix) would make
  // a file that Explorer cannot open or delete: it gets a "_" in front, as a drop copy does.
  return IsReservedDeviceName(name) ? L"_" + name : name;
}

std::wstring OutputFolder(const ShrinkProfile& profile, const std::wstring& subfolder) {
  return subfolder.empty() ? profile.Folder : AppendPath(profile.Folder, subfolder);
}

std::wstring BuildOutputPath(const ShrinkProfile& profile, const std::wstring& subfolder,
                             const std::wstring& baseName) {
  return AppendPath(OutputFolder(profile, subfolder), OutputFileName(profile, baseName));
}
