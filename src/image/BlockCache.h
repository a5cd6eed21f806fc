// Reuse of large memory blocks within one thread. The first touch of fresh memory costs about a
// millisecond per megabyte on this platform, which is as much as decoding; a batch of pictures
// allocates and frees blocks of similar sizes over and over, so the thread keeps a few freed ones
// for the next picture. A thread that has used the pipeline returns what it keeps before it ends
// (ReleaseThreadImageBuffers in image/decode/LoadDib.h).
#pragma once

#include <cstddef>

// A 16-byte aligned block of at least `size` bytes (contents undefined), or null.
void* AllocateBlock(size_t size);
// Gives back a block from AllocateBlock (null is ignored); large ones are kept for reuse.
void FreeBlock(void* block);
// Returns every block the calling thread keeps.
void ReleaseCachedBlocks();
// The bytes of the blocks the calling thread keeps.
size_t CachedBlockBytes();
