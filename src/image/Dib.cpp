// Header arithmetic and storage of CDib and CDibSection.
#include "image/Dib.h"

#include "base/CheckedMath.h"

#include "image/BlockCache.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

const DWORD kV5HeaderSize = sizeof(BITMAPV5HEADER);  // 124
const DWORD kInfoHeaderSize = sizeof(BITMAPINFOHEADER);  // 40

}  // namespace

UINT CalcColorCount(const BITMAPINFOHEADER& header) {
  if (header.biCompression == BI_BITFIELDS) return 3;
  if (header.biBitCount > 8) return 0;
  if (header.biClrUsed != 0) return header.biClrUsed;
  return 1u << header.biBitCount;
}

size_t CalcHeaderSize(const BITMAPINFOHEADER& header) {
  const size_t withColors = header.biSize + 4 * static_cast<size_t>(CalcColorCount(header));
  if (header.biSize >= kV5HeaderSize) {
    // The profile's offset counts from the start of the block, so the colour table before it is
    // already inside that offset: the block ends where the later of the two ends.
    const BITMAPV5HEADER& v5 = reinterpret_cast<const BITMAPV5HEADER&>(header);
    if (v5.bV5CSType == kColorSpaceEmbedded && v5.bV5ProfileSize != 0) {
      const size_t profileEnd = static_cast<size_t>(v5.bV5ProfileData) + v5.bV5ProfileSize;
      return profileEnd > withColors ? profileEnd : withColors;
    }
  }
  return withColors;
}

bool CalcStride(LONG width, WORD bitCount, size_t* stride) {
  if (width < 0) return false;
  size_t bits;
  if (!MultiplyFits(static_cast<size_t>(width), bitCount, &bits)) return false;
  if (bits > std::numeric_limits<size_t>::max() - 31) return false;
  *stride = ((bits + 7) / 8 + 3) & ~static_cast<size_t>(3);
  return true;
}

bool CalcBitsSize(const BITMAPINFOHEADER& header, size_t* size) {
  if (header.biCompression != BI_RGB) {
    *size = header.biSizeImage;
    return true;
  }
  if (header.biHeight < 0) return false;
  size_t stride;
  if (!CalcStride(header.biWidth, header.biBitCount, &stride)) return false;
  return MultiplyFits(stride, static_cast<size_t>(header.biHeight), size);
}

CDib::CDib() = default;

CDib::~CDib() {
  DestroyHeader();
  // Calls CDib's own DestroyBits; CDibSection frees its section in its own destructor first.
  DestroyBits();
}

bool CDib::CreateFromHeader(const BITMAPINFO* info) {
  DestroyHeader();
  if (!info) return false;
  size_t size = CalcHeaderSize(info->bmiHeader);
  m_header = static_cast<BYTE*>(std::malloc(size ? size : 1));
  if (!m_header) return false;
  std::memcpy(m_header, info, size);
  return true;
}

bool CDib::CreateHeaderBlock(DWORD headerSize, LONG width, LONG height, WORD bitCount,
                             DWORD clrUsed, DWORD compression, DWORD extraBytes) {
  DestroyHeader();
  BITMAPINFOHEADER probe = {};
  probe.biBitCount = bitCount;
  probe.biClrUsed = clrUsed;
  probe.biCompression = compression;
  UINT colors = CalcColorCount(probe);
  size_t size = headerSize + 4 * static_cast<size_t>(colors) + extraBytes;
  m_header = static_cast<BYTE*>(std::calloc(1, size));
  if (!m_header) return false;
  BITMAPINFOHEADER* h = GetHeader();
  h->biSize = headerSize;
  h->biWidth = width;
  h->biHeight = height;
  h->biPlanes = 1;
  h->biBitCount = bitCount;
  h->biCompression = compression;
  h->biClrUsed = h->biClrImportant = colors;
  if (compression == BI_BITFIELDS) {
    size_t stride = 0;
    if (CalcStride(width, bitCount, &stride) && height >= 0) {
      h->biSizeImage = static_cast<DWORD>(stride * static_cast<size_t>(height));
    }
  }
  if (bitCount == 8 && colors == 256) {
    RGBQUAD* table = reinterpret_cast<RGBQUAD*>(m_header + headerSize);
    for (int i = 0; i < 256; ++i) {
      table[i].rgbBlue = table[i].rgbGreen = table[i].rgbRed = static_cast<BYTE>(i);
      table[i].rgbReserved = 0;
    }
  }
  return true;
}

bool CDib::Create(LONG width, LONG height, WORD bitCount, DWORD clrUsed, DWORD compression) {
  return CreateHeaderBlock(kInfoHeaderSize, width, height, bitCount, clrUsed, compression, 0);
}

bool CDib::CreateV5(LONG width, LONG height, WORD bitCount, DWORD clrUsed, DWORD compression,
                    DWORD profileSize) {
  if (!CreateHeaderBlock(kV5HeaderSize, width, height, bitCount, clrUsed, compression, profileSize)) {
    return false;
  }
  BITMAPV5HEADER* v5 = reinterpret_cast<BITMAPV5HEADER*>(m_header);
  if (profileSize != 0) {
    v5->bV5ProfileData = kV5HeaderSize + 4 * CalcColorCount(*GetHeader());
    v5->bV5ProfileSize = profileSize;
    v5->bV5CSType = kColorSpaceEmbedded;
  } else {
    v5->bV5CSType = kColorSpaceSrgb;
  }
  return true;
}

void CDib::DestroyHeader() {
  std::free(m_header);
  m_header = nullptr;
}

bool CDib::AllocBits() {
  if (!m_header) return false;
  size_t size = 0;
  if (!CalcBitsSize(*GetHeader(), &size)) return false;
  DestroyBits();
  m_bits = static_cast<BYTE*>(AllocateBlock(size ? size : 1));
  return m_bits != nullptr;
}

void CDib::DestroyBits() {
  FreeBlock(m_bits);
  m_bits = nullptr;
}

void CDib::ClearBits() {
  if (m_bits) std::memset(m_bits, 0, GetBitsSize());
}

size_t CDib::GetBitsSize() const {
  size_t size = 0;
  if (!m_header || !CalcBitsSize(*GetHeader(), &size)) return 0;
  return size;
}

size_t CDib::Stride() const {
  size_t stride = 0;
  if (m_header) CalcStride(GetHeader()->biWidth, GetHeader()->biBitCount, &stride);
  return stride;
}

PixelRows CDib::Rows() const {
  PixelRows rows;
  if (!IsValid()) return rows;
  rows.width = static_cast<uint32_t>(Width());
  rows.height = static_cast<uint32_t>(Height());
  rows.top = TopRow(0);
  rows.stride = -static_cast<ptrdiff_t>(Stride());
  return rows;
}

RGBQUAD* CDib::ColorTable() const {
  if (!m_header || CalcColorCount(*GetHeader()) == 0) return nullptr;
  return reinterpret_cast<RGBQUAD*>(m_header + GetHeader()->biSize);
}

CDibSection::~CDibSection() {
  DestroyBits();
}

bool CDibSection::AllocBits() {
  if (!m_header) return false;
  size_t size = 0;
  if (!CalcBitsSize(*GetHeader(), &size)) return false;
  DestroyBits();
  void* bits = nullptr;
  m_bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(m_header), DIB_RGB_COLORS,
                              &bits, nullptr, 0);
  if (!m_bitmap) return false;
  m_bits = static_cast<BYTE*>(bits);
  return true;
}

void CDibSection::DestroyBits() {
  if (m_bitmap) DeleteObject(m_bitmap);
  m_bitmap = nullptr;
  m_bits = nullptr;
}

void CDibSection::PremultiplyAlpha() {
  if (!IsValid() || BitCount() != 32) return;
  size_t stride = Stride();
  for (LONG y = 0; y < Height(); ++y) {
    BYTE* p = m_bits + static_cast<size_t>(y) * stride;
    for (LONG x = 0; x < Width(); ++x, p += 4) {
      p[0] = static_cast<BYTE>(p[0] * p[3] / 255);
      p[1] = static_cast<BYTE>(p[1] * p[3] / 255);
      p[2] = static_cast<BYTE>(p[2] * p[3] / 255);
    }
  }
}
