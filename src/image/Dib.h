// CDib: the one in-memory picture between decoding and encoding. A BITMAPINFOHEADER (or V5)
// block with its colour table, and a block of bottom-up pixel rows; both owned by the object.
// CDibSection backs the rows with a GDI DIB section so a device context can draw into them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include <boost/shared_ptr.hpp>

#include "base/PixelBuffers.h"

// Colour-space tags of a version-5 header (the SDK spells them as multi-character constants).
const DWORD kColorSpaceEmbedded = 0x4D424544;  // PROFILE_EMBEDDED
const DWORD kColorSpaceSrgb = 0x73524742;      // LCS_sRGB

// Number of colour-table entries the header announces.
UINT CalcColorCount(const BITMAPINFOHEADER& header);
// Bytes of the header block: header, colour table (or the end of an embedded V5 profile).
size_t CalcHeaderSize(const BITMAPINFOHEADER& header);
// Row stride in bytes, rounded up to 4; false when the width is negative or the stride overflows.
bool CalcStride(LONG width, WORD bitCount, size_t* stride);
// Bytes of pixel storage; false when a dimension is negative or the size would not fit in size_t.
bool CalcBitsSize(const BITMAPINFOHEADER& header, size_t* size);

class CDib {
public:
  CDib();
  virtual ~CDib();
  CDib(const CDib&) = delete;
  CDib& operator=(const CDib&) = delete;

  virtual bool CreateFromHeader(const BITMAPINFO* info);
  virtual bool CreateV5(LONG width, LONG height, WORD bitCount, DWORD clrUsed, DWORD compression,
                        DWORD profileSize);
  virtual void DestroyHeader();
  virtual bool AllocBits();
  virtual void DestroyBits();

  bool Create(LONG width, LONG height, WORD bitCount, DWORD clrUsed, DWORD compression);
  void ClearBits();

  BITMAPINFOHEADER* GetHeader() const { return reinterpret_cast<BITMAPINFOHEADER*>(m_header); }
  BYTE* GetBits() const { return m_bits; }
  bool IsValid() const { return m_header != nullptr && m_bits != nullptr; }

  // Storage size, 0 without a header or when it cannot be represented.
  size_t GetBitsSize() const;
  LONG Width() const { return m_header ? GetHeader()->biWidth : 0; }
  LONG Height() const { return m_header ? GetHeader()->biHeight : 0; }
  WORD BitCount() const { return m_header ? GetHeader()->biBitCount : 0; }
  size_t Stride() const;
  RGBQUAD* ColorTable() const;
  // Row y counted from the top of the picture (rows are stored bottom-up).
  BYTE* TopRow(LONG y) const { return m_bits + static_cast<size_t>(Height() - 1 - y) * Stride(); }
  // The pixel rows as a top-down view for the pixel kernels and codecs.
  PixelRows Rows() const;

protected:
  BYTE* m_header = nullptr;
  BYTE* m_bits = nullptr;

private:
  bool CreateHeaderBlock(DWORD headerSize, LONG width, LONG height, WORD bitCount, DWORD clrUsed,
                         DWORD compression, DWORD extraBytes);
};

class CDibSection : public CDib {
public:
  CDibSection() = default;
  ~CDibSection() override;

  bool AllocBits() override;
  void DestroyBits() override;

  // Turns straight alpha into premultiplied alpha, as GDI's AlphaBlend expects (32-bit only).
  void PremultiplyAlpha();
  HBITMAP GetBitmap() const { return m_bitmap; }

private:
  HBITMAP m_bitmap = nullptr;
};

typedef boost::shared_ptr<CDib> CDibPtr;
