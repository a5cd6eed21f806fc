// CSettings: everything the program remembers between runs, with its defaults and its place in
// the registry.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "job/ShrinkProfile.h"
#include "settings/History.h"
#include "settings/WindowPlacement.h"

typedef CHistory<CRegString, 16> CStringHistory;

// Lives as one instance for the whole process (GetSettings) and is used by the user-interface
// thread only. The panels edit the profile records and the histories in place, so the profile
// list must not be resized once they hold references to it.
class CSettings {
public:
  CSettings();
  CSettings(const CSettings&) = delete;
  CSettings& operator=(const CSettings&) = delete;

  // Read and write the tree below <hive>\Software\Orvandel\Kestrelle32\Setting, the root names
  // coming from the string table. Every branch is attempted; the result is true only when all
  // of them succeeded. A load keeps whatever it could read and the defaults for the rest; a
  // root key that cannot be opened or created stops either at once.
  bool LoadSettings(HKEY hive = HKEY_CURRENT_USER);
  bool SaveSettings(HKEY hive = HKEY_CURRENT_USER) const;

  CWindowPlacement WindowPlacement;
  std::vector<ShrinkProfile> Profiles;
  CStringHistory FolderHistory;
  CStringHistory PrefixHistory;

private:
  bool LoadWindow(HKEY hive, const std::wstring& path);
  bool LoadProfiles(HKEY hive, const std::wstring& path);
  bool SaveWindow(HKEY hive, const std::wstring& path) const;
  bool SaveProfiles(HKEY hive, const std::wstring& path) const;
};

// The process's settings, built with their defaults on first use.
CSettings& GetSettings();
