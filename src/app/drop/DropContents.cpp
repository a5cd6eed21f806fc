// Copies of dropped items that have no file of their own, in the program's private drop folders.
#include "app/drop/DropContents.h"

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <string>
#include <vector>

#include "app/drop/DropData.h"
#include "app/drop/GlobalLocker.h"
#include "base/ComPtr.h"
#include "base/DropDecode.h"
#include "base/ErrorCodes.h"
#include "base/FilePaths.h"
#include "base/Handle.h"
#include "base/PathNames.h"

const DropContentLimits kDropContentLimits = {1ull << 30, 4ull << 30};

namespace {

// The file each drop folder holds open while its owner lives; opened without FILE_SHARE_DELETE,
// so that nobody can take it away, and without delete-on-close, so that a killed owner leaves it
// for the sweep to find.
const wchar_t kLockName[] = L"kestrelle.lock";
const wchar_t kFolderPrefix[] = L"drop-";

// Contents are copied in chunks of this size; no item is ever held whole in memory.
const ULONG kCopyChunk = 1u << 16;

// Deletes everything inside `folder` (an extended path ending in "\") but the file named `keep`,
// then the folder itself unless something is left. Best effort: what is in use stays.
void RemoveTree(const std::wstring& folder, const wchar_t* keep) {
  WIN32_FIND_DATAW found;
  CFindHandle search(FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0));
  if (search.IsValid()) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L".." || (keep && name == keep)) continue;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        // A link to a folder elsewhere (no copy the program made): only the link goes, never
        // what it points at.
        RemoveDirectoryW((folder + name).c_str());
      } else if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(folder + name + L"\\", nullptr);
      } else {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
          SetFileAttributesW((folder + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        }
        DeleteFileW((folder + name).c_str());
      }
    } while (FindNextFileW(search.Get(), &found));
  }
  if (!keep) RemoveDirectoryW(folder.c_str());
}

std::wstring FolderWithSeparator(const std::wstring& path) {
  return ExtendedPath(AppendPath(path, std::wstring()));
}

// A new folder name for this process: the counter is mixed with the process id and the clock so
// that two instances start far apart.
std::wstring NextFolderName() {
  static std::atomic<unsigned> counter{0};
  const unsigned number =
      (GetCurrentProcessId() * 0x9E3779B1u) ^ GetTickCount() ^ (counter.fetch_add(1) * 0x85EBCA6Bu);
  return NumberedName(kFolderPrefix, number, std::wstring());
}

bool IsDropFolderName(const std::wstring& name) {
  return IsNumberedName(name, kFolderPrefix, std::wstring());
}

// Writes one item's copy, counting its bytes against the item's claimed size and its budget.
class CCopyWriter {
public:
  CCopyWriter(HANDLE file, const FileDescriptorItem& item, uint64_t budget)
      : m_file(file), m_item(item), m_budget(budget) {}

  HRESULT Write(const void* bytes, size_t size) {
    if (m_item.hasSize && size > m_item.size - m_written) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    if (size > m_budget - m_written) return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    const unsigned char* at = static_cast<const unsigned char*>(bytes);
    while (size > 0) {
      const DWORD want = static_cast<DWORD>(std::min<size_t>(size, kCopyChunk));
      DWORD written = 0;
      if (!WriteFile(m_file, at, want, &written, nullptr)) return LastErrorResult();
      if (written != want) return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
      at += want;
      size -= want;
      m_written += want;
    }
    return S_OK;
  }
  uint64_t Written() const { return m_written; }

private:
  HANDLE m_file;
  const FileDescriptorItem& m_item;
  uint64_t m_budget;
  uint64_t m_written = 0;
};

// A global block may be larger than what its source put in (allocators round up), so only the
// claimed size is taken from one that gives it.
HRESULT CopyGlobal(HGLOBAL block, CCopyWriter* writer, const FileDescriptorItem& item) {
  CGlobalLocker locked(block);
  if (!locked.Get()) return E_INVALIDARG;
  size_t size = locked.Size();
  if (item.hasSize && item.size < size) size = static_cast<size_t>(item.size);
  const unsigned char* bytes = static_cast<const unsigned char*>(locked.Get());
  for (size_t done = 0; done < size; done += kCopyChunk) {
    const HRESULT written = writer->Write(bytes + done, std::min<size_t>(kCopyChunk, size - done));
    if (FAILED(written)) return written;
  }
  return S_OK;
}

HRESULT CopyStream(IStream* stream, CCopyWriter* writer) {
  // Some sources hand over a stream positioned at its end; one that cannot seek starts anyway.
  LARGE_INTEGER start = {};
  stream->Seek(start, STREAM_SEEK_SET, nullptr);
  std::vector<unsigned char> chunk(kCopyChunk);
  for (;;) {
    ULONG got = 0;
    const HRESULT read = stream->Read(chunk.data(), kCopyChunk, &got);
    if (FAILED(read)) return read;
    if (got == 0) return S_OK;
    const HRESULT written = writer->Write(chunk.data(), std::min<ULONG>(got, kCopyChunk));
    if (FAILED(written)) return written;
  }
}

// A storage item (a mail program's message, say) is a tree of storages and streams. How deep it
// may nest and how many elements it may hold in all: a message holds a few levels and some dozens
// of elements, a hostile source an endless or bottomless tree.
const int kMaxStorageDepth = 8;
const size_t kMaxStorageElements = 4096;


// Copies `from` into `to`, stopping at `claim` bytes: a stream that gives more than its element
// claimed fails the item before the excess is written.
HRESULT CopyClaimedStream(IStream* from, IStream* to, uint64_t claim, uint64_t* copied) {
  std::vector<unsigned char> chunk(kCopyChunk);
  for (;;) {
    ULONG got = 0;
    const HRESULT read = from->Read(chunk.data(), kCopyChunk, &got);
    if (FAILED(read)) return read;
    got = std::min<ULONG>(got, kCopyChunk);
    if (got == 0) return S_OK;
    if (got > claim - *copied) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    ULONG written = 0;
    const HRESULT hr = to->Write(chunk.data(), got, &written);
    if (FAILED(hr)) return hr;
    if (written != got) return STG_E_MEDIUMFULL;
    *copied += got;
  }
}

// Walks the tree of `source` level by level (a list of open storages, never the thread's stack;
// each stays open until the walk ends, as releasing a storage invalidates those opened in it),
// bounded by kMaxStorageDepth and kMaxStorageElements. Every stream's claimed size (its
// element's) is added to `total` without wrap-around and must keep it within `budget`. With a
// `copy`, the tree is written into it as it is walked: each stream through CopyClaimedStream,
// `total` then counting the bytes written, so that a source whose claims change between two walks
// still stops at the budget.
HRESULT WalkStorage(IStorage* source, IStorage* copy, uint64_t budget, uint64_t* total) {
  struct Level {
    CComPtr<IStorage> source;
    CComPtr<IStorage> copy;
    int depth;
  };
  std::vector<Level> levels;
  levels.push_back(Level{CComPtr<IStorage>(source), CComPtr<IStorage>(copy), 0});
  size_t elements = 0;
  for (size_t next = 0; next < levels.size(); ++next) {
    const Level level = levels[next];  // a copy: the list grows below
    CComPtr<IEnumSTATSTG> found;
    HRESULT hr = level.source->EnumElements(0, nullptr, 0, found.Receive());
    if (FAILED(hr)) return hr;
    if (!found) return E_POINTER;
    for (;;) {
      STATSTG element = {};
      ULONG got = 0;
      hr = found->Next(1, &element, &got);
      if (FAILED(hr)) return hr;
      const CTaskMemString name(element.pwcsName);  // handed out by the enumeration
      if (hr != S_OK || got != 1) break;
      if (++elements > kMaxStorageElements) return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
      if (!name.IsValid()) return E_POINTER;
      if (element.type == STGTY_STREAM) {
        const uint64_t claim = element.cbSize.QuadPart;
        if (claim > budget - *total) return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
        if (!level.copy) {
          *total += claim;
          continue;
        }
        CComPtr<IStream> from, to;
        hr = level.source->OpenStream(name.Get(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                      from.Receive());
        if (SUCCEEDED(hr)) {
          hr = level.copy->CreateStream(name.Get(), STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE,
                                        0, 0, to.Receive());
        }
        if (SUCCEEDED(hr) && (!from || !to)) hr = E_POINTER;
        uint64_t copied = 0;
        if (SUCCEEDED(hr)) hr = CopyClaimedStream(from.Get(), to.Get(), claim, &copied);
        if (FAILED(hr)) return hr;
        *total += copied;
      } else if (element.type == STGTY_STORAGE) {
        if (level.depth + 1 > kMaxStorageDepth) return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
        Level inner{CComPtr<IStorage>(), CComPtr<IStorage>(), level.depth + 1};
        hr = level.source->OpenStorage(name.Get(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE,
                                       nullptr, 0, inner.source.Receive());
        if (SUCCEEDED(hr) && level.copy) {
          hr = level.copy->CreateStorage(name.Get(),
                                         STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                                         inner.copy.Receive());
          if (SUCCEEDED(hr) && inner.copy) inner.copy->SetClass(element.clsid);
        }
        if (SUCCEEDED(hr) && (!inner.source || (level.copy && !inner.copy))) hr = E_POINTER;
        if (FAILED(hr)) return hr;
        levels.push_back(inner);
      }
      // Property sets and lock bytes hold no picture data: not copied.
    }
  }
  return S_OK;
}

// A storage becomes a compound file of its own. Its streams' claimed sizes are summed and checked
// against the budget before anything is written; then each stream is copied by the program, never
// by the source's own CopyTo, and stops at its claim and the budget. `size` receives the bytes of
// the streams: what the source gave, however the compound file lays them out.
HRESULT CopyStorage(IStorage* source, const std::wstring& path, uint64_t budget, uint64_t* size) {
  uint64_t claimed = 0;
  HRESULT hr = WalkStorage(source, nullptr, budget, &claimed);
  if (FAILED(hr)) return hr;
  CComPtr<IStorage> copy;
  hr = StgCreateDocfile(path.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0,
                        copy.Receive());
  if (FAILED(hr)) return hr;
  STATSTG root = {};
  if (SUCCEEDED(source->Stat(&root, STATFLAG_NONAME))) copy->SetClass(root.clsid);
  *size = 0;
  hr = WalkStorage(source, copy.Get(), budget, size);
  if (SUCCEEDED(hr)) hr = copy->Commit(STGC_DEFAULT);
  return hr;
}

// Copies item `index` to `path`, within `budget` bytes; `copied` receives its size.
HRESULT CopyItem(IDataObject* data, CLIPFORMAT contentsFormat, LONG index,
                 const FileDescriptorItem& item, const std::wstring& path, uint64_t budget,
                 uint64_t* copied) {
  if (item.hasSize && item.size > budget) return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
  FORMATETC request = {contentsFormat, nullptr, DVASPECT_CONTENT, index,
                       TYMED_HGLOBAL | TYMED_ISTREAM | TYMED_ISTORAGE};
  STGMEDIUM delivered = {};
  HRESULT hr = data->GetData(&request, &delivered);
  if (FAILED(hr)) return hr;
  CStgMedium medium(delivered);
  if (delivered.tymed == TYMED_ISTORAGE) {
    // A compound file's size is not the source's, but the streams inside it never exceed it.
    const uint64_t limit = item.hasSize ? std::min(budget, item.size) : budget;
    return delivered.pstg ? CopyStorage(delivered.pstg, path, limit, copied) : E_POINTER;
  }
  CHandle file(CreateFileW(ExtendedPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.IsValid()) return LastErrorResult();
  CCopyWriter writer(file.Get(), item, budget);
  if (delivered.tymed == TYMED_HGLOBAL) {
    hr = CopyGlobal(delivered.hGlobal, &writer, item);
  } else if (delivered.tymed == TYMED_ISTREAM) {
    hr = delivered.pstm ? CopyStream(delivered.pstm, &writer) : E_POINTER;
  } else {
    hr = DV_E_TYMED;
  }
  *copied = writer.Written();
  return hr;
}

}  // namespace

void DropFolderTraits::Release(const Type& value) {
  if (value.lock != INVALID_HANDLE_VALUE) CloseHandle(value.lock);
  RemoveTree(FolderWithSeparator(value.path), nullptr);
}

std::wstring DropFoldersRoot() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return std::wstring();
  return AppendPath(buffer, L"Kestrelle");
}

HRESULT CreateDropFolder(CDropFolder* folder) {
  folder->Reset();
  const std::wstring root = DropFoldersRoot();
  if (root.empty()) return LastErrorResult();
  if (!CreateDirectoryW(root.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return LastErrorResult();
  }
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::wstring path = AppendPath(root, NextFolderName());
    if (!CreateDirectoryW(path.c_str(), nullptr)) {
      if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
      return LastErrorResult();
    }
    // A sweep may take the still empty folder away before the lock exists: then try another.
    HANDLE lock = CreateFileW(AppendPath(path, kLockName).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (lock == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      RemoveDirectoryW(path.c_str());
      if (error == ERROR_PATH_NOT_FOUND || error == ERROR_FILE_NOT_FOUND) continue;
      return HRESULT_FROM_WIN32(error);
    }
    folder->Reset(DropFolderTraits::Type{path, lock});
    return S_OK;
  }
  return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
}

int RemoveAbandonedDropFolders() {
  const std::wstring root = DropFoldersRoot();
  if (root.empty()) return 0;
  const std::wstring base = FolderWithSeparator(root);
  WIN32_FIND_DATAW found;
  CFindHandle search(FindFirstFileExW((base + kFolderPrefix + L"*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0));
  if (!search.IsValid()) return 0;
  int removed = 0;
  do {
    // Only folders the program made: never a link that only bears such a name.
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ||
        !IsDropFolderName(found.cFileName)) {
      continue;
    }
    const std::wstring folder = base + found.cFileName + L"\\";
    // Opened for nobody else: a living owner holds its lock open, so the open fails and the
    // folder is left to it. Held until the rest is gone, then deleted with it.
    CHandle lock(CreateFileW((folder + kLockName).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!lock.IsValid()) {
      // A folder without a lock is one being made, or one whose owner died before locking it:
      // taken only when empty, which the maker notices.
      if (GetLastError() == ERROR_FILE_NOT_FOUND && RemoveDirectoryW(folder.c_str())) ++removed;
      continue;
    }
    RemoveTree(folder, kLockName);
    lock.Reset();
    if (RemoveDirectoryW(folder.c_str())) ++removed;
  } while (FindNextFileW(search.Get(), &found));
  return removed;
}

bool OffersFileContents(IDataObject* data) {
  static const CLIPFORMAT descriptorFormat =
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_FILEDESCRIPTORW));
  FORMATETC request = {descriptorFormat, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  return descriptorFormat != 0 && data->QueryGetData(&request) == S_OK;
}

HRESULT ReadDroppedContents(IDataObject* data, const DropContentLimits& limits, CFileList* files,
                            CDropFolder* folder, std::wstring* failedItem) {
  files->Clear();
  folder->Reset();
  failedItem->clear();
  static const CLIPFORMAT descriptorFormat =
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_FILEDESCRIPTORW));
  static const CLIPFORMAT contentsFormat =
      static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_FILECONTENTS));
  CStgMedium medium;
  if (!descriptorFormat || !GetGlobalMedium(data, descriptorFormat, &medium)) return kDropNoData;
  std::vector<FileDescriptorItem> items;
  {
    CGlobalLocker locked(medium.Get().hGlobal);
    if (!locked.Get()) return E_INVALIDARG;
    const HRESULT decoded = DecodeFileGroupDescriptor(locked.Get(), locked.Size(), &items);
    if (FAILED(decoded)) return decoded;
  }
  medium.Reset();
  const bool anyFile = std::any_of(items.begin(), items.end(),
                                   [](const FileDescriptorItem& item) { return !item.isFolder; });
  if (!anyFile) return S_OK;

  CDropFolder made;
  HRESULT hr = CreateDropFolder(&made);
  if (FAILED(hr)) return hr;
  CFileList copies;
  uint64_t total = 0;
  int number = 0;
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].isFolder) continue;
    const std::wstring name =
        PlainFileNameFrom(std::wstring(items[i].name.begin(), items[i].name.end()));
    // Each item in a numbered folder of its own: equal names do not meet.
    const std::wstring itemFolder = AppendPath(made.Get().path, std::to_wstring(++number));
    const std::wstring path = AppendPath(itemFolder, name);
    uint64_t copied = 0;
    hr = CreateDirectoryW(itemFolder.c_str(), nullptr) ? S_OK : LastErrorResult();
    if (SUCCEEDED(hr)) {
      const uint64_t left = limits.perDrop - total;
      hr = CopyItem(data, contentsFormat, static_cast<LONG>(i), items[i], path,
                    std::min(limits.perItem, left), &copied);
    }
    if (FAILED(hr)) {
      *failedItem = name;
      return hr;  // `made` takes every copy with it
    }
    total += copied;
    copies.Add(path);
  }
  *files = copies;
  *folder = std::move(made);
  return S_OK;
}
