// The thread's block cache: which kept block a request gets decides how much fresh memory a
// batch touches.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "image/BlockCache.h"

namespace {

const size_t kMB = 1u << 20;

bool Aligned16(const void* block) {
  return reinterpret_cast<uintptr_t>(block) % 16 == 0;
}

}  // namespace

TEST(BlockCache, RequestsReuseTheKeptBlockThatLeavesTheFewestFreshPages) {
  ReleaseCachedBlocks();
  void* small = AllocateBlock(2 * kMB);
  void* large = AllocateBlock(8 * kMB);
  ASSERT_TRUE(small && large);
  // Blocks are 16-byte aligned, on 32 bits too, where the C library's own are only 8-byte aligned.
  void* tiny = AllocateBlock(100);
  EXPECT_TRUE(Aligned16(small) && Aligned16(large) && Aligned16(tiny));
  FreeBlock(tiny);
  std::memset(large, 1, 8 * kMB);
  FreeBlock(small);
  FreeBlock(large);
  EXPECT_GE(CachedBlockBytes(), 10 * kMB);

  // A request both could serve gets the one touched least beyond it, and the large one stays
  // for the large request that follows.
  void* again = AllocateBlock(2 * kMB);
  EXPECT_EQ(small, again);
  void* big = AllocateBlock(7 * kMB);
  EXPECT_EQ(large, big);
  FreeBlock(again);
  FreeBlock(big);

  // Small blocks are never kept; blocks are released on request.
  FreeBlock(AllocateBlock(kMB / 2));
  ReleaseCachedBlocks();
  EXPECT_EQ(0u, CachedBlockBytes());
}

TEST(BlockCache, OnSixtyFourBitsAFreshBlockHasRoomForASomewhatLargerNextPicture) {
  ReleaseCachedBlocks();
  void* first = AllocateBlock(10 * kMB);
  ASSERT_TRUE(first);
  std::memset(first, 1, 10 * kMB);
  FreeBlock(first);
  // The next photo is 1.5 times as large: it reuses the block and touches only its extra pages.
  // A 32-bit process gives blocks no room to grow, so there it gets a fresh one.
  void* next = AllocateBlock(15 * kMB);
  ASSERT_TRUE(next);
  EXPECT_EQ(sizeof(void*) == 8, first == next);
  std::memset(next, 2, 15 * kMB);
  FreeBlock(next);
  ReleaseCachedBlocks();
}
