// The date a photo was taken, as EXIF records it: read from a source file's EXIF block, and
// written as a minimal EXIF block of its own into an output (plain buffers only).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The ASCII values of the EXIF IFD's date tags, as stored (without their terminating zero);
// empty for a tag the block does not hold.
struct ExifDate {
  std::string original;          // DateTimeOriginal (0x9003), "YYYY:MM:DD HH:MM:SS"
  std::string digitized;         // DateTimeDigitized (0x9004)
  std::string offsetOriginal;    // OffsetTimeOriginal (0x9011), "+09:00"
  std::string offsetDigitized;   // OffsetTimeDigitized (0x9012)
  std::string subSecOriginal;    // SubSecTimeOriginal (0x9291)
  std::string subSecDigitized;   // SubSecTimeDigitized (0x9292)

  bool IsEmpty() const { return original.empty() && digitized.empty(); }
};

// The dates of a TIFF-structured EXIF block (IFD0 and its EXIF IFD, either byte order). Reads
// only within [data, data + size); a malformed block gives what was read before the damage.
ExifDate ReadExifDate(const uint8_t* data, size_t size);

// The TIFF-structured EXIF block of a file: a JPEG's APP1 "Exif" segment, a PNG's eXIf chunk, a
// WebP's EXIF chunk (with or without the JPEG segment's "Exif\0\0" in front), or a TIFF file
// whole; false when the file has none (HEIF and AVIF: ReadHeifExifBlock). `*block` points into
// the file.
bool FindExifBlock(const uint8_t* file, size_t size, const uint8_t** block, size_t* blockSize);

// A little-endian EXIF block that holds Orientation 1 in IFD0 and the dates of `date` in its
// EXIF IFD, and nothing else; empty when `date` is empty.
std::vector<uint8_t> BuildExifBlock(const ExifDate& date);

// The encoded output `file` with `block` put in: a JPEG APP1 segment after the first segments
// (SOI and JFIF's APP0), a PNG eXIf chunk after IHDR, a WebP EXIF chunk (the container made
// extended when it was simple). False for a file of none of these or a block too large.
bool InsertExifBlock(std::vector<uint8_t>* file, const std::vector<uint8_t>& block, uint32_t width, uint32_t height);
