// CHistory: a most-recently-used list of strings that stores itself in the registry.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/Registry.h"

// The most entries a stored "Count" can give a history. Additions keep a history at its capacity,
// so a larger count is damage; the bound stops a damaged count from exhausting memory.
const size_t kMaxHistoryEntries = 1024;

// TStorage stores one entry: static Load(parent, path, std::wstring*) and
// Save(parent, path, const std::wstring&), each returning a success flag. Position 0 is the most
// recent entry. Entries compare by their exact UTF-16 units, so letter case matters.
template <class TStorage, size_t TCapacity>
class CHistory {
public:
  typedef std::vector<std::wstring>::const_iterator const_iterator;
  static constexpr size_t Capacity = TCapacity;

  // Makes `text` the most recent entry, dropping an equal older one and, past the capacity, the
  // oldest ones.
  void Add(const std::wstring& text) {
    auto found = std::find(m_entries.begin(), m_entries.end(), text);
    if (found != m_entries.end()) m_entries.erase(found);
    m_entries.insert(m_entries.begin(), text);
    if (m_entries.size() > Capacity) Resize(Capacity);
  }
  // Exactly `size` entries: empty strings appended at the back, or the oldest ones removed.
  void Resize(size_t size) { m_entries.resize(size); }

  size_t Size() const { return m_entries.size(); }
  const std::wstring& operator[](size_t index) const { return m_entries[index]; }
  const_iterator begin() const { return m_entries.begin(); }
  const_iterator end() const { return m_entries.end(); }

  // Reads the list stored under `path` (below `parent`). A key that cannot be opened, or a
  // "Count" that is not a number, leaves the list as it was. Otherwise the list takes the stored
  // count (not cut to the capacity; the next Add does that) and every entry that reads; an entry
  // that does not keeps what it held, and the result is false.
  bool Load(HKEY parent, const std::wstring& path) {
    CKeyHandle key;
    if (!OpenForRead(parent, path, &key)) return false;
    size_t count = 0;
    if (!ReadCount(key.Get(), kMaxHistoryEntries, &count)) return false;
    key.Close();
    Resize(count);
    bool ok = true;
    for (size_t i = 0; i < m_entries.size(); ++i) {
      if (!TStorage::Load(parent, ListEntryPath(path, i), &m_entries[i])) ok = false;
    }
    return ok;
  }

  // Writes "Count" and every entry under `path`; true only when all of them were written. Entry
  // keys beyond the count, left by an earlier longer list, stay and are never read.
  bool Save(HKEY parent, const std::wstring& path) const {
    CKeyHandle key;
    if (!OpenForWrite(parent, path, &key)) return false;
    bool ok = WriteDword(key.Get(), L"Count", static_cast<uint32_t>(m_entries.size()));
    key.Close();
    for (size_t i = 0; i < m_entries.size(); ++i) {
      if (!TStorage::Save(parent, ListEntryPath(path, i), m_entries[i])) ok = false;
    }
    return ok;
  }

private:
  std::vector<std::wstring> m_entries;
};
