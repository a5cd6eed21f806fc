// Data objects as the platform hands them to a drop target: the shell's, carrying a "Shell
// IDList Array" of real items, the clipboard's, carrying a CF_HDROP list or text, and a source
// program's, carrying items without a file of their own.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "base/ComPtr.h"
#include "base/ItemIdList.h"

// A moveable global block holding a copy of the bytes.
HGLOBAL GlobalBytes(const void* bytes, size_t size);
// A CF_HDROP block of wide names.
HGLOBAL FileListBlock(const std::vector<std::wstring>& names);
// The clipboard's data object, once the clipboard holds nothing but `block` as `format`.
CComPtr<IDataObject> ClipboardData(HWND owner, UINT format, HGLOBAL block);

LPCITEMIDLIST IdList(const CItemIDListHandle& list);
// The shell folder of an existing folder.
CComPtr<IShellFolder> BindFolder(const std::wstring& path);
// The item list of `relativePath` inside `folder`, null where the shell cannot parse it.
CItemIDList ParseIn(IShellFolder* folder, std::wstring relativePath);
// The shell's data object for `lists`, relative to `folder` (null: the desktop), as a file
// manager offers it for a drag.
CComPtr<IDataObject> ShellData(IShellFolder* folder, const std::vector<const CItemIDList*>& lists);
// The shell's data object for items of one folder, in the given order.
CComPtr<IDataObject> FolderItemsData(const std::wstring& folder,
                                     const std::vector<std::wstring>& names);

// The references `object` holds now (its count after an AddRef and a Release).
ULONG ReferenceCount(IUnknown* object);

// Whether OLE holds `window` as a drop target: a second registration is refused then. A probe
// registration that succeeds is revoked at once.
bool IsRegisteredDropTarget(HWND window);

// Makes the folders of `path` and an empty file at its end, whatever its length; returns `path`.
std::wstring MakeFile(const std::wstring& path);

// An item of a drop that has no file of its own, as a zip folder, a phone, a browser or a mail
// program offers it: its descriptor's name, whether it is a folder, the size it claims (none:
// FD_FILESIZE unset) and its contents.
struct ContentItem {
  std::wstring name;
  std::string bytes;
  bool folder = false;
  bool claimsSize = true;
  uint64_t claimedSize = static_cast<uint64_t>(-1);  // the bytes' size unless set
  bool readable = true;  // false: asking for its contents fails
  // As a storage: the one this makes, instead of a storage holding `bytes` as its stream.
  std::function<CComPtr<IStorage>()> storage = nullptr;
};

// A real compound file in memory (deleted on release) whose storages nest `depth` deep below its
// root, with a stream "Contents" holding `bytes` at the root and at the bottom.
CComPtr<IStorage> NestedStorage(int depth, const std::string& bytes);
// A real storage holding the streams `streams` (name, bytes), whose enumeration claims the sizes
// in `claims` (by name) instead of the real ones, as a hostile source may; everything else is the
// real storage's.
CComPtr<IStorage> ClaimingStorage(const std::vector<std::pair<std::wstring, std::string>>& streams,
                                  const std::vector<std::pair<std::wstring, uint64_t>>& claims);

// How a data object delivers each item's "FileContents".
enum class ContentMedium { Global, Stream, Storage };

// A data object carrying "FileGroupDescriptorW" and "FileContents" (lindex = the item's index)
// in `medium`, and `fileList` as CF_HDROP when given. `count`, when not -1, is written as the
// descriptor's count whatever the records present. Contents of an index beyond the items fail.
CComPtr<IDataObject> ContentsData(const std::vector<ContentItem>& items, ContentMedium medium,
                                  HGLOBAL fileList = nullptr, long long count = -1);

// The bytes of the stream "Contents" of the compound file at `path` (as a storage item is
// written), or of the file itself.
std::string ReadCopy(const std::wstring& path, bool compoundFile);

// Every copy named `name` in the program's drop folders, whoever made them.
std::vector<std::wstring> DropCopiesNamed(const std::wstring& name);

// The source of a drag that is released as soon as it starts.
class CReleasingSource : public IDropSource {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropSource) ? this : nullptr;
    return *object ? S_OK : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL, DWORD) override { return DRAGDROP_S_DROP; }
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};
