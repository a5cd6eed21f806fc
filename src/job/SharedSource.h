// CSharedSource: the source of one task, loaded once and shrunk from that one picture for each
// of the task's enabled profiles.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "base/ExifDate.h"
#include "image/Dib.h"
#include "image/decode/LoadDib.h"
#include "image/resample/Shrink.h"
#include "job/ShrinkProfile.h"

class CThread;

// The shrink fields of a profile.
ShrinkSettings ShrinkSettingsOf(const ShrinkProfile& profile);

class CSharedSource {
public:
  // `profiles` are the task's, in its order; they must outlive this object.
  CSharedSource(const std::wstring& path, const std::vector<ShrinkProfile>& profiles);
  CSharedSource(const CSharedSource&) = delete;
  CSharedSource& operator=(const CSharedSource&) = delete;

  // The result of the one load, made by the first call: decoded at the reduced scale that suits
  // every enabled profile, and where the picture allows, shrunk for each of them as it decodes
  // (see LoadDibOrShrinks).
  HRESULT Load(CLoadAdmission* admission);
  // The shrink of the loaded picture for profile `index` (after a successful Load), asked once
  // per profile. The decoded picture is let go once the last enabled profile has had its shrink.
  ShrinkResult ShrinkFor(size_t index);

  // Ahead of the writes: the load and every enabled profile's shrink, with a look at
  // `stop.IsStopping()` between steps. True when everything was made (a failed load included);
  // false when a stop came first, the load was refused admission or memory ran out: what this
  // object then holds is no result, and the worker loads the source again.
  bool MakeAll(const CThread& stop, CLoadAdmission* admission);
  // Pixels of the distinct pictures this object still holds.
  uint64_t HeldPixels() const;
  // The date taken that the source's EXIF block records (after a successful Load), read by the
  // load from the bytes it held when an enabled profile keeps the date; empty otherwise.
  const ExifDate& DateTaken() const { return m_dateTaken; }

private:
  std::wstring m_path;
  const std::vector<ShrinkProfile>& m_profiles;
  size_t m_remaining = 0;  // enabled profiles whose shrink has not been made
  HRESULT m_load = E_PENDING;
  FitSize m_fileSize = {0, 0};
  CDibPtr m_picture;
  std::vector<ShrinkResult> m_made;  // by profile index, made ahead by MakeAll
  std::vector<bool> m_ready;         // by profile index: m_made holds its shrink
  bool m_keepsDate = false;          // an enabled profile keeps the date taken
  ExifDate m_dateTaken;
};

typedef boost::shared_ptr<CSharedSource> CSharedSourcePtr;
