// CComPtr: holds one reference to a COM interface and releases it when it ends or is given
// another pointer. Copying takes a reference of its own, as COM pointers are shared by design.
#pragma once

#include <unknwn.h>

template <class I>
class CComPtr {
public:
  CComPtr() = default;
  // Takes a new reference to `object`.
  explicit CComPtr(I* object) : m_object(object) {
    if (m_object) m_object->AddRef();
  }
  CComPtr(const CComPtr& other) : CComPtr(other.m_object) {}
  CComPtr& operator=(const CComPtr& other) {
    Reset(other.m_object);
    return *this;
  }
  ~CComPtr() { Release(); }

  I* Get() const { return m_object; }
  I* operator->() const { return m_object; }
  explicit operator bool() const { return m_object != nullptr; }

  // Holds `object` instead: the new one is referenced before the old one is let go, so giving
  // the pointer that is already held keeps it alive.
  void Reset(I* object) {
    if (object) object->AddRef();
    I* old = m_object;
    m_object = object;
    if (old) old->Release();
  }
  void Release() {
    I* old = m_object;
    m_object = nullptr;
    if (old) old->Release();
  }
  // For creation calls that hand out a referenced pointer: releases what is held first.
  I** Receive() {
    Release();
    return &m_object;
  }

private:
  I* m_object = nullptr;
};
