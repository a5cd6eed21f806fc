// Running one task: every enabled profile, in order, from folder to saved output.
#include "job/ShrinkTaskEx.h"

#include <windows.h>

#include "base/ResourceText.h"
#include "image/BackgroundPalette.h"
#include "image/ImageSaver.h"
#include "image/LoadDib.h"
#include "image/Shrink.h"
#include "job/EnsureFolder.h"
#include "job/Thread.h"
#include "res/StringIds.h"

namespace {

// The one place where the shrink step's refusals become messages: a box side that is not
// positive, a method that does not exist, and (for a Scale plan) a failed resampling.
int32_t ShrinkFailureMessage(ShrinkPlan plan) {
  switch (plan) {
    case ShrinkPlan::BoxNotPositive: return IDS_MSG_SIZE_NOT_POSITIVE;
    case ShrinkPlan::UnknownMethod: return IDS_MSG_UNKNOWN_SHRINK;
    default: return IDS_MSG_RESIZE_FAILED;
  }
}

}  // namespace

void CShrinkTaskEx::Run() {
  // No stop check between profiles: a stopped task still passes each remaining folder step.
  for (const ShrinkProfile& profile : m_profiles) ProcessProfile(profile);
}

bool CShrinkTaskEx::IsStopRequested() const {
  return m_worker != nullptr && m_worker->IsStopping();
}

void CShrinkTaskEx::RecordError(int32_t number, long code, const std::wstring& detail) {
  std::wstring message;
  if (code != 0) {
    FormatResourceString(&message, static_cast<unsigned>(number), HResultText(code).c_str());
  } else {
    FormatResourceString(&message, static_cast<unsigned>(number));
  }
  m_errorNumber = number;
  m_errorText = message;
  if (!detail.empty()) m_errorText += L"\n\n" + detail;
}

void CShrinkTaskEx::ProcessProfile(const ShrinkProfile& profile) {
  if (!profile.Use) return;
  if (EnsureFolder(profile.Folder) != 0) {
    RecordError(IDS_MSG_CREATE_FOLDER_FAILED, 0, profile.Folder);
    return;
  }
  if (IsStopRequested()) return;

  // The decoder learns the shrink so that a large JPEG can be decoded at a reduced scale; the
  // size rule still applies to the picture's own size.
  ShrinkSettings shrink = {profile.ShrinkType, profile.ShrinkWidth, profile.ShrinkHeight,
                           profile.CustomWidth, profile.CustomHeight};
  CDibPtr picture;
  FitSize fileSize = {0, 0};
  HRESULT hr = LoadDibForShrink(m_source, shrink, &picture, &fileSize);
  if (FAILED(hr)) {
    RecordError(IDS_MSG_LOAD_FAILED, hr, m_source);
    return;
  }
  if (IsStopRequested()) return;

  ShrinkResult shrunk = ShrinkImage(shrink, picture, &fileSize);
  if (!shrunk.image) {
    RecordError(ShrinkFailureMessage(shrunk.plan), shrunk.code, m_source);
    return;
  }
  picture = shrunk.image;
  if (IsStopRequested()) return;

  CImageSaverPtr saver = CreateSaver(profile.SaveFormat);
  if (!saver) {
    RecordError(IDS_MSG_CREATE_SAVER_FAILED, 0, std::wstring());
    return;
  }
  if (IsStopRequested()) return;

  if (!profile.Transparent || !saver->SupportsTransparency) {
    CDibPtr flat;
    hr = ApplyBackgroundColor(*picture, profile.BkColor, &flat);
    if (FAILED(hr)) {
      RecordError(IDS_MSG_BACKGROUND_FAILED, hr, std::wstring());
      return;
    }
    picture = flat;
  }
  if (IsStopRequested()) return;

  // From here on the output is written: no stop check until it is saved.
  if (saver->TryPalette) {
    CDibPtr indexed;
    hr = ReduceToPalette(*picture, &indexed);
    if (FAILED(hr)) {
      RecordError(IDS_MSG_BACKGROUND_FAILED, hr, std::wstring());
      return;
    }
    if (indexed) picture = indexed;  // S_FALSE: no palette possible, the picture stays as it is
  }
  std::wstring output = BuildOutputPath(profile);
  hr = saver->Save(*picture, output);
  if (FAILED(hr)) RecordError(IDS_MSG_SAVE_FAILED, hr, output);
}
