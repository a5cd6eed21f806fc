// The fixed choices of the profile panels, each a display name with a value: the preset sizes,
// the JPEG quality levels, the named background colours and the shrink methods. One instance of
// each list exists for the whole process (GetNamedLists); the names come from the string table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include "job/ShrinkProfile.h"

class CNamedInt {
public:
  typedef int32_t ValueType;
  CNamedInt(std::wstring name, int32_t value) : Name(std::move(name)), Value(value) {}
  // How a typed text turns into a value of this kind (a whole number).
  static bool Parse(const std::wstring& text, int32_t* value);

  std::wstring Name;
  int32_t Value;
};

class CNamedColor {
public:
  typedef uint32_t ValueType;
  CNamedColor(std::wstring name, uint32_t value) : Name(std::move(name)), Value(value) {}
  // Six hexadecimal digits RRGGBB, or a grey level of one or two digits.
  static bool Parse(const std::wstring& text, uint32_t* value);

  std::wstring Name;
  uint32_t Value;  // COLORREF 0x00BBGGRR
};

class CNamedShrink {
public:
  CNamedShrink(int32_t shrinkType, int32_t width, int32_t height, std::wstring name)
      : ShrinkType(shrinkType), Width(width), Height(height), Name(std::move(name)) {}

  int32_t ShrinkType;  // ShrinkMethod
  int32_t Width;
  int32_t Height;
  std::wstring Name;
};

// The text a chosen entry puts into a combo box's edit field: the number, or the six hexadecimal
// digits of the colour (not the name).
std::wstring ValueText(const CNamedInt& entry);
std::wstring ValueText(const CNamedColor& entry);

// An ordered list of shared entries that never changes once built.
template <class TEntry>
class CNamedList {
public:
  typedef TEntry Entry;
  typedef boost::shared_ptr<TEntry> EntryPtr;
  typedef typename std::vector<EntryPtr>::const_iterator const_iterator;

  int Size() const { return static_cast<int>(m_entries.size()); }
  // Null outside the list.
  EntryPtr GetAt(int position) const {
    if (position < 0 || position >= Size()) return EntryPtr();
    return m_entries[static_cast<size_t>(position)];
  }
  const_iterator begin() const { return m_entries.begin(); }
  const_iterator end() const { return m_entries.end(); }

protected:
  template <class... TArgs>
  void Add(TArgs&&... args) {
    m_entries.push_back(boost::make_shared<TEntry>(std::forward<TArgs>(args)...));
  }

  std::vector<EntryPtr> m_entries;
};

// A list whose entries carry one comparable value.
template <class TEntry>
class CNamedValueList : public CNamedList<TEntry> {
public:
  // The position of the first entry with `value`; -1 when none has it.
  int Find(typename TEntry::ValueType value) const {
    for (int i = 0; i < this->Size(); ++i) {
      if (this->m_entries[static_cast<size_t>(i)]->Value == value) return i;
    }
    return -1;
  }
};

// The sixteen preset side lengths in pixels, named by their decimal text.
class CNamedSizes : public CNamedValueList<CNamedInt> {
public:
  CNamedSizes();
};

// The five JPEG quality levels, lowest to highest (0, 30, 50, 80, 100).
class CNamedJpegQualities : public CNamedValueList<CNamedInt> {
public:
  CNamedJpegQualities();
};

// Size limits offered for an output, in kilobytes (the field takes any number; empty is none).
class CNamedKilobytes : public CNamedValueList<CNamedInt> {
public:
  CNamedKilobytes();
};

// The twelve named background colours.
class CNamedColors : public CNamedValueList<CNamedColor> {
public:
  CNamedColors();
};

// No shrink, shrink within the typed size, then one entry per preset size of `sizes`.
class CNamedShrinks : public CNamedList<CNamedShrink> {
public:
  explicit CNamedShrinks(const CNamedSizes& sizes);
  // The position of the first entry with the profile's type, width and height; -1 with none.
  int Find(const ShrinkProfile& profile) const;
};

// The five lists, built in this order on first use; the shrink methods derive from the sizes.
struct CNamedLists {
  CNamedLists() : Shrinks(Sizes) {}
  CNamedLists(const CNamedLists&) = delete;
  CNamedLists& operator=(const CNamedLists&) = delete;

  const CNamedColors Colors;
  const CNamedJpegQualities JpegQualities;
  const CNamedKilobytes Kilobytes;
  const CNamedSizes Sizes;
  const CNamedShrinks Shrinks;
};

// The process's lists. Start-up builds them before the main dialog exists; later calls, from the
// user-interface thread only, read them.
const CNamedLists& GetNamedLists();
