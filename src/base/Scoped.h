// CScoped: the one owner of a resource that must be given back exactly once (kernel and window
// handles, registry keys, GDI and GDI+ objects, storage media, sessions, pooled memory). It gives
// the resource back when it ends or is given another, hands it over on a move and is never
// copied. It needs no Windows header, so plain sources use it too (CScopedObject below, for a
// library's objects); base/Handle.h adds the traits of handles.
//
// A kind of resource is described by a traits class:
//   typedef ... Type;                      the value held
//   static Type Empty();                   the value of an empty owner
//   static bool IsEmpty(const Type& v);    true for every value that holds nothing
//   static void Release(Type& v);          gives a held value back
#pragma once

template <class Traits>
class CScoped {
public:
  typedef typename Traits::Type Type;

  CScoped() : m_value(Traits::Empty()) {}
  explicit CScoped(Type value) : m_value(value) {}
  ~CScoped() { Reset(); }
  CScoped(CScoped&& other) noexcept : m_value(other.Detach()) {}
  CScoped& operator=(CScoped&& other) noexcept {
    if (this != &other) Reset(other.Detach());
    return *this;
  }
  CScoped(const CScoped&) = delete;
  CScoped& operator=(const CScoped&) = delete;

  bool IsValid() const { return !Traits::IsEmpty(m_value); }
  const Type& Get() const { return m_value; }
  // For calls that deliver the resource through a pointer: whatever was held is given back first.
  Type* Receive() {
    Reset();
    return &m_value;
  }
  void Reset(Type value = Traits::Empty()) {
    if (IsValid()) Traits::Release(m_value);
    m_value = value;
  }
  void Close() { Reset(); }
  // Hands the resource to the caller, who gives it back.
  Type Detach() {
    Type value = m_value;
    m_value = Traits::Empty();
    return value;
  }

private:
  Type m_value;
};

// A library object held by pointer and given back by one call of that library (libheif's
// contexts and images, libwebp's demuxers, Little CMS's profiles, a shell allocation).
template <class T, auto TFree>
struct ObjectTraits {
  typedef T* Type;
  static T* Empty() { return nullptr; }
  static bool IsEmpty(T* object) { return object == nullptr; }
  static void Release(T* object) { TFree(object); }
};

template <class T, auto TFree>
using CScopedObject = CScoped<ObjectTraits<T, TFree>>;
