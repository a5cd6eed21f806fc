// HEIF (HEIC, the photos of phones) and AVIF decoding through libheif, on plain buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/PixelBuffers.h"

// An ISO base media file whose ftyp box names an image brand of HEIF or AVIF, as its major brand
// or among its compatible ones (heic, heix, hevc, mif1, avif, avis, ...).
bool IsHeifSignature(const uint8_t* data, size_t size);

// Decodes the primary image into straight-alpha BGRA, upright: its rotation, mirroring and clean
// aperture applied once (so the canvas is told orientation 1 and never turns it again), alpha
// kept, 10- and 12-bit samples rounded to 8 bits. A grid (how phones store their photos) is made
// from its stored tiles a strip at a time, turned as it goes, anything else decoded whole; either
// way rows are handed over top to bottom through Row and Written. The canvas is asked (Prepare,
// then Begin) before any pixel memory is allocated, and told the file's colour description
// before Finish. A grid whose strip of tiles alone exceeds kPixelBudget is OutOfMemory.
DecodeStatus DecodeHeif(const uint8_t* data, size_t size, BgraCanvas* canvas);

// The TIFF-structured EXIF block of the primary picture of a HEIF or AVIF file (its Exif item,
// from the TIFF header the item points to); false when the file has none, or is not one that
// DecodeHeif would read. Never throws.
bool ReadHeifExifBlock(const uint8_t* data, size_t size, std::vector<uint8_t>* block);
