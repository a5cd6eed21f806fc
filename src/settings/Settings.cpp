// The settings tree: defaults, and loading and saving in the registry.
#include "settings/Settings.h"

#include "base/OutputQuality.h"
#include "res/StringIds.h"

namespace {

// The most profiles a stored "Count" can give. The dialog shows three, and profiles beyond them
// are only kept and written back; the bound stops a damaged count from exhausting memory.
const size_t kMaxProfiles = 256;

// Reads one profile from its key; a value that cannot be read leaves its field as it was.
bool LoadProfile(HKEY hive, const std::wstring& path, ShrinkProfile* profile) {
  CKeyHandle key;
  if (!OpenForRead(hive, path, &key)) return false;
  bool ok = ReadFlag(key.Get(), L"Use", &profile->Use);
  ok &= ReadString(key.Get(), L"Folder", &profile->Folder);
  ok &= ReadString(key.Get(), L"Prefix", &profile->Prefix);
  ok &= ReadDword(key.Get(), L"BkColor", &profile->BkColor);
  ok &= ReadFlag(key.Get(), L"Transparent", &profile->Transparent);
  // No range check: an unknown method stays, and the panel asks for a valid one.
  ok &= ReadDword(key.Get(), L"ShrinkType", &profile->ShrinkType);
  ok &= ReadDword(key.Get(), L"ShrinkWidth", &profile->ShrinkWidth);
  ok &= ReadDword(key.Get(), L"ShrinkHeight", &profile->ShrinkHeight);
  ok &= ReadDword(key.Get(), L"CustomWidth", &profile->CustomWidth);
  ok &= ReadDword(key.Get(), L"CustomHeight", &profile->CustomHeight);
  // Stored since the size limit came: settings written before have none and keep no limit. A
  // negative number read is no limit too.
  if (ReadDword(key.Get(), L"MaxKilobytes", &profile->MaxKilobytes) && profile->MaxKilobytes < 0) {
    profile->MaxKilobytes = 0;
  }
  ReadFlag(key.Get(), L"KeepDate", &profile->KeepDate);  // likewise new: missing is off
  key.Close();

  CKeyHandle format;
  if (!OpenForRead(hive, path + L"\\SaveFormat", &format)) return false;
  ok &= ReadDword(format.Get(), L"Type", &profile->SaveFormat.Type);
  ok &= ReadDword(format.Get(), L"JpegQuality", &profile->SaveFormat.JpegQuality);
  profile->SaveFormat.JpegQuality = ClampOutputQuality(profile->SaveFormat.JpegQuality);
  return ok;
}

bool SaveProfile(HKEY hive, const std::wstring& path, const ShrinkProfile& profile) {
  CKeyHandle key;
  if (!OpenForWrite(hive, path, &key)) return false;
  bool ok = WriteFlag(key.Get(), L"Use", profile.Use);
  ok &= WriteString(key.Get(), L"Folder", profile.Folder);
  ok &= WriteString(key.Get(), L"Prefix", profile.Prefix);
  ok &= WriteDword(key.Get(), L"BkColor", profile.BkColor);
  ok &= WriteFlag(key.Get(), L"Transparent", profile.Transparent);
  ok &= WriteDword(key.Get(), L"ShrinkType", profile.ShrinkType);
  ok &= WriteDword(key.Get(), L"ShrinkWidth", profile.ShrinkWidth);
  ok &= WriteDword(key.Get(), L"ShrinkHeight", profile.ShrinkHeight);
  ok &= WriteDword(key.Get(), L"CustomWidth", profile.CustomWidth);
  ok &= WriteDword(key.Get(), L"CustomHeight", profile.CustomHeight);
  ok &= WriteDword(key.Get(), L"MaxKilobytes", profile.MaxKilobytes);
  ok &= WriteFlag(key.Get(), L"KeepDate", profile.KeepDate);
  key.Close();

  CKeyHandle format;
  if (!OpenForWrite(hive, path + L"\\SaveFormat", &format)) return false;
  ok &= WriteDword(format.Get(), L"Type", profile.SaveFormat.Type);
  ok &= WriteDword(format.Get(), L"JpegQuality", profile.SaveFormat.JpegQuality);
  return ok;
}

}  // namespace

CSettings::CSettings() : Profiles(3) {
  Profiles[0].Prefix = L"s_";
  Profiles[0].ShrinkType = static_cast<int32_t>(ShrinkMethod::Preset);
  Profiles[0].ShrinkWidth = Profiles[0].ShrinkHeight = 240;
  Profiles[1].Prefix = L"m_";
  Profiles[1].ShrinkType = static_cast<int32_t>(ShrinkMethod::Preset);
  Profiles[1].ShrinkWidth = Profiles[1].ShrinkHeight = 640;
  Profiles[2].Prefix = L"";  // copies at full size
  FolderHistory.Add(DefaultPicturesFolder());
  for (const wchar_t* prefix : {L"m_", L"m", L"s_", L"s"}) PrefixHistory.Add(prefix);
}

bool CSettings::LoadSettings(HKEY hive) {
  CSettingsKey root;
  if (!root.Open(hive, IDS_MAKER, IDS_PRODUCT)) return false;
  const std::wstring setting = root.Path(L"Setting");
  bool ok = LoadWindow(hive, setting + L"\\Window");
  ok &= LoadProfiles(hive, setting + L"\\Shrinks");
  ok &= FolderHistory.Load(hive, setting + L"\\Folder");
  ok &= PrefixHistory.Load(hive, setting + L"\\Prefix");
  return ok;
}

bool CSettings::SaveSettings(HKEY hive) const {
  CSettingsKey root;
  if (!root.Open(hive, IDS_MAKER, IDS_PRODUCT)) return false;
  const std::wstring setting = root.Path(L"Setting");
  bool ok = SaveWindow(hive, setting + L"\\Window");
  ok &= SaveProfiles(hive, setting + L"\\Shrinks");
  ok &= FolderHistory.Save(hive, setting + L"\\Folder");
  ok &= PrefixHistory.Save(hive, setting + L"\\Prefix");
  return ok;
}

bool CSettings::LoadWindow(HKEY hive, const std::wstring& path) {
  CKeyHandle key;
  if (!OpenForRead(hive, path, &key)) return false;
  ReadFlag(key.Get(), L"Fullscreen", &WindowPlacement.Fullscreen);
  // The rectangle is taken whole or not at all: a mix of stored and default edges is no place.
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  if (ReadDword(key.Get(), L"Left", &left) && ReadDword(key.Get(), L"Top", &top) &&
      ReadDword(key.Get(), L"Right", &right) && ReadDword(key.Get(), L"Bottom", &bottom)) {
    WindowPlacement.Left = left;
    WindowPlacement.Top = top;
    WindowPlacement.Right = right;
    WindowPlacement.Bottom = bottom;
  }
  return true;
}

bool CSettings::LoadProfiles(HKEY hive, const std::wstring& path) {
  CKeyHandle key;
  if (!OpenForRead(hive, path, &key)) return false;
  size_t count = 0;
  if (!ReadCount(key.Get(), kMaxProfiles, &count)) return false;
  key.Close();
  // Profiles stored beyond the dialog's three are kept, so that a save writes them back.
  if (count > Profiles.size()) Profiles.resize(count);
  bool ok = true;
  for (size_t i = 0; i < count; ++i) {
    if (!LoadProfile(hive, ListEntryPath(path, i), &Profiles[i])) ok = false;
  }
  return ok;
}

bool CSettings::SaveWindow(HKEY hive, const std::wstring& path) const {
  CKeyHandle key;
  if (!OpenForWrite(hive, path, &key)) return false;
  bool ok = WriteFlag(key.Get(), L"Fullscreen", WindowPlacement.Fullscreen);
  ok &= WriteDword(key.Get(), L"Left", WindowPlacement.Left);
  ok &= WriteDword(key.Get(), L"Top", WindowPlacement.Top);
  ok &= WriteDword(key.Get(), L"Right", WindowPlacement.Right);
  ok &= WriteDword(key.Get(), L"Bottom", WindowPlacement.Bottom);
  return ok;
}

bool CSettings::SaveProfiles(HKEY hive, const std::wstring& path) const {
  CKeyHandle key;
  if (!OpenForWrite(hive, path, &key)) return false;
  bool ok = WriteDword(key.Get(), L"Count", static_cast<uint32_t>(Profiles.size()));
  key.Close();
  for (size_t i = 0; i < Profiles.size(); ++i) {
    if (!SaveProfile(hive, ListEntryPath(path, i), Profiles[i])) ok = false;
  }
  return ok;
}

CSettings& GetSettings() {
  static CSettings settings;
  return settings;
}
