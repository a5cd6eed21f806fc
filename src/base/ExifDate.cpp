// EXIF dates: a small reader of IFD0 and its EXIF IFD, a writer of a minimal block, and where a
// block lies in (and goes into) a JPEG, PNG or WebP file.
#include "base/ExifDate.h"

#include <cstring>

#include "base/ByteOrder.h"
#include "base/TiffReader.h"

namespace {

const uint32_t kExifIfdTag = 0x8769;
const uint32_t kOrientationTag = 0x0112;
const uint32_t kTypeAscii = 2;
const uint32_t kTypeShort = 3;
const uint32_t kTypeLong = 4;
// An ASCII value longer than any date tag holds is not one.
const uint32_t kLongestValue = 64;

// An ASCII entry's text, up to its first zero; false for another type or a value outside.
bool AsciiValue(const TiffReader& tiff, size_t entry, std::string* out) {
  uint32_t type = 0, count = 0, offset = 0;
  if (!tiff.U16(entry + 2, &type) || !tiff.U32(entry + 4, &count) || type != kTypeAscii || count == 0 ||
      count > kLongestValue) {
    return false;
  }
  size_t at = entry + 8;
  if (count > 4) {
    if (!tiff.U32(entry + 8, &offset)) return false;
    at = offset;
  }
  if (at > tiff.size || tiff.size - at < count) return false;
  const char* text = reinterpret_cast<const char*>(tiff.data + at);
  // At most kLongestValue - 1 characters, so that the block written of it holds them with
  // their zero.
  out->assign(text, strnlen(text, count < kLongestValue ? count : kLongestValue - 1));
  return true;
}

// The entries of the IFD at `ifd`, each handed to `visit(tag, entryOffset)`.
template <class Visit>
void ForEachEntry(const TiffReader& tiff, uint32_t ifd, Visit visit) {
  uint32_t count = 0;
  if (!tiff.U16(ifd, &count)) return;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t entry = static_cast<size_t>(ifd) + 2 + 12 * static_cast<size_t>(i);
    uint32_t tag = 0;
    if (!tiff.U16(entry, &tag) || entry + 12 > tiff.size) return;
    visit(tag, entry);
  }
}

void PutLe16(std::vector<uint8_t>* out, uint32_t value) {
  out->push_back(static_cast<uint8_t>(value));
  out->push_back(static_cast<uint8_t>(value >> 8));
}

void PutLe32(std::vector<uint8_t>* out, uint32_t value) {
  PutLe16(out, value & 0xFFFF);
  PutLe16(out, value >> 16);
}

void PutBe32(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value >> 24);
  at[1] = static_cast<uint8_t>(value >> 16);
  at[2] = static_cast<uint8_t>(value >> 8);
  at[3] = static_cast<uint8_t>(value);
}

void SetLe32(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
  at[2] = static_cast<uint8_t>(value >> 16);
  at[3] = static_cast<uint8_t>(value >> 24);
}

void SetLe24(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
  at[2] = static_cast<uint8_t>(value >> 16);
}

// PNG's CRC-32 (ISO 3309), over the chunk's type and data.
uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

const uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool IsWebp(const uint8_t* file, size_t size) {
  return size >= 12 && std::memcmp(file, "RIFF", 4) == 0 && std::memcmp(file + 8, "WEBP", 4) == 0;
}

bool FindInJpeg(const uint8_t* file, size_t size, const uint8_t** block, size_t* blockSize) {
  size_t at = 2;
  // Markers up to the first scan; APP1 segments that are not EXIF (XMP) are passed.
  while (at + 4 <= size && file[at] == 0xFF) {
    const uint8_t marker = file[at + 1];
    if (marker == 0xDA || marker == 0xD9) return false;
    const size_t length = ReadBe16(file + at + 2);
    if (length < 2 || length > size - at - 2) return false;
    if (marker == 0xE1 && length >= 2 + 6 && std::memcmp(file + at + 4, kExifHeader, 6) == 0) {
      *block = file + at + 4 + 6;
      *blockSize = length - 2 - 6;
      return true;
    }
    at += 2 + length;
  }
  return false;
}

bool FindInPng(const uint8_t* file, size_t size, const uint8_t** block, size_t* blockSize) {
  size_t at = 8;
  while (at + 12 <= size) {
    const size_t length = ReadBe32(file + at);
    if (length > size - at - 12) return false;
    if (std::memcmp(file + at + 4, "eXIf", 4) == 0) {
      *block = file + at + 8;
      *blockSize = length;
      return true;
    }
    if (std::memcmp(file + at + 4, "IEND", 4) == 0) return false;
    at += 12 + length;
  }
  return false;
}

bool FindInWebp(const uint8_t* file, size_t size, const uint8_t** block, size_t* blockSize) {
  size_t at = 12;
  while (at + 8 <= size) {
    const size_t length = ReadLe32(file + at + 4);
    if (length > size - at - 8) return false;
    if (std::memcmp(file + at, "EXIF", 4) == 0) {
      const uint8_t* bytes = file + at + 8;
      // Some writers put the JPEG segment's header in front.
      if (length >= 6 && std::memcmp(bytes, kExifHeader, 6) == 0) {
        *block = bytes + 6;
        *blockSize = length - 6;
      } else {
        *block = bytes;
        *blockSize = length;
      }
      return true;
    }
    at += 8 + length + (length & 1);
  }
  return false;
}

}  // namespace

ExifDate ReadExifDate(const uint8_t* data, size_t size) {
  ExifDate date;
  TiffReader tiff;
  if (!TiffReader::Open(data, size, &tiff)) return date;
  uint32_t ifd0 = 0, exifIfd = 0;
  if (!tiff.U32(4, &ifd0)) return date;
  ForEachEntry(tiff, ifd0, [&](uint32_t tag, size_t entry) {
    uint32_t type = 0;
    if (tag == kExifIfdTag && tiff.U16(entry + 2, &type) && type == kTypeLong) tiff.U32(entry + 8, &exifIfd);
  });
  // IFD0 itself is no EXIF IFD: a pointer back to it would read its tags twice, harmlessly.
  if (exifIfd == 0) return date;
  ForEachEntry(tiff, exifIfd, [&](uint32_t tag, size_t entry) {
    switch (tag) {
      case 0x9003: AsciiValue(tiff, entry, &date.original); break;
      case 0x9004: AsciiValue(tiff, entry, &date.digitized); break;
      case 0x9011: AsciiValue(tiff, entry, &date.offsetOriginal); break;
      case 0x9012: AsciiValue(tiff, entry, &date.offsetDigitized); break;
      case 0x9291: AsciiValue(tiff, entry, &date.subSecOriginal); break;
      case 0x9292: AsciiValue(tiff, entry, &date.subSecDigitized); break;
      default: break;
    }
  });
  return date;
}

bool FindExifBlock(const uint8_t* file, size_t size, const uint8_t** block, size_t* blockSize) {
  if (!file) return false;
  if (size >= 4 && file[0] == 0xFF && file[1] == 0xD8) return FindInJpeg(file, size, block, blockSize);
  if (size >= 8 && std::memcmp(file, kPngSignature, 8) == 0) return FindInPng(file, size, block, blockSize);
  if (IsWebp(file, size)) return FindInWebp(file, size, block, blockSize);
  // A TIFF file is TIFF-structured itself: its IFD0 points to the EXIF IFD as a camera's block's
  // does, with offsets from the file's start.
  if (size >= 8 && (std::memcmp(file, "II*\0", 4) == 0 || std::memcmp(file, "MM\0*", 4) == 0)) {
    *block = file;
    *blockSize = size;
    return true;
  }
  return false;
}

std::vector<uint8_t> BuildExifBlock(const ExifDate& date) {
  std::vector<uint8_t> out;
  if (date.IsEmpty()) return out;
  const struct {
    uint32_t tag;
    const std::string* value;
  } tags[] = {{0x9003, &date.original},       {0x9004, &date.digitized},
              {0x9011, &date.offsetOriginal}, {0x9012, &date.offsetDigitized},
              {0x9291, &date.subSecOriginal}, {0x9292, &date.subSecDigitized}};
  uint32_t count = 0;
  for (const auto& t : tags) count += t.value->empty() ? 0 : 1;
  // Header, IFD0 (2 entries), the EXIF IFD (`count` entries), then the values longer than four
  // bytes, each with its zero.
  const uint32_t ifd0 = 8, exifIfd = ifd0 + 2 + 2 * 12 + 4;
  uint32_t values = exifIfd + 2 + count * 12 + 4;
  out.insert(out.end(), {'I', 'I', 42, 0});
  PutLe32(&out, ifd0);
  PutLe16(&out, 2);
  PutLe16(&out, kOrientationTag);  // the pixels are already turned upright
  PutLe16(&out, kTypeShort);
  PutLe32(&out, 1);
  PutLe32(&out, 1);
  PutLe16(&out, kExifIfdTag);
  PutLe16(&out, kTypeLong);
  PutLe32(&out, 1);
  PutLe32(&out, exifIfd);
  PutLe32(&out, 0);  // no IFD1: no thumbnail
  PutLe16(&out, count);
  std::vector<uint8_t> data;
  for (const auto& t : tags) {
    if (t.value->empty()) continue;
    const uint32_t length = static_cast<uint32_t>(t.value->size()) + 1;
    PutLe16(&out, t.tag);
    PutLe16(&out, kTypeAscii);
    PutLe32(&out, length);
    if (length <= 4) {
      uint8_t inline_[4] = {};
      std::memcpy(inline_, t.value->data(), t.value->size());
      out.insert(out.end(), inline_, inline_ + 4);
    } else {
      PutLe32(&out, values + static_cast<uint32_t>(data.size()));
      data.insert(data.end(), t.value->begin(), t.value->end());
      data.push_back(0);
      if (data.size() & 1) data.push_back(0);  // values start on word boundaries
    }
  }
  PutLe32(&out, 0);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

bool InsertExifBlock(std::vector<uint8_t>* file, const std::vector<uint8_t>& block, uint32_t width, uint32_t height) {
  std::vector<uint8_t>& f = *file;
  if (block.empty()) return true;
  if (f.size() >= 4 && f[0] == 0xFF && f[1] == 0xD8) {
    if (block.size() + 2 + 6 > 0xFFFF) return false;
    size_t at = 2;
    if (f.size() >= at + 4 && f[at] == 0xFF && f[at + 1] == 0xE0) at += 2 + ReadBe16(&f[at + 2]);
    if (at > f.size()) return false;
    std::vector<uint8_t> segment = {0xFF, 0xE1, 0, 0};
    segment[2] = static_cast<uint8_t>((block.size() + 8) >> 8);
    segment[3] = static_cast<uint8_t>(block.size() + 8);
    segment.insert(segment.end(), kExifHeader, kExifHeader + 6);
    segment.insert(segment.end(), block.begin(), block.end());
    f.insert(f.begin() + static_cast<ptrdiff_t>(at), segment.begin(), segment.end());
    return true;
  }
  if (f.size() >= 33 && std::memcmp(f.data(), kPngSignature, 8) == 0) {
    const size_t afterHeader = 8 + 12 + ReadBe32(&f[8]);  // IHDR comes first
    if (afterHeader > f.size() || block.size() > 0x7FFFFFFF) return false;
    std::vector<uint8_t> chunk(8 + block.size() + 4);
    PutBe32(&chunk[0], static_cast<uint32_t>(block.size()));
    std::memcpy(&chunk[4], "eXIf", 4);
    std::memcpy(&chunk[8], block.data(), block.size());
    PutBe32(&chunk[8 + block.size()], Crc32(&chunk[4], 4 + block.size()));
    f.insert(f.begin() + static_cast<ptrdiff_t>(afterHeader), chunk.begin(), chunk.end());
    return true;
  }
  if (IsWebp(f.data(), f.size()) && f.size() >= 20 && width >= 1 && height >= 1 && width <= (1u << 24) &&
      height <= (1u << 24)) {
    if (std::memcmp(&f[12], "VP8X", 4) != 0) {
      // A simple file becomes an extended one: a VP8X chunk with the canvas's size first.
      std::vector<uint8_t> vp8x(18, 0);
      std::memcpy(&vp8x[0], "VP8X", 4);
      SetLe32(&vp8x[4], 10);
      SetLe24(&vp8x[12], width - 1);
      SetLe24(&vp8x[15], height - 1);
      f.insert(f.begin() + 12, vp8x.begin(), vp8x.end());
    }
    f[20] |= 0x08;  // the EXIF flag
    std::vector<uint8_t> chunk(8);
    std::memcpy(&chunk[0], "EXIF", 4);
    SetLe32(&chunk[4], static_cast<uint32_t>(block.size()));
    chunk.insert(chunk.end(), block.begin(), block.end());
    if (block.size() & 1) chunk.push_back(0);
    f.insert(f.end(), chunk.begin(), chunk.end());
    SetLe32(&f[4], static_cast<uint32_t>(f.size() - 8));
    return true;
  }
  return false;
}
