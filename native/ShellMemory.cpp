// The shell allocator of item identifier lists where there is no shell: the C heap. The Windows
// build maps the same two functions on the task allocator (app/drop/DropData.cpp).
#include <cstdlib>

#include "base/ItemIdList.h"

void* ShellAlloc(size_t size) {
  return std::malloc(size);
}

void ShellFree(void* block) {
  std::free(block);
}
