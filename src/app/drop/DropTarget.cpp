// The IDropTarget calls as the platform makes them, and the reading of a dropped data object.
#include "app/drop/DropTarget.h"

#include <algorithm>
#include <new>

#include <boost/make_shared.hpp>

#include "app/drop/DropData.h"
#include "base/FilePaths.h"
#include "base/PathNames.h"

namespace {

POINT ScreenPoint(POINTL point) {
  POINT screen = {point.x, point.y};
  return screen;
}

void SetEffect(DWORD* effect, DWORD value) {
  if (effect) *effect = value;
}

}  // namespace

HRESULT STDMETHODCALLTYPE CDropTargetBase::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropTarget)) {
    *object = static_cast<IDropTarget*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CDropTargetBase::AddRef() {
  return static_cast<ULONG>(InterlockedIncrement(&m_references));
}

ULONG STDMETHODCALLTYPE CDropTargetBase::Release() {
  return static_cast<ULONG>(InterlockedDecrement(&m_references));
}

HRESULT STDMETHODCALLTYPE CDropTargetBase::DragEnter(IDataObject* data, DWORD, POINTL point,
                                                     DWORD* effect) {
  try {
    m_data.Reset(data);
    const POINT screen = ScreenPoint(point);
    SetEffect(effect, OwnerDragOver(screen));
    if (m_dragImages) {
      POINT shown = screen;
      m_dragImages->DragEnter(TargetWindow(), data, &shown, effect ? *effect : kDropEffect);
    }
    return S_OK;
  } catch (...) {
    SetEffect(effect, DROPEFFECT_NONE);
    return E_UNEXPECTED;
  }
}

HRESULT STDMETHODCALLTYPE CDropTargetBase::DragOver(DWORD, POINTL point, DWORD* effect) {
  try {
    const POINT screen = ScreenPoint(point);
    SetEffect(effect, OwnerDragOver(screen));
    if (m_dragImages) {
      POINT shown = screen;
      m_dragImages->DragOver(&shown, effect ? *effect : kDropEffect);
    }
    return S_OK;
  } catch (...) {
    SetEffect(effect, DROPEFFECT_NONE);
    return E_UNEXPECTED;
  }
}

HRESULT STDMETHODCALLTYPE CDropTargetBase::DragLeave() {
  if (m_dragImages) m_dragImages->DragLeave();
  m_data.Release();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CDropTargetBase::Drop(IDataObject* data, DWORD, POINTL point,
                                                DWORD* effect) {
  HRESULT result = S_OK;
  try {
    m_data.Reset(data);
    const POINT screen = ScreenPoint(point);
    // The effect is reported before the owner acts, so that a message shown from inside the
    // drop does not change what the source is told.
    SetEffect(effect, kDropEffect);
    OwnerDrop(data, screen);
    if (m_dragImages) {
      POINT shown = screen;
      m_dragImages->Drop(data, &shown, kDropEffect);
    }
  } catch (...) {
    SetEffect(effect, DROPEFFECT_NONE);
    result = E_UNEXPECTED;
  }
  m_data.Release();
  return result;
}

bool CDropTargetBase::StartDragImageService() {
  if (m_dragImages) return true;
  return SUCCEEDED(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IDropTargetHelper,
                                    reinterpret_cast<void**>(m_dragImages.Receive())));
}

void CDropTargetBase::StopDragImageService() {
  m_dragImages.Release();
}

unsigned ReadDrop(IDataObject* data, DroppedFiles* drop, const DropContentLimits& limits) {
  drop->files.reset();
  drop->copies.Reset();
  drop->failedItem.clear();
  if (!data) return IDS_MSG_DROP_NO_DATA;
  try {
    CFileListPtr read = boost::make_shared<CFileList>();
    const HRESULT pathsRead = ReadDroppedFiles(data, read.get());
    // Paths are looked at only when there are contents to fall back on: a drop of thousands of
    // files pays for no look-ups otherwise.
    if (OffersFileContents(data) &&
        !(SUCCEEDED(pathsRead) && read->Count() > 0 &&
          std::all_of(read->begin(), read->end(), PathExists))) {
      const HRESULT contentsRead =
          ReadDroppedContents(data, limits, read.get(), &drop->copies, &drop->failedItem);
      if (!drop->failedItem.empty()) {
        // No file system takes a name that long: the item's name is at fault, not its contents.
        return drop->failedItem.size() > kMaxFileNameLength ? IDS_MSG_DROP_NAME_TOO_LONG : IDS_MSG_DROP_CONTENTS_FAILED;
      }
      if (FAILED(contentsRead) || read->Count() == 0) return IDS_MSG_DROP_UNSUPPORTED;
      drop->files = read;
      return 0;
    }
    if (pathsRead == kDropNoData) return IDS_MSG_DROP_NO_DATA;
    if (FAILED(pathsRead) || read->Count() == 0) return IDS_MSG_DROP_UNSUPPORTED;
    drop->files = read;
    return 0;
  } catch (const std::bad_alloc&) {
    // A block too large to take apart is refused like any other unreadable one.
    drop->copies.Reset();
    return IDS_MSG_DROP_UNSUPPORTED;
  }
}
