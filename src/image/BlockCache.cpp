// A small per-thread cache of large freed blocks.
#include "image/BlockCache.h"

#include <atomic>

#include <malloc.h>

#include <cstdint>
#include <cstdlib>

namespace {

// Each block starts with a header; it keeps the payload 16-byte aligned. The C library's blocks
// are 16-byte aligned on 64 bits but only 8-byte aligned on 32, so blocks come from the aligned
// allocator.
struct BlockHeader {
  size_t capacity;  // bytes the block can hold
  size_t touched;   // bytes from its start that some request has had, and so touched
};
const size_t kHeader = 16;
const size_t kAlign = 16;
static_assert(sizeof(BlockHeader) <= kHeader, "the header fits in front of the payload");
const size_t kLargeBlock = 1u << 20;
const size_t kMaxKept = 8;
// A 32-bit process has less address space to spare (4 GB under a 64-bit Windows, as it is large
// address aware); a 64-bit one keeps more.
const size_t kMaxKeptBytes = sizeof(void*) == 4 ? (256u << 20) : (512u << 20);

// Deliberately without a destructor: with this toolchain a thread_local object's destructor
// runs after the thread's TLS storage has been freed, so it would read and write freed heap
// memory. The thread's owner returns the blocks instead (ReleaseThreadImageBuffers).
struct KeptBlocks {
  void* blocks[kMaxKept];
  size_t total;

  void Release();
};

thread_local KeptBlocks t_kept = {};

// The bytes kept by all threads together: however many threads load pictures, what they keep
// for reuse stays within one thread's allowance.
std::atomic<size_t> g_keptByAll{0};

// Counts `capacity` more kept bytes when both the thread's and the process's allowance have room.
bool ReserveKept(size_t capacity) {
  if (t_kept.total + capacity > kMaxKeptBytes) return false;
  if (g_keptByAll.fetch_add(capacity) + capacity > kMaxKeptBytes) {
    g_keptByAll.fetch_sub(capacity);
    return false;
  }
  t_kept.total += capacity;
  return true;
}

void UnreserveKept(size_t capacity) {
  t_kept.total -= capacity;
  g_keptByAll.fetch_sub(capacity);
}

void KeptBlocks::Release() {
  for (void*& block : blocks) {
    _aligned_free(block);
    block = nullptr;
  }
  g_keptByAll.fetch_sub(total);
  total = 0;
}

BlockHeader* Header(void* raw) {
  return static_cast<BlockHeader*>(raw);
}

size_t Capacity(void* raw) {
  return Header(raw)->capacity;
}

// The capacity a fresh large block is given. Only pages that are written cost anything, so it gets
// room to grow to twice the request: a later, somewhat larger picture of the batch then reuses it
// and touches only its own extra pages (the bench's photos: a third fewer page faults, 4 % less
// time on one thread). A block too large to be kept gets no room; one whose room cannot be had
// is asked for again at its size (AllocateBlock).
size_t RoomFor(size_t size) {
  if (size > kMaxKeptBytes / 2) return size;
  return size * 2;
}

void* Payload(void* raw, size_t size) {
  if (size > Header(raw)->touched) Header(raw)->touched = size;
  return static_cast<char*>(raw) + kHeader;
}

}  // namespace

void* AllocateBlock(size_t size) {
  if (size > SIZE_MAX / 2) return nullptr;  // no block is that large; leaves room for the header
  if (size >= kLargeBlock) {
    // Best is a kept block already touched as far as the request goes (the least touched of
    // those); failing that, the one touched furthest, which leaves the fewest fresh pages.
    size_t best = kMaxKept;
    bool bestCovers = false;
    for (size_t i = 0; i < kMaxKept; ++i) {
      void* raw = t_kept.blocks[i];
      if (!raw || Capacity(raw) < size) continue;
      size_t touched = Header(raw)->touched;
      bool covers = touched >= size;
      bool better = best == kMaxKept ||
                    (covers ? !bestCovers || touched < Header(t_kept.blocks[best])->touched
                            : !bestCovers && touched > Header(t_kept.blocks[best])->touched);
      if (better) {
        best = i;
        bestCovers = covers;
      }
    }
    if (best != kMaxKept) {
      void* raw = t_kept.blocks[best];
      t_kept.blocks[best] = nullptr;
      UnreserveKept(Capacity(raw));
      return Payload(raw, size);
    }
  }
  size_t capacity = size >= kLargeBlock ? RoomFor(size) : size;
  void* raw = _aligned_malloc(capacity + kHeader, kAlign);
  if (!raw) {
    ReleaseCachedBlocks();  // memory kept for reuse must not make a picture fail
    capacity = size;
    raw = _aligned_malloc(capacity + kHeader, kAlign);
    if (!raw) return nullptr;
  }
  *Header(raw) = {capacity, 0};
  return Payload(raw, size);
}

void FreeBlock(void* block) {
  if (!block) return;
  void* raw = static_cast<char*>(block) - kHeader;
  size_t capacity = Capacity(raw);
  if (capacity < kLargeBlock || capacity > kMaxKeptBytes) {
    _aligned_free(raw);
    return;
  }
  // Keep it, dropping smaller kept blocks while there is no room for it.
  for (;;) {
    size_t empty = kMaxKept, smallest = kMaxKept;
    for (size_t i = 0; i < kMaxKept; ++i) {
      void* kept = t_kept.blocks[i];
      if (!kept) {
        empty = i;
      } else if (smallest == kMaxKept || Capacity(kept) < Capacity(t_kept.blocks[smallest])) {
        smallest = i;
      }
    }
    if (empty != kMaxKept && ReserveKept(capacity)) {
      t_kept.blocks[empty] = raw;
      return;
    }
    if (smallest == kMaxKept || Capacity(t_kept.blocks[smallest]) > capacity) {
      _aligned_free(raw);
      return;
    }
    UnreserveKept(Capacity(t_kept.blocks[smallest]));
    _aligned_free(t_kept.blocks[smallest]);
    t_kept.blocks[smallest] = nullptr;
  }
}

void ReleaseCachedBlocks() {
  t_kept.Release();
}

size_t CachedBlockBytes() {
  return t_kept.total;
}
