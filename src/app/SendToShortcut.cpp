// The Send To shortcut: where it goes, and writing and removing it through the shell's link object.
#include "app/SendToShortcut.h"

#include <objbase.h>
#include <shlobj.h>

#include "base/ComPtr.h"
#include "base/Handle.h"
#include "base/PathNames.h"

std::wstring SendToShortcutPath() {
  CTaskMemString folder;
  // Created when missing, as a fresh profile may not have it yet (the shell may hand out a
  // string even when it fails: the owner gives it back either way).
  if (FAILED(SHGetKnownFolderPath(FOLDERID_SendTo, KF_FLAG_CREATE, nullptr, folder.Receive())) || !folder.IsValid()) {
    return std::wstring();
  }
  return AppendPath(folder.Get(), L"Kestrelle.lnk");
}

bool SendToShortcutExists() {
  const std::wstring path = SendToShortcutPath();
  return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

HRESULT CreateSendToShortcut(const std::wstring& target) {
  const std::wstring path = SendToShortcutPath();
  if (path.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  CComPtr<IShellLinkW> link;
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(link.Receive()));
  if (FAILED(result)) return result;
  const std::wstring folder = target.substr(0, target.find_last_of(L'\\') + 1);
  if (FAILED(result = link->SetPath(target.c_str()))) return result;
  if (FAILED(result = link->SetWorkingDirectory(folder.c_str()))) return result;
  if (FAILED(result = link->SetIconLocation(target.c_str(), 0))) return result;
  CComPtr<IPersistFile> file;
  result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.Receive()));
  if (FAILED(result)) return result;
  return file->Save(path.c_str(), TRUE);
}

HRESULT RemoveSendToShortcut() {
  const std::wstring path = SendToShortcutPath();
  if (path.empty()) return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  if (DeleteFileW(path.c_str())) return S_OK;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(error);
}
