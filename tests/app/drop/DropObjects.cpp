#include "app/drop/DropObjects.h"

#include <cstring>

#include <gtest/gtest.h>

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
