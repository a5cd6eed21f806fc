// The window's side of OLE drag and drop. CDropTargetBase is the IDropTarget the platform calls
// during a drag; CDropTargetT<T> forwards its calls to the window class T; CDropTargetImpl<T> is
// the mix-in of T that embeds the target, registers and revokes it, and decides what a drag over
// the window shows and what a drop does.
//
// What T supplies:
//   HWND m_hWnd                                    its window
//   bool IsJobRunning()                            a job's worker is alive, a start is under
//                                                  way or waits for its kDropReadyMessage, or a
//                                                  box of the window is open: drops are refused
//   bool HitDropFolder(POINT screenPoint)          a profile's enabled folder field lies under
//                                                  the point; that field then has the focus
//   void SetDroppedFiles(const CFileListPtr& files, POINT screenPoint, WPARAM source)
//                                                  keeps the drop's list (null: none), point and
//                                                  source (kDroppedOnWindow, kFromOutside) for
//                                                  the start that kDropReadyMessage begins
//   bool JoinPendingStart(const CFileListPtr& files)
//                                                  appends paths from outside to a start from
//                                                  outside that has not yet taken its list; false
//                                                  when there is none
//   void TakeDropCopies(CDropFolder copies)        keeps the private copies the list names (empty:
//                                                  none) until the job that uses them ends
//   int ShowMessageId(unsigned id, UINT flags)     a message box owned by the window
//   int ShowMessage(const std::wstring& text, UINT flags)   the same with a text of its own
// An accepted drop posts kDropReadyMessage to the window after SetDroppedFiles, so that
// T acts on it once the drag has ended. Paths from outside the window (the command line, a later
// start of the program) take the same way through TakeFromOutside or DropFromOutside.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <shlobj.h>

#include <string>

#include "app/drop/DropContents.h"
#include "base/ComPtr.h"
#include "base/ResourceText.h"
#include "job/FileList.h"
#include "res/StringIds.h"
#include "win/AppMessages.h"
#include "win/MessageMap.h"

class CDropTargetBase : public IDropTarget {
public:
  CDropTargetBase(const CDropTargetBase&) = delete;
  CDropTargetBase& operator=(const CDropTargetBase&) = delete;

  // The object lives inside its window class: references are counted for the platform's sake,
  // and reaching zero deletes nothing.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // Every call reports success and the owner's effect, and then passes the call on to the
  // drag-image service; a failure inside reports E_UNEXPECTED and no effect.
  HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keyState, POINTL point,
                                      DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragOver(DWORD keyState, POINTL point, DWORD* effect) override;
  HRESULT STDMETHODCALLTYPE DragLeave() override;
  HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keyState, POINTL point,
                                 DWORD* effect) override;

  // The shell's drag-image service, which draws the dragged items' image; false where the
  // platform has none. Its calls' results are ignored, as some platforms only stub them.
  bool StartDragImageService();
  void StopDragImageService();

  // Whether a data object is held, which is the case from entering until leaving or dropping.

protected:
  CDropTargetBase() = default;
  virtual ~CDropTargetBase() = default;

  virtual HWND TargetWindow() = 0;
  // The effect of a drag entering or moving over the window at `point` (screen coordinates).
  virtual DWORD OwnerDragOver(POINT point) = 0;
  virtual void OwnerDrop(IDataObject* data, POINT point) = 0;

private:
  volatile LONG m_references = 0;
  CComPtr<IDataObject> m_data;
  CComPtr<IDropTargetHelper> m_dragImages;
};

template <class T>
class CDropTargetImpl;

template <class T>
class CDropTargetT : public CDropTargetBase {
public:
  explicit CDropTargetT(CDropTargetImpl<T>* owner) : m_owner(owner) {}

protected:
  HWND TargetWindow() override { return Owner()->m_hWnd; }
  DWORD OwnerDragOver(POINT point) override { return Owner()->OnDragOver(point); }
  void OwnerDrop(IDataObject* data, POINT point) override { Owner()->OnDrop(data, point); }

private:
  T* Owner() const { return static_cast<T*>(m_owner); }

  CDropTargetImpl<T>* m_owner;
};

// The effect a drag over the window reports, whatever it carries.
const DWORD kDropEffect = DROPEFFECT_COPY;

// What a drop brings: its files, the private folder holding them when they are copies of items
// without a file of their own, and the item that refused the drop.
struct DroppedFiles {
  CFileListPtr files;
  CDropFolder copies;
  std::wstring failedItem;
};

// The files of a drop, or the message that refuses it: 0 with a non-empty list in `drop->files`,
// otherwise IDS_MSG_DROP_NO_DATA (data offers no format of files), IDS_MSG_DROP_UNSUPPORTED
// (unreadable, empty, or an item that is not a file-system object) or
// IDS_MSG_DROP_CONTENTS_FAILED (an item without a file of its own could not be copied within
// `limits`: `drop->failedItem`), or IDS_MSG_DROP_NAME_TOO_LONG (that item's name is longer than
// any file's may be). Paths that all exist win; only a drop without them has the
// contents of its items copied.
unsigned ReadDrop(IDataObject* data, DroppedFiles* drop,
                  const DropContentLimits& limits = kDropContentLimits);

template <class T>
class CDropTargetImpl {
public:
  CDropTargetImpl() : m_dropTarget(this) {}
  ~CDropTargetImpl() { RevokeDropTarget(); }
  CDropTargetImpl(const CDropTargetImpl&) = delete;
  CDropTargetImpl& operator=(const CDropTargetImpl&) = delete;

  // Makes the window a drop target; the drag-image service is started first when there is one.
  // Needs OLE initialised on this thread. False when the platform refuses the registration.
  bool RegisterDropTarget() {
    if (m_registeredWindow) return true;
    HWND window = static_cast<T*>(this)->m_hWnd;
    m_dropTarget.StartDragImageService();
    if (FAILED(RegisterDragDrop(window, &m_dropTarget))) {
      m_dropTarget.StopDragImageService();
      return false;
    }
    m_registeredWindow = window;
    return true;
  }
  // Undoes the registration, if any; also done when the window is destroyed (through the
  // chained map) and when this object ends.
  void RevokeDropTarget() {
    if (!m_registeredWindow) return;
    RevokeDragDrop(m_registeredWindow);
    m_registeredWindow = nullptr;
    m_dropTarget.StopDragImageService();
  }
  CDropTargetBase* DropTarget() { return &m_dropTarget; }

  // Entering and moving alike: while a job runs nothing moves; over a folder field that field
  // has the focus; elsewhere the window itself takes it. The effect never depends on the data.
  DWORD OnDragOver(POINT screenPoint) {
    T* owner = static_cast<T*>(this);
    if (!owner->IsJobRunning() && !owner->HitDropFolder(screenPoint) &&
        GetFocus() != owner->m_hWnd) {
      SetFocus(owner->m_hWnd);
    }
    return kDropEffect;
  }

  // Refuses the drop with a message, or hands its files and point to the owner and posts kDropReadyMessage.
  void OnDrop(IDataObject* data, POINT screenPoint) {
    T* owner = static_cast<T*>(this);
    if (RefusedWhileRunning()) return;
    DroppedFiles drop;
    const unsigned refusal = ReadDrop(data, &drop);
    if (refusal == IDS_MSG_DROP_NO_DATA) {
      owner->ShowMessageId(refusal, MB_OK | MB_ICONERROR);
      return;
    }
    owner->SetDroppedFiles(drop.files, screenPoint, kDroppedOnWindow);
    owner->TakeDropCopies(std::move(drop.copies));
    if (refusal == IDS_MSG_DROP_CONTENTS_FAILED || refusal == IDS_MSG_DROP_NAME_TOO_LONG) {
      owner->ShowMessage(FormattedResourceString(refusal, drop.failedItem.c_str()),
                         MB_OK | MB_ICONERROR);
      return;
    }
    if (refusal != 0) {
      owner->ShowMessageId(refusal, MB_OK | MB_ICONERROR);
      return;
    }
    PostMessageW(owner->m_hWnd, kDropReadyMessage, kDroppedOnWindow, 0);
  }

  // Paths from outside the window, taken as a drop that lies on none of its fields. They join a
  // start from outside that has not yet taken its list (two later starts of the program at once
  // make one job, in the order their paths came); otherwise they are refused (false, and nothing
  // shown: the caller tells) as a drop is, and else handed to the owner with kDropReadyMessage
  // (kFromOutside).
  bool TakeFromOutside(const CFileListPtr& files) {
    T* owner = static_cast<T*>(this);
    if (owner->JoinPendingStart(files)) return true;
    if (owner->IsJobRunning()) return false;
    owner->SetDroppedFiles(files, POINT{0, 0}, kFromOutside);
    owner->TakeDropCopies(CDropFolder());  // an earlier drop's copies, if it started nothing
    PostMessageW(owner->m_hWnd, kDropReadyMessage, kFromOutside, 0);
    return true;
  }
  // The same, with the refusal's message.
  void DropFromOutside(const CFileListPtr& files) {
    if (!TakeFromOutside(files)) ShowRefusal();
  }
  // The message of a drop or paths refused while a job runs or starts or a box is open.
  void ShowRefusal() {
    static_cast<T*>(this)->ShowMessageId(IDS_MSG_DROP_WHILE_RUNNING, MB_OK | MB_ICONERROR);
  }

  // Chained by T's map: the registration ends with the window.
  BEGIN_MSG_MAP(CDropTargetImpl)
    MESSAGE_HANDLER(WM_DESTROY, OnDestroyWindow)
  END_MSG_MAP()

private:
  bool RefusedWhileRunning() {
    if (!static_cast<T*>(this)->IsJobRunning()) return false;
    ShowRefusal();
    return true;
  }

  LRESULT OnDestroyWindow(UINT, WPARAM, LPARAM, bool& handled) {
    RevokeDropTarget();
    handled = false;
    return 0;
  }

  CDropTargetT<T> m_dropTarget;
  HWND m_registeredWindow = nullptr;
};
