// The control classes of the profile panels. Each takes over one control of the main dialog by
// subclassing it, acts on its own notifications (reflected back to it by the dialog as
// kReflectedMessageBase + WM_COMMAND) and reports to a handler interface. The combo boxes fill
// themselves from a named list or a history, put a chosen entry's value rather than its name into
// the edit field, and step through their list with the mouse wheel.
#pragma once

#include <windows.h>

#include <string>

#include "panel/NamedLists.h"
#include "win/AppMessages.h"
#include "win/Controls.h"
#include "win/MessageMap.h"
#include "win/WindowImpl.h"

class COnClickHandler {
public:
  // A button was clicked; `code` is 0.
  virtual void OnClick(CWindowW* sender, int code, int id, HWND control) = 0;

protected:
  ~COnClickHandler() = default;
};

class COnSelChangeHandler {
public:
  // `code` is CBN_SELCHANGE (a choice from the list, or a wheel step), CBN_SELENDCANCEL (the list
  // closed without a new choice while an item is selected) or CBN_EDITCHANGE (typing).
  virtual void OnSelChange(CWindowW* sender, int code, int id, HWND control) = 0;

protected:
  ~COnSelChangeHandler() = default;
};

// The selected item's text when there is one and it reads; otherwise the edit text with white
// space and carriage returns trimmed from both ends.
std::wstring GetComboText(HWND box);
// Selects the item equal to `text` (letter case ignored); without one, clears the selection and
// sets the edit text, only when it differs.
void SelectOrSetText(HWND box, const std::wstring& text);
// Makes the drop-down list as wide as its widest item, and at least as wide as the box.
void FitDroppedWidth(HWND box);
// Where one wheel step from `position` (-1: no entry) goes in a list of `count`: towards the user
// (negative delta) the next entry, away from the user the previous one, never before the first.
// -1 when it would pass the end.
int WheelStepTarget(int position, int delta, int count);

// Push buttons, check boxes and radio buttons.
template <class T>
class CButtonImpl : public CWindowImpl<T, CButtonW> {
public:
  BEGIN_MSG_MAP(CButtonImpl)
    MESSAGE_HANDLER(kReflectedMessageBase + WM_COMMAND, OnReflectedCommand)
  END_MSG_MAP()

  bool Attach(HWND window, COnClickHandler* handler) {
    if (!this->SubclassWindow(window)) return false;
    m_handler = handler;
    return true;
  }

private:
  LRESULT OnReflectedCommand(UINT, WPARAM wParam, LPARAM, bool& handled) {
    if (HIWORD(wParam) != BN_CLICKED || !m_handler) {
      handled = false;
      return 0;
    }
    m_handler->OnClick(this, 0, GetDlgCtrlID(this->m_hWnd), this->m_hWnd);
    return 0;
  }

  COnClickHandler* m_handler = nullptr;
};

class CButton2 : public CButtonImpl<CButton2> {};

// What every combo box wrapper shares: its handler and how it is told.
template <class T>
class CComboBoxImpl : public CWindowImpl<T, CComboBoxW> {
protected:
  bool Bind(HWND window, COnSelChangeHandler* handler) {
    if (!this->SubclassWindow(window)) return false;
    m_handler = handler;
    return true;
  }
  // Binds the box and fills it with the names of a named list, its drop-down wide enough for them.
  template <class TList>
  bool BindList(HWND window, const TList& list, COnSelChangeHandler* handler) {
    if (!Bind(window, handler)) return false;
    for (const typename TList::EntryPtr& entry : list) this->AddString(entry->Name);
    FitDroppedWidth(this->m_hWnd);
    return true;
  }
  void Notify(int code) {
    if (m_handler) m_handler->OnSelChange(this, code, GetDlgCtrlID(this->m_hWnd), this->m_hWnd);
  }

  COnSelChangeHandler* m_handler = nullptr;
};

// A drop-down list without an edit field, filled with the names of a named list.
template <class TList>
class CComboBoxL : public CComboBoxImpl<CComboBoxL<TList>> {
public:
  BEGIN_MSG_MAP(CComboBoxL)
    MESSAGE_HANDLER(kReflectedMessageBase + WM_COMMAND, OnReflectedCommand)
  END_MSG_MAP()

  bool Attach(HWND window, const TList& list, COnSelChangeHandler* handler) {
    if (!this->BindList(window, list, handler)) return false;
    m_list = &list;
    return true;
  }
  // The entry at the selected position; null with none.
  typename TList::EntryPtr GetSelected() const {
    return m_list ? m_list->GetAt(this->GetCurSel()) : typename TList::EntryPtr();
  }

private:
  LRESULT OnReflectedCommand(UINT, WPARAM wParam, LPARAM, bool& handled) {
    if (HIWORD(wParam) != CBN_SELCHANGE) {
      handled = false;
      return 0;
    }
    this->Notify(CBN_SELCHANGE);
    return 0;
  }

  const TList* m_list = nullptr;
};

// Combo boxes with an edit field. A choice from the list (or the list closing with an item
// selected) is acted on once the box has settled: the notification posts kComboSettledMessage to the box itself
// with the code, as the box updates its edit field only after notifying. Typing is reported at
// once with CBN_EDITCHANGE.
template <class T>
class CEditComboImpl : public CComboBoxImpl<T> {
public:
  BEGIN_MSG_MAP(CEditComboImpl)
    MESSAGE_HANDLER(kReflectedMessageBase + WM_COMMAND, OnReflectedCommand)
  END_MSG_MAP()

private:
  LRESULT OnReflectedCommand(UINT, WPARAM wParam, LPARAM, bool& handled) {
    const WORD code = HIWORD(wParam);
    if (code == CBN_SELCHANGE || code == CBN_SELENDCANCEL) {
      if (this->GetCurSel() >= 0) PostMessageW(this->m_hWnd, kComboSettledMessage, code, 0);
    } else if (code == CBN_EDITCHANGE) {
      this->Notify(CBN_EDITCHANGE);
    } else {
      handled = false;
    }
    return 0;
  }
};

// An editable combo box offering a named list of values (sizes, quality levels, colours).
// TList::Entry gives the value type and how a typed text is read (Parse).
template <class TList>
class CComboBox2 : public CEditComboImpl<CComboBox2<TList>> {
public:
  BEGIN_MSG_MAP(CComboBox2)
    MESSAGE_HANDLER(kComboSettledMessage, OnSettled)
    MESSAGE_HANDLER(WM_MOUSEWHEEL, OnMouseWheel)
    CHAIN_MSG_MAP(CEditComboImpl<CComboBox2<TList>>)
  END_MSG_MAP()

  bool Attach(HWND window, const TList& list, COnSelChangeHandler* handler) {
    if (!this->BindList(window, list, handler)) return false;
    m_list = &list;
    return true;
  }

private:
  // The value step: the chosen entry's value text replaces its name, all of it selected.
  LRESULT OnSettled(UINT, WPARAM wParam, LPARAM, bool&) {
    typename TList::EntryPtr entry = m_list->GetAt(this->GetCurSel());
    if (!entry) return 0;
    SelectOrSetText(this->m_hWnd, ValueText(*entry));
    this->SetEditSel(0, -1);
    this->Notify(static_cast<int>(wParam));
    return 0;
  }

  // The wheel step: from the entry whose value the text holds (the first entry when none does) to
  // the next one towards the user or the previous one away from the user.
  LRESULT OnMouseWheel(UINT, WPARAM wParam, LPARAM, bool&) {
    const int delta = GET_WHEEL_DELTA_WPARAM(wParam);
    if (delta == 0) return 0;
    typename TList::Entry::ValueType value = 0;
    if (!TList::Entry::Parse(GetComboText(this->m_hWnd), &value)) value = 0;
    typename TList::EntryPtr target =
        m_list->GetAt(WheelStepTarget(m_list->Find(value), delta, m_list->Size()));
    if (!target) return 0;
    SelectOrSetText(this->m_hWnd, ValueText(*target));
    this->SetEditSel(0, -1);
    this->Notify(CBN_SELCHANGE);
    return 0;
  }

  const TList* m_list = nullptr;
};

// An editable combo box offering a history of texts, most recent first.
template <class THistory>
class CComboBoxS : public CEditComboImpl<CComboBoxS<THistory>> {
public:
  BEGIN_MSG_MAP(CComboBoxS)
    MESSAGE_HANDLER(kComboSettledMessage, OnSettled)
    CHAIN_MSG_MAP(CEditComboImpl<CComboBoxS<THistory>>)
  END_MSG_MAP()

  bool Attach(HWND window, const THistory& history, COnSelChangeHandler* handler) {
    if (!this->Bind(window, handler)) return false;
    m_history = &history;
    Fill();
    return true;
  }

  // Refills the list from the history, keeping the text the box shows.
  void Refresh() {
    if (!this->m_hWnd || !m_history) return;
    std::wstring text;
    const int selected = this->GetCurSel();
    if (selected < 0 || !this->GetLBText(selected, &text)) {
      CWindowW::GetItemText(this->m_hWnd, &text, false);
    }
    CWindowW::ClearComboList(this->m_hWnd);
    Fill();
    SelectOrSetText(this->m_hWnd, text);
  }

private:
  void Fill() {
    for (const std::wstring& entry : *m_history) this->AddString(entry);
    FitDroppedWidth(this->m_hWnd);
  }

  LRESULT OnSettled(UINT, WPARAM wParam, LPARAM, bool&) {
    this->Notify(static_cast<int>(wParam));
    return 0;
  }

  const THistory* m_history = nullptr;
};
