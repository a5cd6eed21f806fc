// Data objects as the platform hands them to a drop target: the shell's, carrying a "Shell
// IDList Array" of real items, and the clipboard's, carrying a CF_HDROP list or text.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <string>
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
