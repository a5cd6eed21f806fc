// The shell allocator of item identifier lists: the task allocator, as the shell's own lists
// use, so that lists made here and lists made by the shell are freed the same way.
#include <objbase.h>

#include "base/ItemIdList.h"

void* ShellAlloc(size_t size) {
  return CoTaskMemAlloc(size);
}

void ShellFree(void* block) {
  CoTaskMemFree(block);
}
