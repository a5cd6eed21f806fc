// CScoped: the one owner of a resource that must be given back exactly once (kernel and window
// handles, registry keys, GDI and GDI+ objects, storage media, sessions). It gives the resource
// back when it ends or is given another, hands it over on a move and is never copied.
//
// A kind of resource is described by a traits class:
//   typedef ... Type;                      the value held
//   static Type Empty();                   the value of an empty owner
//   static bool IsEmpty(const Type& v);    true for every value that holds nothing
//   static void Release(Type& v);          gives a held value back
// Most kinds are handles given back by one call that takes the handle: CScopedHandle below.
#pragma once

#include <windows.h>

#include <type_traits>

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

// A handle given back by one call that takes it; that call's result, of whatever type, is not
// needed. Both "no handle" values of the API count as empty: most calls return null on failure,
// file calls INVALID_HANDLE_VALUE.
template <class THandle, auto TRelease>
struct HandleTraits {
  typedef THandle Type;
  static THandle Empty() { return THandle(); }
  static bool IsEmpty(THandle handle) {
    if (handle == THandle()) return true;
    if constexpr (std::is_pointer_v<THandle>) {
      return reinterpret_cast<HANDLE>(handle) == INVALID_HANDLE_VALUE;
    } else {
      return false;
    }
  }
  static void Release(THandle handle) { TRelease(handle); }
};

template <class THandle, auto TRelease>
using CScopedHandle = CScoped<HandleTraits<THandle, TRelease>>;

inline BOOL WINAPI ReleaseFont(HFONT font) { return DeleteObject(font); }

typedef CScopedHandle<HANDLE, CloseHandle> CHandle;
typedef CScopedHandle<HACCEL, DestroyAcceleratorTable> CAccelHandle;
typedef CScopedHandle<HICON, DestroyIcon> CIconHandle;
typedef CScopedHandle<HFONT, ReleaseFont> CFontHandle;
typedef CScopedHandle<HKEY, RegCloseKey> CKeyHandle;
