// Item identifier lists as the shell lays them out in memory: a run of items, each starting with
// its own 16-bit little-endian byte count (the count included), ended by a count of 0. This file
// handles them as bytes only and includes no platform header, so that it also builds natively.
#pragma once

#include <cstddef>

// The shell allocator. The Windows build maps these on CoTaskMemAlloc and CoTaskMemFree, so lists
// made here and lists made by the shell are freed the same way; a native build maps them on
// malloc and free.
void* ShellAlloc(size_t size);
void ShellFree(void* block);

// Byte size of `list` with its terminating count; 0 for a null list. The list must be whole: use
// this on lists the shell made, or on lists DecodeShellIdListArray found whole inside their block.
size_t ItemIdListSize(const void* list);

// A view of one list that someone else owns; null is allowed and means the empty path. Not
// copyable, so that an owning list cannot be sliced into a view that outlives it.
class CItemIDListHandle {
public:
  explicit CItemIDListHandle(const void* list = nullptr)
      : m_list(static_cast<const unsigned char*>(list)) {}
  virtual ~CItemIDListHandle() = default;
  CItemIDListHandle(const CItemIDListHandle&) = delete;
  CItemIDListHandle& operator=(const CItemIDListHandle&) = delete;

  const unsigned char* Get() const { return m_list; }
  bool IsNull() const { return m_list == nullptr; }
  size_t Size() const { return ItemIdListSize(m_list); }

protected:
  const unsigned char* m_list;
};

// A list allocated with the shell allocator and freed with it when the owner ends or is given
// another. Moves hand the list over; copies are not made.
class CItemIDList : public CItemIDListHandle {
public:
  CItemIDList() = default;
  // Takes over `list`, which the shell allocator made (SHParseDisplayName, ILCreateFromPathW).
  explicit CItemIDList(void* list) : CItemIDListHandle(list) {}
  ~CItemIDList() override { Reset(); }
  CItemIDList(CItemIDList&& other) noexcept : CItemIDListHandle(other.Detach()) {}
  CItemIDList& operator=(CItemIDList&& other) noexcept;

  // Frees the list held and takes over `list` instead.
  void Reset(void* list = nullptr);
  // Hands the list over to the caller, who frees it with ShellFree.
  void* Detach();
};

// A new list: the items of `parent` followed by those of `child`, under one terminator. Either
// may be null or empty. Null when both are null or the allocation fails.
CItemIDList CombineItemIdLists(const CItemIDListHandle& parent, const CItemIDListHandle& child);
