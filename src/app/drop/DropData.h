// The paths a drop brings, read from its data object: from the shell's "Shell IDList Array" when
// the data offers it, otherwise from a plain CF_HDROP file list (what drags from other programs,
// and from Linux file managers under Wine, carry).
#pragma once

#include <windows.h>
#include <objidl.h>
#include <ole2.h>

#include <string>

#include "base/ItemIdList.h"
#include "base/Scoped.h"
#include "job/FileList.h"

// What ReadDroppedFiles returns for data that offers neither format in global memory.
const HRESULT kDropNoData = DV_E_FORMATETC;

// A storage medium from a data object, released by its owner.
struct StgMediumTraits {
  typedef STGMEDIUM Type;
  static STGMEDIUM Empty() { return STGMEDIUM{}; }
  static bool IsEmpty(const STGMEDIUM& medium) { return medium.tymed == TYMED_NULL; }
  static void Release(STGMEDIUM& medium) { ReleaseStgMedium(&medium); }
};
typedef CScoped<StgMediumTraits> CStgMedium;

// Asks `data` for `format` in global memory. False when it does not deliver it so; a medium of
// another kind is released at once.
bool GetGlobalMedium(IDataObject* data, CLIPFORMAT format, CStgMedium* medium);

// Fills `files` with the paths of the array's items, in its order. Fails, with `files` empty,
// when the block cannot be locked or decoded, or an item has no file-system path.
HRESULT ShellIdListArrayToPaths(HGLOBAL block, CFileList* files);

// Fills `files` with the names of a CF_HDROP block, in its order. Fails, with `files` empty,
// when the block cannot be locked or decoded.
HRESULT FileNameListToPaths(HGLOBAL block, CFileList* files);

// The paths of a drop, through whichever of the two formats the data offers first. S_OK with
// `files` filled (possibly empty), kDropNoData, or the failure of the conversion.
HRESULT ReadDroppedFiles(IDataObject* data, CFileList* files);

// The file-system path of an absolute list, as long as the platform's paths go. False for an
// item that is no file-system object, and for a path the platform could not give whole.
bool PathFromItemIdList(const CItemIDListHandle& list, std::wstring* path);
