// libjpeg's memory hooks, in place of the library's plain malloc ones: its large blocks (the
// coefficient arrays of a progressive photo run to tens of megabytes) come from the thread's block
// cache, so the next photo of a batch reuses memory already touched. There is no backing store:
// everything is kept in memory, as the library's own hooks do.
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <jerror.h>

#include "image/BlockCache.h"

extern "C" {

struct backing_store_struct;

void* jpeg_get_small(j_common_ptr, size_t size) {
  return std::malloc(size);
}

void jpeg_free_small(j_common_ptr, void* object, size_t) {
  std::free(object);
}

void* jpeg_get_large(j_common_ptr, size_t size) {
  return AllocateBlock(size);
}

void jpeg_free_large(j_common_ptr, void* object, size_t) {
  FreeBlock(object);
}

size_t jpeg_mem_available(j_common_ptr, size_t, size_t maxBytesNeeded, size_t) {
  return maxBytesNeeded;
}

void jpeg_open_backing_store(j_common_ptr cinfo, backing_store_struct*, long) {
  ERREXIT(cinfo, JERR_NO_BACKING_STORE);
}

long jpeg_mem_init(j_common_ptr) {
  return 0;
}

void jpeg_mem_term(j_common_ptr) {}

}  // extern "C"
