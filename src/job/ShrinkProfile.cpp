// Initial values of a profile that depend on the shell.
#include "job/ShrinkProfile.h"

#include <windows.h>
#include <shlobj.h>

std::wstring DefaultPicturesFolder() {
  wchar_t path[MAX_PATH] = L"";
  if (!SHGetSpecialFolderPathW(nullptr, path, CSIDL_MYPICTURES, FALSE)) return std::wstring();
  return path;
}

ShrinkProfile::ShrinkProfile() : Folder(DefaultPicturesFolder()) {}
