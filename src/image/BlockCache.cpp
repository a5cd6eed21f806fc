// A small per-thread cache of large freed blocks.
#include "image/BlockCache.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Each block starts with its capacity; the header keeps the payload 16-byte aligned.
const size_t kHeader = 16;
const size_t kLargeBlock = 1u << 20;
const size_t kMaxKept = 8;
// A 32-bit process has little address space to spare; a 64-bit one keeps more.
const size_t kMaxKeptBytes = sizeof(void*) == 4 ? (96u << 20) : (512u << 20);

// Deliberately without a destructor: with this toolchain a thread_local object's destructor
// runs after the thread's TLS storage has been freed, so it would read and write freed heap
// memory. The thread's owner returns the blocks instead (ReleaseThreadImageBuffers).
struct KeptBlocks {
  void* blocks[kMaxKept];
  size_t total;

  void Release() {
    for (void*& block : blocks) {
      std::free(block);
      block = nullptr;
    }
    total = 0;
  }
};

thread_local KeptBlocks t_kept = {};

size_t Capacity(void* raw) {
  return *static_cast<size_t*>(raw);
}

}  // namespace

void* AllocateBlock(size_t size) {
  if (size > SIZE_MAX - kHeader) return nullptr;
  if (size >= kLargeBlock) {
    // The smallest kept block that fits without wasting more than its own size.
    size_t best = kMaxKept;
    for (size_t i = 0; i < kMaxKept; ++i) {
      void* raw = t_kept.blocks[i];
      if (!raw) continue;
      size_t capacity = Capacity(raw);
      if (capacity >= size && capacity / 2 <= size &&
          (best == kMaxKept || capacity < Capacity(t_kept.blocks[best]))) {
        best = i;
      }
    }
    if (best != kMaxKept) {
      void* raw = t_kept.blocks[best];
      t_kept.blocks[best] = nullptr;
      t_kept.total -= Capacity(raw);
      return static_cast<char*>(raw) + kHeader;
    }
  }
  void* raw = std::malloc(size + kHeader);
  if (!raw) {
    ReleaseCachedBlocks();  // memory kept for reuse must not make a picture fail
    raw = std::malloc(size + kHeader);
    if (!raw) return nullptr;
  }
  *static_cast<size_t*>(raw) = size;
  return static_cast<char*>(raw) + kHeader;
}

void FreeBlock(void* block) {
  if (!block) return;
  void* raw = static_cast<char*>(block) - kHeader;
  size_t capacity = Capacity(raw);
  if (capacity < kLargeBlock || capacity > kMaxKeptBytes) {
    std::free(raw);
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
    if (empty != kMaxKept && t_kept.total + capacity <= kMaxKeptBytes) {
      t_kept.blocks[empty] = raw;
      t_kept.total += capacity;
      return;
    }
    if (smallest == kMaxKept || Capacity(t_kept.blocks[smallest]) > capacity) {
      std::free(raw);
      return;
    }
    t_kept.total -= Capacity(t_kept.blocks[smallest]);
    std::free(t_kept.blocks[smallest]);
    t_kept.blocks[smallest] = nullptr;
  }
}

void ReleaseCachedBlocks() {
  t_kept.Release();
}

size_t CachedBlockBytes() {
  return t_kept.total;
}
