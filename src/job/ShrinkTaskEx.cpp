// Building a task and naming its outputs.
#include "job/ShrinkTaskEx.h"

#include "base/FilePaths.h"
#include "base/PathNames.h"
#include "image/encode/SaveFormat.h"

CShrinkTaskExPtr CShrinkTaskEx::Create() {
  CShrinkTaskExPtr task(new CShrinkTaskEx);
  task->m_self = task;
  return task;
}

void CShrinkTaskEx::SetSource(const std::wstring& path, const std::wstring& subfolder) {
  m_source = path;
  m_subfolder = subfolder;
  m_baseName = SplitFileName(path).base;
}

void CShrinkTaskEx::AddProfiles(const std::vector<ShrinkProfile>& profiles, size_t count) {
  for (size_t i = 0; i < count && i < profiles.size(); ++i) m_profiles.push_back(profiles[i]);
}

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

std::wstring CShrinkTaskEx::OutputFolder(const ShrinkProfile& profile) const {
  return ::OutputFolder(profile, m_subfolder);
}

std::wstring CShrinkTaskEx::BuildOutputPath(const ShrinkProfile& profile) const {
  return ::BuildOutputPath(profile, m_subfolder, m_baseName);
}

void CShrinkTaskEx::CollectExistingOutputs(CFileList* list) const {
  for (const ShrinkProfile& profile : m_profiles) {
    if (!profile.Use) continue;
    std::wstring output = BuildOutputPath(profile);
    if (PathExists(output)) list->Add(output);
  }
}
