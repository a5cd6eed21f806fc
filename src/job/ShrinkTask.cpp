// Running one task: every enabled profile, in order, from folder to saved output.
#include "job/ShrinkTaskEx.h"

#include <windows.h>

#include "base/ResourceText.h"
#include "image/BackgroundPalette.h"
#include "image/decode/LoadDib.h"
#include "image/FileIo.h"
#include "image/encode/ImageSaver.h"
#include "image/encode/SizeLimit.h"
#include "image/resample/Shrink.h"
#include "job/EnsureFolder.h"
#include "job/SharedSource.h"
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

std::wstring ReasonText(int32_t number, long code) {
  // E_NOTIMPL is how a load says that no decoder could read the bytes (LoadDib): a truncated or
  // damaged file, or no picture at all. The system's text for it, "Not implemented.", would blame
  // the program.
  if (number == IDS_MSG_LOAD_FAILED && code == E_NOTIMPL) return ResourceString(IDS_MSG_PICTURE_UNREADABLE);
  return HResultText(code);
}

void CShrinkTaskEx::Run() {
  CSharedSource source(m_source, m_profiles);
  Run(&source, nullptr);
}

void CShrinkTaskEx::Run(CSharedSource* source, CLoadAdmission* admission) {
  // No stop check between profiles: a stopped task still passes each remaining folder step.
  for (size_t i = 0; i < m_profiles.size(); ++i) ProcessProfile(i, source, admission);
}

bool CShrinkTaskEx::IsStopRequested() const {
  return m_worker != nullptr && m_worker->IsStopping();
}

void CShrinkTaskEx::RecordError(int32_t number, long code, const std::wstring& detail, int32_t value) {
  std::wstring message;
  if (code != 0) {
    FormatResourceString(&message, static_cast<unsigned>(number), ReasonText(number, code).c_str());
  } else {
    FormatResourceString(&message, static_cast<unsigned>(number), value);
  }
  m_errorNumber = number;
  m_errorText = message;
  if (!detail.empty()) m_errorText += L"\n\n" + detail;
}

void CShrinkTaskEx::ProcessProfile(size_t index, CSharedSource* source, CLoadAdmission* admission) {
  const ShrinkProfile& profile = m_profiles[index];
  if (!profile.Use) return;
  // A source of a dropped folder's subfolder writes into the same subfolder of the profile's
  // folder, made with it.
  const std::wstring folder = OutputFolder(profile);
  if (const unsigned long error = EnsureFolder(folder)) {
    RecordError(IDS_MSG_CREATE_FOLDER_FAILED, 0, folder + L"\n" + HResultText(HRESULT_FROM_WIN32(error)));
    return;
  }
  if (IsStopRequested()) return;

  // The first profile to get here loads the source, at a reduced scale that suits every enabled
  // profile; the others find the same result, a failed load included. The size rule still
  // applies to the picture's own size.
  HRESULT hr = source->Load(admission);
  if (FAILED(hr)) {
    RecordError(IDS_MSG_LOAD_FAILED, hr, m_source);
    return;
  }
  if (IsStopRequested()) return;

  ShrinkResult shrunk = source->ShrinkFor(index);
  if (!shrunk.image) {
    RecordError(ShrinkFailureMessage(shrunk.plan), shrunk.code, m_source);
    return;
  }
  CDibPtr picture = shrunk.image;
  if (IsStopRequested()) return;

  CImageSaverPtr saver = CreateSaver(profile.SaveFormat);
  if (!saver) {
    RecordError(IDS_MSG_CREATE_SAVER_FAILED, 0, std::wstring());
    return;
  }
  if (IsStopRequested()) return;

  if (!profile.Transparent || !saver->SupportsTransparency()) {
    CDibPtr flat;
    hr = ApplyBackgroundColor(picture, profile.BkColor, &flat);
    if (FAILED(hr)) {
      RecordError(IDS_MSG_BACKGROUND_FAILED, hr, std::wstring());
      return;
    }
    picture = flat;
  }
  if (IsStopRequested()) return;

  std::wstring output = BuildOutputPath(profile);
  // From here on the output is written: no stop check until it is saved.
  if (profile.MaxKilobytes > 0) {
    // The palette step is the search's, at every size it tries.
    const uint64_t limit = static_cast<uint64_t>(profile.MaxKilobytes) * kBytesPerKilobyte;
    LimitedOutput limited;
    hr = EncodeWithinLimit(*saver, picture, profile.SaveFormat.JpegQuality, limit, &limited);
    if (hr == S_FALSE) {
      RecordError(IDS_MSG_OVER_SIZE_LIMIT, 0, m_source, profile.MaxKilobytes);
      return;
    }
    if (SUCCEEDED(hr)) hr = WriteNewFile(output, limited.bytes.data(), limited.bytes.size());
  } else {
    hr = SavePicture(*saver, picture, output);
    if (hr == S_FALSE) return;  // recorded
  }
  if (hr == HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) || hr == HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)) {
    // The job start deleted what the user agreed to replace: this file is not theirs to replace.
    RecordError(IDS_MSG_OUTPUT_APPEARED, 0, output);
  } else if (FAILED(hr)) {
    RecordError(IDS_MSG_SAVE_FAILED, hr, output);
  }
}

HRESULT CShrinkTaskEx::SavePicture(const CImageSaver& saver, CDibPtr picture, const std::wstring& output) {
  HRESULT hr = S_OK;
  if (saver.TryPalette()) {
    CDibPtr indexed;
    hr = ReduceToPalette(*picture, &indexed);
    if (FAILED(hr)) {
      RecordError(IDS_MSG_BACKGROUND_FAILED, hr, std::wstring());
      return S_FALSE;
    }
    if (indexed) picture = indexed;  // S_FALSE: no palette possible, the picture stays as it is
  }
  return saver.Save(*picture, output);
}
