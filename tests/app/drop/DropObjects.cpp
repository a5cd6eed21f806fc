#include "app/drop/DropObjects.h"

#include <algorithm>
#include <cstring>
#include <cwchar>

#include <gtest/gtest.h>

#include "app/drop/DropContents.h"
#include "support/TempDir.h"

HGLOBAL GlobalBytes(const void* bytes, size_t size) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, size);
  std::memcpy(GlobalLock(block), bytes, size);
  GlobalUnlock(block);
  return block;
}

HGLOBAL FileListBlock(const std::vector<std::wstring>& names) {
  DROPFILES header = {};
  header.pFiles = sizeof(DROPFILES);
  header.fWide = TRUE;
  std::wstring list;
  for (const std::wstring& name : names) list += name + L'\0';
  list += L'\0';
  std::string bytes(reinterpret_cast<const char*>(&header), sizeof header);
  bytes.append(reinterpret_cast<const char*>(list.data()), list.size() * sizeof(wchar_t));
  return GlobalBytes(bytes.data(), bytes.size());
}

CComPtr<IDataObject> ClipboardData(HWND owner, UINT format, HGLOBAL block) {
  EXPECT_TRUE(OpenClipboard(owner));
  EmptyClipboard();
  EXPECT_NE(nullptr, SetClipboardData(format, block));
  CloseClipboard();
  CComPtr<IDataObject> data;
  EXPECT_EQ(S_OK, OleGetClipboard(data.Receive()));
  return data;
}

LPCITEMIDLIST IdList(const CItemIDListHandle& list) {
  return reinterpret_cast<LPCITEMIDLIST>(list.Get());
}

CComPtr<IShellFolder> BindFolder(const std::wstring& path) {
  CComPtr<IShellFolder> desktop, folder;
  SHGetDesktopFolder(desktop.Receive());
  const CItemIDList list(ILCreateFromPathW(path.c_str()));
  desktop->BindToObject(IdList(list), nullptr, IID_IShellFolder,
                        reinterpret_cast<void**>(folder.Receive()));
  return folder;
}

CItemIDList ParseIn(IShellFolder* folder, std::wstring relativePath) {
  LPITEMIDLIST parsed = nullptr;
  folder->ParseDisplayName(nullptr, nullptr, &relativePath[0], nullptr, &parsed, nullptr);
  return CItemIDList(parsed);
}

CComPtr<IDataObject> ShellData(IShellFolder* folder, const std::vector<const CItemIDList*>& lists) {
  CComPtr<IShellFolder> desktop;
  if (!folder) SHGetDesktopFolder(desktop.Receive());
  std::vector<LPCITEMIDLIST> items;
  for (const CItemIDList* list : lists) items.push_back(IdList(*list));
  CComPtr<IDataObject> data;
  (folder ? folder : desktop.Get())
      ->GetUIObjectOf(nullptr, static_cast<UINT>(items.size()), items.data(), IID_IDataObject,
                      nullptr, reinterpret_cast<void**>(data.Receive()));
  return data;
}

CComPtr<IDataObject> FolderItemsData(const std::wstring& folder,
                                     const std::vector<std::wstring>& names) {
  CComPtr<IShellFolder> shellFolder = BindFolder(folder);
  std::vector<CItemIDList> children;
  for (const std::wstring& name : names) children.push_back(ParseIn(shellFolder.Get(), name));
  std::vector<const CItemIDList*> lists;
  for (const CItemIDList& child : children) lists.push_back(&child);
  return ShellData(shellFolder.Get(), lists);
}

std::wstring MakeFile(const std::wstring& path) {
  MakeFolders(path.substr(0, path.find_last_of(L'\\')));
  EXPECT_TRUE(WriteBytes(path, std::string()));
  return path;
}

ULONG ReferenceCount(IUnknown* object) {
  object->AddRef();
  return object->Release();
}

namespace {

// A drop target that takes nothing: only its registration is of interest.
class CProbeTarget : public IDropTarget {
public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid != IID_IUnknown && iid != IID_IDropTarget) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    *effect = DROPEFFECT_NONE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
    *effect = DROPEFFECT_NONE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Drop(IDataObject*, DWORD, POINTL, DWORD* effect) override {
    *effect = DROPEFFECT_NONE;
    return S_OK;
  }
};

}  // namespace

bool IsRegisteredDropTarget(HWND window) {
  CProbeTarget probe;
  const HRESULT registered = RegisterDragDrop(window, &probe);
  if (registered == S_OK) RevokeDragDrop(window);
  return registered == DRAGDROP_E_ALREADYREGISTERED;
}

namespace {

const wchar_t kStreamName[] = L"Contents";

HGLOBAL DescriptorBlock(const std::vector<ContentItem>& items, long long count) {
  std::string block(sizeof(UINT) + items.size() * sizeof(FILEDESCRIPTORW), '\0');
  const UINT written = count < 0 ? static_cast<UINT>(items.size()) : static_cast<UINT>(count);
  std::memcpy(&block[0], &written, sizeof written);
  for (size_t i = 0; i < items.size(); ++i) {
    FILEDESCRIPTORW descriptor = {};
    descriptor.dwFlags = FD_ATTRIBUTES | (items[i].claimsSize ? FD_FILESIZE : 0);
    descriptor.dwFileAttributes = items[i].folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    const uint64_t size = items[i].claimedSize != static_cast<uint64_t>(-1) ? items[i].claimedSize
                                                                          : items[i].bytes.size();
    descriptor.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    descriptor.nFileSizeLow = static_cast<DWORD>(size);
    wcsncpy(descriptor.cFileName, items[i].name.c_str(), MAX_PATH - 1);
    std::memcpy(&block[sizeof(UINT) + i * sizeof descriptor], &descriptor, sizeof descriptor);
  }
  return GlobalBytes(block.data(), block.size());
}

// The data object of a source program: it answers only for what it carries.
class CContentsData final : public IDataObject {
public:
  CContentsData(const std::vector<ContentItem>& items, ContentMedium medium, HGLOBAL fileList,
                long long count)
      : m_items(items), m_medium(medium), m_fileList(fileList), m_count(count) {}
  ~CContentsData() {
    if (m_fileList) GlobalFree(m_fileList);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject) ? this : nullptr;
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&m_references);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    *medium = STGMEDIUM{};
    if (format->cfFormat == Descriptor() && (format->tymed & TYMED_HGLOBAL)) {
      medium->tymed = TYMED_HGLOBAL;
      medium->hGlobal = DescriptorBlock(m_items, m_count);
      return S_OK;
    }
    if (format->cfFormat == CF_HDROP && m_fileList && (format->tymed & TYMED_HGLOBAL)) {
      const SIZE_T size = GlobalSize(m_fileList);
      medium->tymed = TYMED_HGLOBAL;
      medium->hGlobal = GlobalBytes(GlobalLock(m_fileList), size);
      GlobalUnlock(m_fileList);
      return S_OK;
    }
    if (format->cfFormat != Contents()) return DV_E_FORMATETC;
    if (format->lindex < 0 || static_cast<size_t>(format->lindex) >= m_items.size()) {
      return DV_E_LINDEX;
    }
    if (!m_items[static_cast<size_t>(format->lindex)].readable) return E_FAIL;
    const std::string& bytes = m_items[static_cast<size_t>(format->lindex)].bytes;
    switch (m_medium) {
      case ContentMedium::Global:
        if (!(format->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = GlobalBytes(bytes.data(), bytes.size());
        return S_OK;
      case ContentMedium::Stream: {
        if (!(format->tymed & TYMED_ISTREAM)) return DV_E_TYMED;
        IStream* stream = nullptr;
        if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return E_OUTOFMEMORY;
        // Left at its end, as some sources hand streams over.
        stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
        medium->tymed = TYMED_ISTREAM;
        medium->pstm = stream;
        return S_OK;
      }
      case ContentMedium::Storage: {
        if (!(format->tymed & TYMED_ISTORAGE)) return DV_E_TYMED;
        const ContentItem& item = m_items[static_cast<size_t>(format->lindex)];
        if (item.storage) {
          CComPtr<IStorage> made = item.storage();
          if (!made) return E_FAIL;
          made->AddRef();  // the medium's reference
          medium->tymed = TYMED_ISTORAGE;
          medium->pstg = made.Get();
          return S_OK;
        }
        IStorage* storage = nullptr;
        HRESULT hr = StgCreateDocfile(nullptr, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE |
                                                   STGM_DELETEONRELEASE, 0, &storage);
        if (FAILED(hr)) return hr;
        IStream* stream = nullptr;
        hr = storage->CreateStream(kStreamName, STGM_CREATE | STGM_WRITE | STGM_SHARE_EXCLUSIVE, 0,
                                   0, &stream);
        if (SUCCEEDED(hr)) {
          stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
          stream->Release();
        }
        medium->tymed = TYMED_ISTORAGE;
        medium->pstg = storage;
        return S_OK;
      }
    }
    return DV_E_TYMED;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
    if (format->cfFormat == Descriptor() || (format->cfFormat == CF_HDROP && m_fileList)) {
      return format->tymed & TYMED_HGLOBAL ? S_OK : DV_E_TYMED;
    }
    return format->cfFormat == Contents() ? S_OK : DV_E_FORMATETC;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    out->ptd = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override {
    if (direction != DATADIR_GET) return E_NOTIMPL;
    std::vector<FORMATETC> offered = {
        {Descriptor(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL},
        {Contents(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL | TYMED_ISTREAM | TYMED_ISTORAGE}};
    if (m_fileList) offered.push_back({CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL});
    return SHCreateStdEnumFmtEtc(static_cast<UINT>(offered.size()), offered.data(), formats);
  }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }

private:
  static CLIPFORMAT Descriptor() {
    return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_FILEDESCRIPTORW));
  }
  static CLIPFORMAT Contents() {
    return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(CFSTR_FILECONTENTS));
  }

  LONG m_references = 1;
  std::vector<ContentItem> m_items;
  ContentMedium m_medium;
  HGLOBAL m_fileList;
  long long m_count;
};

}  // namespace

CComPtr<IDataObject> ContentsData(const std::vector<ContentItem>& items, ContentMedium medium,
                                  HGLOBAL fileList, long long count) {
  CComPtr<IDataObject> data;
  *data.Receive() = new CContentsData(items, medium, fileList, count);
  return data;
}

std::string ReadCopy(const std::wstring& path, bool compoundFile) {
  if (!compoundFile) return ReadBytes(path);
  CComPtr<IStorage> storage;
  if (FAILED(StgOpenStorage(path.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                            storage.Receive()))) {
    return "(not a compound file)";
  }
  CComPtr<IStream> stream;
  if (FAILED(storage->OpenStream(kStreamName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                 stream.Receive()))) {
    return "(no stream)";
  }
  std::string bytes;
  char chunk[4096];
  ULONG got = 0;
  while (SUCCEEDED(stream->Read(chunk, sizeof chunk, &got)) && got > 0) bytes.append(chunk, got);
  return bytes;
}

std::vector<std::wstring> DropCopiesNamed(const std::wstring& name) {
  std::vector<std::wstring> copies;
  const std::wstring root = L"\\\\?\\" + DropFoldersRoot() + L"\\";  // names of any length
  WIN32_FIND_DATAW folder;
  HANDLE folders = FindFirstFileW((root + L"drop-*").c_str(), &folder);
  if (folders == INVALID_HANDLE_VALUE) return copies;
  do {
    WIN32_FIND_DATAW item;
    const std::wstring drop = root + folder.cFileName + L"\\";
    HANDLE items = FindFirstFileW((drop + L"*").c_str(), &item);
    if (items == INVALID_HANDLE_VALUE) continue;
    do {
      const std::wstring copy = drop + item.cFileName + L"\\" + name;
      if (GetFileAttributesW(copy.c_str()) != INVALID_FILE_ATTRIBUTES) copies.push_back(copy);
    } while (FindNextFileW(items, &item));
    FindClose(items);
  } while (FindNextFileW(folders, &folder));
  FindClose(folders);
  return copies;
}

namespace {

const DWORD kNewElement = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

CComPtr<IStorage> MemoryStorage() {
  CComPtr<IStorage> storage;
  EXPECT_EQ(S_OK, StgCreateDocfile(nullptr, kNewElement | STGM_DELETEONRELEASE, 0, storage.Receive()));
  return storage;
}

void WriteStream(IStorage* storage, const wchar_t* name, const std::string& bytes) {
  CComPtr<IStream> stream;
  ASSERT_EQ(S_OK, storage->CreateStream(name, kNewElement, 0, 0, stream.Receive()));
  ULONG written = 0;
  ASSERT_EQ(S_OK, stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written));
}

// Hands out copies of recorded elements, names included, as a storage's enumerator does.
class CElementList final : public IEnumSTATSTG {
public:
  explicit CElementList(std::vector<std::pair<STATSTG, std::wstring>> elements)
      : m_elements(std::move(elements)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumSTATSTG) ? this : nullptr;
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&m_references);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, STATSTG* out, ULONG* fetched) override {
    ULONG given = 0;
    for (; given < count && m_next < m_elements.size(); ++given, ++m_next) {
      out[given] = m_elements[m_next].first;
      const std::wstring& name = m_elements[m_next].second;
      const size_t bytes = (name.size() + 1) * sizeof(wchar_t);
      out[given].pwcsName = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
      std::memcpy(out[given].pwcsName, name.c_str(), bytes);
    }
    if (fetched) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    m_next = std::min<size_t>(m_elements.size(), m_next + count);
    return m_next < m_elements.size() ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    m_next = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumSTATSTG** copy) override {
    *copy = new CElementList(m_elements);
    return S_OK;
  }

private:
  LONG m_references = 1;
  std::vector<std::pair<STATSTG, std::wstring>> m_elements;
  size_t m_next = 0;
};

// A real storage whose enumeration claims other sizes for some of its elements.
class CClaimingStorage final : public IStorage {
public:
  CClaimingStorage(CComPtr<IStorage> real, std::vector<std::pair<std::wstring, uint64_t>> claims)
      : m_real(std::move(real)), m_claims(std::move(claims)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    *object = IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IStorage) ? this : nullptr;
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_references)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&m_references);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE EnumElements(DWORD, void*, DWORD, IEnumSTATSTG** list) override {
    CComPtr<IEnumSTATSTG> real;
    HRESULT hr = m_real->EnumElements(0, nullptr, 0, real.Receive());
    if (FAILED(hr)) return hr;
    std::vector<std::pair<STATSTG, std::wstring>> elements;
    STATSTG element;
    ULONG got = 0;
    while (real->Next(1, &element, &got) == S_OK && got == 1) {
      std::wstring name = element.pwcsName;
      CoTaskMemFree(element.pwcsName);
      element.pwcsName = nullptr;
      for (const auto& claim : m_claims) {
        if (claim.first == name) element.cbSize.QuadPart = claim.second;
      }
      elements.emplace_back(element, name);
    }
    *list = new CElementList(std::move(elements));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CreateStream(const OLECHAR* name, DWORD mode, DWORD reserved1,
                                         DWORD reserved2, IStream** stream) override {
    return m_real->CreateStream(name, mode, reserved1, reserved2, stream);
  }
  HRESULT STDMETHODCALLTYPE OpenStream(const OLECHAR* name, void* reserved1, DWORD mode,
                                       DWORD reserved2, IStream** stream) override {
    return m_real->OpenStream(name, reserved1, mode, reserved2, stream);
  }
  HRESULT STDMETHODCALLTYPE CreateStorage(const OLECHAR* name, DWORD mode, DWORD reserved1,
                                          DWORD reserved2, IStorage** storage) override {
    return m_real->CreateStorage(name, mode, reserved1, reserved2, storage);
  }
  HRESULT STDMETHODCALLTYPE OpenStorage(const OLECHAR* name, IStorage* priority, DWORD mode,
                                        SNB exclude, DWORD reserved, IStorage** storage) override {
    return m_real->OpenStorage(name, priority, mode, exclude, reserved, storage);
  }
  HRESULT STDMETHODCALLTYPE CopyTo(DWORD count, const IID* excluded, SNB names,
                                   IStorage* destination) override {
    return m_real->CopyTo(count, excluded, names, destination);
  }
  HRESULT STDMETHODCALLTYPE MoveElementTo(const OLECHAR* name, IStorage* destination,
                                          const OLECHAR* newName, DWORD flags) override {
    return m_real->MoveElementTo(name, destination, newName, flags);
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override { return m_real->Commit(flags); }
  HRESULT STDMETHODCALLTYPE Revert() override { return m_real->Revert(); }
  HRESULT STDMETHODCALLTYPE DestroyElement(const OLECHAR* name) override {
    return m_real->DestroyElement(name);
  }
  HRESULT STDMETHODCALLTYPE RenameElement(const OLECHAR* oldName, const OLECHAR* newName) override {
    return m_real->RenameElement(oldName, newName);
  }
  HRESULT STDMETHODCALLTYPE SetElementTimes(const OLECHAR* name, const FILETIME* created,
                                            const FILETIME* accessed,
                                            const FILETIME* modified) override {
    return m_real->SetElementTimes(name, created, accessed, modified);
  }
  HRESULT STDMETHODCALLTYPE SetClass(REFCLSID id) override { return m_real->SetClass(id); }
  HRESULT STDMETHODCALLTYPE SetStateBits(DWORD bits, DWORD mask) override {
    return m_real->SetStateBits(bits, mask);
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override {
    return m_real->Stat(stat, flags);
  }

private:
  LONG m_references = 1;
  CComPtr<IStorage> m_real;
  std::vector<std::pair<std::wstring, uint64_t>> m_claims;
};

}  // namespace

CComPtr<IStorage> NestedStorage(int depth, const std::string& bytes) {
  CComPtr<IStorage> root = MemoryStorage();
  if (!root) return root;
  WriteStream(root.Get(), kStreamName, bytes);
  // Each level stays open while the next is made: releasing a storage invalidates its children.
  std::vector<CComPtr<IStorage>> levels = {root};
  for (int i = 0; i < depth; ++i) {
    CComPtr<IStorage> inner;
    EXPECT_EQ(S_OK, levels.back()->CreateStorage((L"level" + std::to_wstring(i)).c_str(),
                                                 kNewElement, 0, 0, inner.Receive()));
    if (!inner) return CComPtr<IStorage>();
    levels.push_back(inner);
  }
  if (depth > 0) WriteStream(levels.back().Get(), kStreamName, bytes);
  return root;
}

CComPtr<IStorage> ClaimingStorage(const std::vector<std::pair<std::wstring, std::string>>& streams,
                                  const std::vector<std::pair<std::wstring, uint64_t>> & claims) {
  CComPtr<IStorage> real = MemoryStorage();
  if (!real) return real;
  for (const auto& stream : streams) WriteStream(real.Get(), stream.first.c_str(), stream.second);
  CComPtr<IStorage> claiming;
  *claiming.Receive() = new CClaimingStorage(real, claims);
  return claiming;
}
