// Running one task: every enabled profile, in order, from folder to saved output.
#include "job/ShrinkTaskEx.h"

#include <windows.h>

#include "base/ExifDate.h"
#include "base/Handle.h"
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

// What a container adds around an EXIF block at most: a JPEG segment's marker, length and
// "Exif\0\0" (10), a PNG chunk's length, type and CRC (12), a WebP chunk's header and padding
// with the extended header a simple file gains (8 + 1 + 18).
const uint64_t kExifBlockFrame = 32;

// The output's modification time becomes the source's (its creation time is the output's own).
HRESULT CopyFileTime(const std::wstring& source, const std::wstring& output) {
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (!GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &attributes)) {
    return HRESULT_FROM_WIN32(GetLastError());
  }
  CHandle file(CreateFileW(output.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return HRESULT_FROM_WIN32(GetLastError());
  if (!SetFileTime(file.Get(), nullptr, nullptr, &attributes.ftLastWriteTime)) return HRESULT_FROM_WIN32(GetLastError());
  return S_OK;
}

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
  // The date block goes into the encoded bytes: a size limit leaves room for it.
  const std::vector<uint8_t> dateBlock = profile.KeepDate ? BuildExifBlock(source->DateTaken()) : std::vector<uint8_t>();
  const uint64_t dateRoom = dateBlock.empty() ? 0 : dateBlock.size() + kExifBlockFrame;
  // From here on the output is written: no stop check until it is saved.
  std::vector<uint8_t> encoded;
  LONG width = picture->Width(), height = picture->Height();
  if (profile.MaxKilobytes > 0) {
    // The palette step is the search's, at every size it tries.
    const uint64_t limit = static_cast<uint64_t>(profile.MaxKilobytes) * kBytesPerKilobyte;
    LimitedOutput limited;
    hr = limit > dateRoom ? EncodeWithinLimit(*saver, picture, profile.SaveFormat.JpegQuality, limit - dateRoom, &limited)
                          : S_FALSE;
    if (hr == S_FALSE) {
      RecordError(IDS_MSG_OVER_SIZE_LIMIT, 0, m_source, profile.MaxKilobytes);
      return;
    }
    encoded.swap(limited.bytes);
    width = limited.width;
    height = limited.height;
  } else {
    hr = EncodePicture(*saver, picture, &encoded);
    if (hr == S_FALSE) return;  // recorded
  }
  if (SUCCEEDED(hr) && !dateBlock.empty() &&
      !InsertExifBlock(&encoded, dateBlock, static_cast<uint32_t>(width), static_cast<uint32_t>(height))) {
    hr = E_FAIL;
  }
  if (SUCCEEDED(hr)) hr = WriteNewFile(output, encoded.data(), encoded.size());
  if (SUCCEEDED(hr) && profile.KeepDate) hr = CopyFileTime(m_source, output);
  if (hr == HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) || hr == HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)) {
    // The job start deleted what the user agreed to replace: this file is not theirs to replace.
    RecordError(IDS_MSG_OUTPUT_APPEARED, 0, output);
  } else if (FAILED(hr)) {
    RecordError(IDS_MSG_SAVE_FAILED, hr, output);
  }
}

HRESULT CShrinkTaskEx::EncodePicture(const CImageSaver& saver, CDibPtr picture, std::vector<uint8_t>* encoded) {
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
  return saver.Encode(*picture, saver.Quality(), encoded);
}
