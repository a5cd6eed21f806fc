// CSharedSource: one load per task, one shrink per enabled profile.
#include "job/SharedSource.h"

#include "base/ErrorCodes.h"
#include "job/Thread.h"

ShrinkSettings ShrinkSettingsOf(const ShrinkProfile& profile) {
  const bool lossy = profile.SaveFormat.JpegQuality <= FindOutputFormat(profile.SaveFormat).smallerDecodeQuality;
  return {profile.ShrinkType, profile.ShrinkWidth, profile.ShrinkHeight, profile.CustomWidth,
          profile.CustomHeight, lossy};
}

CSharedSource::CSharedSource(const std::wstring& path, const std::vector<ShrinkProfile>& profiles)
    : m_path(path), m_profiles(profiles), m_made(profiles.size()), m_ready(profiles.size(), false) {
  for (const ShrinkProfile& profile : profiles) {
    if (profile.Use) ++m_remaining;
    if (profile.Use && profile.KeepDate) m_keepsDate = true;
  }
}

HRESULT CSharedSource::Load(CLoadAdmission* admission) {
  if (m_load != E_PENDING) return m_load;
  // Every enabled profile counts, whether or not its folder can be made, so the picture is the
  // same whoever loads it and whenever.
  std::vector<ShrinkSettings> shrinks;
  for (const ShrinkProfile& profile : m_profiles) {
    if (profile.Use) shrinks.push_back(ShrinkSettingsOf(profile));
  }
  std::vector<ShrinkResult> streamed;
  HRESULT hr = LoadDibOrShrinks(m_path, shrinks, &m_picture, &streamed, &m_fileSize, admission,
                                m_keepsDate ? &m_dateTaken : nullptr);
  // A refused admission is no result: a later Load may try again.
  if (hr != E_ABORT) m_load = hr;
  if (SUCCEEDED(hr) && !streamed.empty()) {
    // Made while the picture decoded, which was never held whole.
    size_t next = 0;
    for (size_t i = 0; i < m_profiles.size(); ++i) {
      if (!m_profiles[i].Use) continue;
      m_made[i] = streamed[next++];
      m_ready[i] = true;
    }
    m_remaining = 0;
  }
  return hr;
}

ShrinkResult CSharedSource::ShrinkFor(size_t index) {
  ShrinkResult result;
  if (m_ready[index]) {
    result = m_made[index];
    m_made[index] = ShrinkResult();  // the caller holds it now; it goes when the caller is done
    return result;
  }
  result = ShrinkImage(ShrinkSettingsOf(m_profiles[index]), m_picture, &m_fileSize);
  if (m_remaining > 0 && --m_remaining == 0) m_picture.reset();
  return result;
}

bool CSharedSource::MakeAll(const CThread& stop, CLoadAdmission* admission) {
  if (m_remaining == 0) return true;
  if (stop.IsStopping()) return false;
  HRESULT hr = Load(admission);
  if (hr == E_ABORT) return false;
  // Memory that could not be had beside the other threads' pictures may be there for the worker
  // alone: running out is never the result made ahead, the worker loads the file again itself.
  if (hr == kOutOfMemory) return false;
  if (FAILED(hr)) return true;
  for (size_t i = 0; i < m_profiles.size(); ++i) {
    if (!m_profiles[i].Use || m_ready[i]) continue;
    if (stop.IsStopping()) return false;
    ShrinkResult shrunk = ShrinkImage(ShrinkSettingsOf(m_profiles[i]), m_picture, &m_fileSize);
    if (!shrunk.image && shrunk.code == kOutOfMemory) return false;
    m_made[i] = shrunk;
    m_ready[i] = true;
    --m_remaining;
  }
  m_picture.reset();
  return true;
}

uint64_t CSharedSource::HeldPixels() const {
  // A shrink that keeps the picture's size is the decoded picture itself: each counts once. No
  // allocation here, so that a helper can always report what it holds.
  auto pixels = [](const CDibPtr& dib) {
    return dib ? static_cast<uint64_t>(dib->Width()) * static_cast<uint64_t>(dib->Height()) : 0;
  };
  uint64_t total = pixels(m_picture);
  for (size_t i = 0; i < m_made.size(); ++i) {
    const CDib* image = m_made[i].image.get();
    bool counted = image == m_picture.get();
    for (size_t j = 0; j < i && !counted; ++j) counted = m_made[j].image.get() == image;
    if (!counted) total += pixels(m_made[i].image);
  }
  return total;
}
