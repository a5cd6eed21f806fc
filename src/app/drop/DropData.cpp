// Reading the paths of a drop: data object, global memory and shell paths around the plain
// decoders of DropDecode.
#include "app/drop/DropData.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "app/drop/GlobalLocker.h"
#include "base/ComPtr.h"
#include "base/DropDecode.h"
#include "base/ErrorCodes.h"
#include "base/Handle.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide names are UTF-16 code units");
static_assert(kDropDecodeInvalid == HRESULT_FROM_WIN32(ERROR_INVALID_DATA), "decoder codes");
static_assert(kDropDecodeNoMemory == kOutOfMemory, "decoder codes");

// The item identifier lists of the decoders live in the shell's allocator.
namespace {

// Room for the longest path the platform knows (the "\\?\" form's limit).
const DWORD kLongPathChars = 32768;

// SHGetPathFromIDListEx takes a buffer of any size; systems before it have only the MAX_PATH
// form, so it is looked up when first needed.
typedef BOOL(WINAPI* PathFromIdListEx)(LPCITEMIDLIST list, PWSTR path, DWORD chars, int flags);

PathFromIdListEx FindPathFromIdListEx() {
  HMODULE shell = GetModuleHandleW(L"shell32.dll");
  if (!shell) return nullptr;
  return reinterpret_cast<PathFromIdListEx>(
      reinterpret_cast<void*>(GetProcAddress(shell, "SHGetPathFromIDListEx")));
}

// Some shells cut a path at the old MAX_PATH limit and still report success. A whole path ends
// with the item's own parsing name, which is short and not cut.
bool EndsWithItemName(LPCITEMIDLIST list, const std::wstring& path) {
  CComPtr<IShellFolder> parent;
  LPCITEMIDLIST last = nullptr;
  if (FAILED(SHBindToParent(list, IID_IShellFolder, reinterpret_cast<void**>(parent.Receive()),
                            &last))) {
    return false;
  }
  STRRET name;
  if (FAILED(parent->GetDisplayNameOf(last, SHGDN_INFOLDER | SHGDN_FORPARSING, &name))) {
    return false;
  }
  CTaskMemString text;
  if (FAILED(StrRetToStrW(&name, last, text.Receive())) || !text.IsValid()) return false;
  const std::wstring suffix(text.Get());
  return !suffix.empty() && path.size() >= suffix.size() &&
         path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Converts names in the system's code page.
bool NarrowToWide(const std::string& narrow, std::wstring* wide) {
  wide->clear();
  if (narrow.empty()) return true;
  const int length = static_cast<int>(narrow.size());
  const int chars = MultiByteToWideChar(CP_ACP, 0, narrow.data(), length, nullptr, 0);
  if (chars <= 0) return false;
  wide->resize(static_cast<size_t>(chars));
  return MultiByteToWideChar(CP_ACP, 0, narrow.data(), length, &(*wide)[0], chars) == chars;
}

}  // namespace

bool GetGlobalMedium(IDataObject* data, CLIPFORMAT format, CStgMedium* medium) {
  FORMATETC request = {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM delivered = {};
  if (FAILED(data->GetData(&request, &delivered))) return false;
  medium->Reset(delivered);
  if (delivered.tymed == TYMED_HGLOBAL) return true;
  medium->Reset();
  return false;
}

bool PathFromItemIdList(const CItemIDListHandle& list, std::wstring* path) {
  static const PathFromIdListEx pathFromIdListEx = FindPathFromIdListEx();
  if (list.IsNull()) return false;
  LPCITEMIDLIST idList = reinterpret_cast<LPCITEMIDLIST>(list.Get());
  std::vector<wchar_t> buffer;
  if (pathFromIdListEx) {
    buffer.assign(kLongPathChars, L'\0');
    if (!pathFromIdListEx(idList, buffer.data(), kLongPathChars, 0)) return false;
  } else {
    buffer.assign(MAX_PATH, L'\0');
    if (!SHGetPathFromIDListW(idList, buffer.data())) return false;
  }
  buffer.back() = L'\0';
  std::wstring whole(buffer.data());
  if (whole.empty()) return false;
  if (whole.size() >= MAX_PATH - 1 && !EndsWithItemName(idList, whole)) return false;
  path->swap(whole);
  return true;
}

HRESULT ShellIdListArrayToPaths(HGLOBAL block, CFileList* files) {
  files->Clear();
  CGlobalLocker locked(block);
  if (!locked.Get()) return E_INVALIDARG;
  ShellIdListArray array;
  const HRESULT decoded = DecodeShellIdListArray(locked.Get(), locked.Size(), &array);
  if (FAILED(decoded)) return decoded;
  std::wstring path;
  for (size_t i = 0; i < array.items.size(); ++i) {
    const CItemIDList absolute = array.AbsoluteItem(i);
    if (absolute.IsNull()) {
      files->Clear();
      return kOutOfMemory;
    }
    if (!PathFromItemIdList(absolute, &path)) {
      files->Clear();
      return E_FAIL;
    }
    files->Add(path);
  }
  return S_OK;
}

HRESULT FileNameListToPaths(HGLOBAL block, CFileList* files) {
  files->Clear();
  CGlobalLocker locked(block);
  if (!locked.Get()) return E_INVALIDARG;
  FileNameList names;
  const HRESULT decoded = DecodeFileNameList(locked.Get(), locked.Size(), &names);
  if (FAILED(decoded)) return decoded;
  if (names.wide) {
    for (const std::u16string& name : names.wideNames) {
      files->Add(std::wstring(name.begin(), name.end()));
    }
    return S_OK;
  }
  std::wstring path;
  for (const std::string& name : names.narrowNames) {
    if (!NarrowToWide(name, &path)) {
      files->Clear();
      return E_FAIL;
    }
    files->Add(path);
  }
  return S_OK;
}

HRESULT ReadDroppedFiles(IDataObject* data, CFileList* files) {
  files->Clear();
  static const CLIPFORMAT shellIdListArray =
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(L"Shell IDList Array"));
  if (shellIdListArray != 0) {
    CStgMedium medium;
    if (GetGlobalMedium(data, shellIdListArray, &medium)) {
      return ShellIdListArrayToPaths(medium.Get().hGlobal, files);
    }
  }
  CStgMedium medium;
  if (GetGlobalMedium(data, CF_HDROP, &medium)) return FileNameListToPaths(medium.Get().hGlobal, files);
  return kDropNoData;
}
