// The output format of one profile (PNG, or JPEG or WebP with a quality number) and the table of the
// formats the program writes: one row per format, read by the saver, the output names, the task's
// background and palette steps, the panel's format buttons and quality field, and the command line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PixelRows;

struct SaveFormat {
  enum { Png = 0, Jpeg = 1, Webp = 2 };
  int32_t Type = Png;        // the `type` of a row of the format table; a value no row names is PNG
  // The quality of every lossy format (JPEG and WebP share it, and the panel's one field): its
  // name is the registry value's, from the time JPEG was the only one. 0..100 (base/OutputQuality.h).
  int32_t JpegQuality = 80;
};

// One format the program writes.
struct OutputFormat {
  int32_t type;              // the SaveFormat::Type value that chooses this row
  const wchar_t* extension;  // of the output file's name, without the dot
  // What chooses it on the command line: the option "--" followed by this (and "=Q" for a quality
  // when the row uses one). Null for the first row, which a command line naming none gets.
  const wchar_t* keyword;
  // SaveFormat::JpegQuality reaches its encoder: the panel's quality field is enabled for it.
  bool usesQuality;
  // Encodes a 32-bit BGRA picture; `quality` is SaveFormat::JpegQuality, for formats that use it.
  bool (*encode)(const PixelRows& rows, int quality, std::vector<uint8_t>* out);
  // Encodes an 8-bit picture with its 256-entry B, G, R, A palette; null for a format that has
  // no indexed form, which then refuses 8-bit pictures.
  bool (*encodeIndexed)(const PixelRows& rows, const uint8_t (*palette)[4], std::vector<uint8_t>* out);
  bool keepsTransparency;  // a profile's "transparent" choice skips the background colour
  bool triesPalette;       // an 8-bit picture is tried before the 32-bit one is written
  // The highest quality number at which the output cannot show that a JPEG source was decoded
  // keeping only one and a half times its size instead of twice (-1: at none). Measured on photos
  // for JPEG: up to 80 the outputs change by at most 0.1 dB; at 90 by up to 0.3 dB, at 95 by 0.6.
  int32_t smallerDecodeQuality;
};

// The rows of the table, in its order: the panel's format buttons show them in it. The first
// (PNG) is the one a type that no row names gets.
size_t OutputFormatCount();
const OutputFormat& OutputFormatAt(size_t index);

// The row chosen by `type`; the first row for a value that no row names.
const OutputFormat& FindOutputFormat(int32_t type);
// The row chosen by `format.Type`, as above.
const OutputFormat& FindOutputFormat(const SaveFormat& format);
// The row whose command-line keyword is `keyword` (compared exactly); null when none has it.
const OutputFormat* FindOutputFormatByKeyword(const std::wstring& keyword);

// The row's extension, as FindOutputFormat chooses it: "jpg" for JPEG, "webp" for WebP, "png"
// otherwise.
const wchar_t* GetExtension(const SaveFormat& format);
