// The thread's block cache: which kept block a request gets decides how much fresh memory a
// batch touches.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/Handle.h"

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

TEST(BlockCache, AFreshBlockHasRoomForASomewhatLargerNextPictureUnlessItIsTooLargeToKeep) {
  ReleaseCachedBlocks();
  void* first = AllocateBlock(10 * kMB);
  ASSERT_TRUE(first);
  std::memset(first, 1, 10 * kMB);
  FreeBlock(first);
  // The next photo is 1.5 times as large: it reuses the block and touches only its extra pages.
  void* next = AllocateBlock(15 * kMB);
  ASSERT_TRUE(next);
  EXPECT_EQ(first, next);
  std::memset(next, 2, 15 * kMB);
  FreeBlock(next);
  ReleaseCachedBlocks();

  // A block of more than half of what a thread may keep gets no room: kept, it serves a request
  // of its own size but not a larger one, which gets a fresh block.
  const size_t large = (sizeof(void*) == 4 ? 130 : 260) * kMB;
  void* whole = AllocateBlock(large);
  ASSERT_TRUE(whole);
  FreeBlock(whole);
  EXPECT_EQ(large, CachedBlockBytes());
  void* larger = AllocateBlock(large + kMB);
  ASSERT_TRUE(larger);
  EXPECT_NE(whole, larger);
  FreeBlock(larger);
  ReleaseCachedBlocks();
}

namespace {

// A thread that keeps as many freed blocks of `size` bytes as its allowance takes, tells the test
// so, and gives them back when the test says.
struct CKeepingThread {
  size_t size;
  CHandle kept{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  CHandle giveBack{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  size_t keptBytes = 0;

  static DWORD WINAPI Run(void* self) {
    CKeepingThread& thread = *static_cast<CKeepingThread*>(self);
    std::vector<void*> blocks;
    for (int i = 0; i < 8; ++i) blocks.push_back(AllocateBlock(thread.size));
    for (void* block : blocks) FreeBlock(block);
    thread.keptBytes = CachedBlockBytes();
    SetEvent(thread.kept.Get());
    WaitForSingleObject(thread.giveBack.Get(), INFINITE);
    ReleaseCachedBlocks();
    return 0;
  }
};

}  // namespace

TEST(BlockCache, WhatAllThreadsKeepStaysWithinOneThreadsAllowance) {
  // However many threads load pictures, the blocks they keep for reuse add up to no more than
  // one thread may keep: another thread's freed block is given back while the first keeps its
  // full share, and kept again once the first has returned its blocks.
  ReleaseCachedBlocks();
  const size_t size = 40 * kMB;
  CKeepingThread keeper{size};
  CHandle thread(CreateThread(nullptr, 0, CKeepingThread::Run, &keeper, 0, nullptr));
  ASSERT_TRUE(thread.IsValid());
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(keeper.kept.Get(), 60000));
  EXPECT_GE(keeper.keptBytes, 2 * size);

  void* block = AllocateBlock(size);
  ASSERT_TRUE(block);
  FreeBlock(block);
  EXPECT_EQ(0u, CachedBlockBytes());

  SetEvent(keeper.giveBack.Get());
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread.Get(), 60000));
  block = AllocateBlock(size);
  ASSERT_TRUE(block);
  FreeBlock(block);
  EXPECT_GE(CachedBlockBytes(), size);
  ReleaseCachedBlocks();
}
