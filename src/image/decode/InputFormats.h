// The picture formats the program reads: one row per decoder of its own and per format family
// that GDI+ reads for it, each with the file-name extensions a folder listing takes for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/PixelBuffers.h"

struct InputFormat {
  const wchar_t* name;  // the format or family, for the reader of the table
  // The program's own decoder on plain buffers: its signature test of the file's first bytes and
  // its decode. Both null for a family that GDI+ decodes: every file that no row's test accepts
  // goes to GDI+.
  bool (*matches)(const uint8_t* data, size_t size);
  DecodeStatus (*decode)(const uint8_t* data, size_t size, BgraCanvas* canvas);
  // It tells the canvas the stored size first and hands over its rows top to bottom through
  // BgraCanvas::Row and Written, so that shrinks can be made while it decodes.
  bool streams;
  // Its files' extensions, lower case, without the dot, separated by blanks. They only choose
  // which files of a dropped folder are offered to the decoders: a file's signature, never its
  // name, chooses the decoder.
  const wchar_t* extensions;
};

// The first row, in the table's order, whose decoder's signature test accepts `data`; null when
// none does, and GDI+ is to decode it.
const InputFormat* FindPlainDecoder(const uint8_t* data, size_t size);

// The extensions of every row, lower case and without the dot: the files a folder listing takes.
std::vector<std::wstring> PictureExtensions();
