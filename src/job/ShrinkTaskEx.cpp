// Building a task, and its outputs' paths.
#include "job/ShrinkTaskEx.h"

#include "base/FilePaths.h"
#include "base/PathNames.h"

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
