// Items a drop brings without a file of their own (inside a zip folder, on a phone, out of a
// browser or a mail program): a "FileGroupDescriptorW" names them and "FileContents" gives each
// one's bytes. Each item is copied into a private folder of the program under the user's
// temporary folder, %TEMP%\Kestrelle\drop-XXXXXXXX\N\name, so that the job reads it like any
// dropped file and names its outputs by the item's name. The folder lives as long as its owner:
// the job that uses it, or the program, if it is killed, until its next start.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <string>

#include "base/Scoped.h"
#include "job/FileList.h"

// How much a drop may copy: a hostile or broken source could otherwise fill the memory or the
// disk. Copies are streamed in chunks, so only the disk holds them whole.
struct DropContentLimits {
  uint64_t perItem;
  uint64_t perDrop;
};
// 1 GiB per item (more than the largest picture the program decodes), 4 GiB per drop.
extern const DropContentLimits kDropContentLimits;

// One drop's private folder: its path, and the open lock file that tells the sweep at the next
// start that the folder's owner lives. Releasing closes the lock and removes the whole folder.
struct DropFolderTraits {
  struct Type {
    std::wstring path;
    HANDLE lock;
  };
  static Type Empty() { return Type{std::wstring(), INVALID_HANDLE_VALUE}; }
  static bool IsEmpty(const Type& value) { return value.path.empty(); }
  static void Release(const Type& value);
};
typedef CScoped<DropFolderTraits> CDropFolder;

// %TEMP%\Kestrelle: where every drop folder of the program is made.
std::wstring DropFoldersRoot();

// Makes a new drop-XXXXXXXX folder under DropFoldersRoot() with its lock held by this process.
HRESULT CreateDropFolder(CDropFolder* folder);

// Removes the drop folders whose owner has gone without removing them (the program was killed, or
// the machine stopped): only those whose lock no process holds, so a running instance's drop is
// never touched. Returns how many were removed.
int RemoveAbandonedDropFolders();

// Whether the data describes items by "FileGroupDescriptorW".
bool OffersFileContents(IDataObject* data);

// Copies every item of the descriptor that is not a folder into a new drop folder, in the
// descriptor's order, and fills `files` with the copies' paths. The contents are asked for as a
// global block, a stream or a storage, whatever the source gives. kDropNoData without a
// descriptor; the decoder's failure for a damaged one. An item that cannot be read, exceeds its
// claimed size (FD_FILESIZE) or a limit fails the whole drop with its (plain) name in
// `failedItem`; nothing is left on disk then, and `files` is empty. Every copy stops at its
// bounds as it is written: a storage's streams are summed (without wrap-around) and checked
// before it is copied, each stream then stops at its own claim and the budget, and its storages
// nest a few levels at most, walked without recursion.
HRESULT ReadDroppedContents(IDataObject* data, const DropContentLimits& limits, CFileList* files,
                            CDropFolder* folder, std::wstring* failedItem);
