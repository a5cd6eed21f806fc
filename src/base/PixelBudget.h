// The program's limit on what one decode holds (plain, so the codecs judge their own parts by it).
#pragma once

#include <cstdint>

// The largest picture a decode may hold, in pixels. Its peak working set is about 12 bytes per
// pixel (the decoded picture, a flattened copy and the encoder's buffers, or a progressive JPEG's
// coefficients while decoding), so 160 megapixels stay under 2 GB: within reach of the 32-bit
// program's address space. It bounds what is held, not what is stored: a one-scan JPEG of any
// size is taken when its shrinks let it be decoded at a reduced scale or streamed, while a
// picture whose decoder holds something for every stored pixel (a progressive JPEG, PNG, HEIF,
// WebP, the GDI+ formats) must be within it whole; so must what a decoder holds at once of a picture
// it makes in parts (a HEIF grid's strip of tiles). Larger pictures are refused before anything
// large is allocated, with HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY), on both builds alike.
const uint64_t kPixelBudget = 160000000;
