// libheif wrapper. The library is C++ behind a C interface and reports errors as values; its
// allocations may still throw through that interface, so the whole decode runs inside
// GuardedDecode, and the one callback it makes into us (cancel_decoding) cannot throw.
#include "image/codec/HeifCodec.h"

#include "base/Orientation.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include <libheif/heif.h>
#include <libheif/heif_properties.h>

namespace {

// The limits every context gets before it reads a file. libheif's defaults (a gigapixel, 512 MB
// blocks, 100 MB profiles) are sized for a 64-bit process; a hostile file within them could take
// a 32-bit one's whole address space before the canvas is even asked. Pictures up to 2^28
// pixels pass here and are judged by the canvas, which refuses what the program cannot hold.
void SetLimits(heif_context* context) {
  heif_security_limits* limits = heif_context_get_security_limits(context);
  limits->max_image_size_pixels = uint64_t(1) << 28;
  limits->max_number_of_tiles = 1 << 16;           // a 100-megapixel grid of 512-pixel tiles: 400
  limits->max_memory_block_size = uint64_t(1) << 30;  // an 8-bit RGBA plane of 2^28 pixels
  limits->max_color_profile_size = 4 << 20;        // ICC profiles are kilobytes, LUT ones < 1 MB
  limits->max_items = 1000;
  limits->max_components = 16;
}

struct ContextDeleter {
  void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleDeleter {
  void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageDeleter {
  void operator()(heif_image* image) const { heif_image_release(image); }
};
struct OptionsDeleter {
  void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};

// Called by libheif while it decodes, on the thread that decodes the tile (see DecodeTileRow). A
// canvas that throws counts as one that gave up.
int CancelDecoding(void* canvas) noexcept {
  try {
    return static_cast<const BgraCanvas*>(canvas)->Abandoned() ? 1 : 0;
  } catch (...) {
    return 1;
  }
}

bool IsImageBrand(const uint8_t* brand) {
  static const char kBrands[][5] = {
      "heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs",  // HEVC (HEIC)
      "mif1", "mif2", "msf1",                                            // HEIF structure brands
      "avif", "avis", "avio",                                            // AV1 (AVIF)
  };
  for (const char* known : kBrands) {
    if (std::memcmp(brand, known, 4) == 0) return true;
  }
  return false;
}

uint32_t ReadBe32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// The bytes of an ICC profile in a colr box (prof or rICC), or none.
std::vector<uint8_t> ReadProfile(const heif_image_handle* handle) {
  std::vector<uint8_t> icc;
  const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
  if (type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC) {
    const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
    if (size > 0) {
      icc.resize(size);
      if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok) icc.clear();
    }
  }
  return icc;
}

// The code points of the file's nclx box, or else those the coded stream carries (known once the
// image is decoded).
void ReadCodePoints(const heif_image_handle* handle, const heif_image* image, ColourDescription* colour) {
  heif_color_profile_nclx* nclx = nullptr;
  heif_error error = heif_image_handle_get_nclx_color_profile(handle, &nclx);
  if (error.code != heif_error_Ok && image) error = heif_image_get_nclx_color_profile(image, &nclx);
  if (error.code != heif_error_Ok || !nclx) return;
  colour->hasCodePoints = true;
  colour->colourPrimaries = static_cast<uint16_t>(nclx->color_primaries);
  colour->transferCharacteristics = static_cast<uint16_t>(nclx->transfer_characteristics);
  colour->matrixCoefficients = static_cast<uint16_t>(nclx->matrix_coefficients);
  colour->fullRange = nclx->full_range_flag != 0;
  heif_nclx_color_profile_free(nclx);
}

DecodeStatus StatusOf(const heif_error& error) {
  if (error.code == heif_error_Canceled) return DecodeStatus::Abandoned;
  if (error.code == heif_error_Memory_allocation_error) return DecodeStatus::OutOfMemory;
  return DecodeStatus::Undecodable;
}

// A sample of `bits` bits rounded to 8; values above the range (a damaged stream) clamp.
inline uint8_t To8(uint16_t value, uint32_t maximum) {
  if (value >= maximum) return 255;
  return static_cast<uint8_t>((value * 255u + maximum / 2) / maximum);
}

// A file may store its colours premultiplied by alpha (a prem reference); the canvas takes
// straight alpha.
void Unpremultiply(uint8_t* row, uint32_t width) {
  for (uint32_t x = 0; x < width; ++x, row += 4) {
    const unsigned a = row[3];
    if (a == 255) continue;
    for (int c = 0; c < 3; ++c) {
      const unsigned v = a == 0 ? 0 : (row[c] * 255u + a / 2) / a;
      row[c] = static_cast<uint8_t>(v > 255 ? 255 : v);
    }
  }
}

struct HighPlane {
  const uint8_t* bytes = nullptr;
  size_t stride = 0;
  size_t sampleBytes = 2;  // an alpha plane may stay at 8 bits beside colour of more
  uint32_t maximum = 0;
};

bool GetHighPlane(const heif_image* image, heif_channel channel, uint32_t width, uint32_t height,
                  HighPlane* plane) {
  int stride = 0;
  plane->bytes = heif_image_get_plane_readonly(image, channel, &stride);
  const int bits = heif_image_get_bits_per_pixel_range(image, channel);
  const int storage = heif_image_get_bits_per_pixel(image, channel);
  plane->sampleBytes = storage > 8 ? 2 : 1;
  if (!plane->bytes || stride < 0 || bits < 1 || bits > 16 || bits > storage || storage > 16 ||
      heif_image_get_width(image, channel) < static_cast<int>(width) ||
      heif_image_get_height(image, channel) < static_cast<int>(height) ||
      static_cast<size_t>(stride) / plane->sampleBytes < width) {
    return false;
  }
  plane->stride = static_cast<size_t>(stride);
  plane->maximum = (uint32_t(1) << bits) - 1;
  return true;
}

// The pixels of a decoded image (the whole picture or one tile) read as BGRA: interleaved 8-bit
// RGBA, or planes of up to 16-bit samples (and alpha), each sample rounded to 8 bits.
class CDecodedPixels {
public:
  // False unless the image is width x height in the layout asked for, with every plane that
  // large: the size a decoder promised is checked against what the library made.
  bool Open(const heif_image* image, uint32_t width, uint32_t height, bool high) {
    m_high = high;
    const heif_channel sizeChannel = high ? heif_channel_R : heif_channel_interleaved;
    if (heif_image_get_width(image, sizeChannel) != static_cast<int>(width) ||
        heif_image_get_height(image, sizeChannel) != static_cast<int>(height)) {
      return false;
    }
    if (!high) {
      int stride = 0;
      m_rgba = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
      m_rgbaStride = static_cast<size_t>(stride);
      return m_rgba && stride >= 0 && m_rgbaStride / 4 >= width &&
             heif_image_get_bits_per_pixel_range(image, heif_channel_interleaved) == 8;
    }
    m_alpha = heif_image_has_channel(image, heif_channel_Alpha) != 0;
    const heif_channel channels[4] = {heif_channel_B, heif_channel_G, heif_channel_R, heif_channel_Alpha};
    for (int c = 0; c < (m_alpha ? 4 : 3); ++c) {
      if (!GetHighPlane(image, channels[c], width, height, &m_planes[c])) return false;
    }
    return true;
  }
  // `count` pixels of row y from column x on, into `out` as B, G, R, A.
  void ReadRow(uint32_t y, uint32_t x, uint32_t count, uint8_t* out) const {
    if (!m_high) {
      const uint8_t* in = m_rgba + static_cast<size_t>(y) * m_rgbaStride + 4 * static_cast<size_t>(x);
      for (uint32_t i = 0; i < count; ++i, in += 4, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = in[3];
      }
      return;
    }
    for (int c = 0; c < 4; ++c) {
      if (c == 3 && !m_alpha) {
        for (uint32_t i = 0; i < count; ++i) out[4 * i + 3] = 255;
        continue;
      }
      const HighPlane& plane = m_planes[c];
      const uint8_t* in = plane.bytes + y * plane.stride + x * plane.sampleBytes;
      if (plane.sampleBytes == 1) {
        for (uint32_t i = 0; i < count; ++i) out[4 * i + c] = To8(in[i], plane.maximum);
        continue;
      }
      uint16_t sample;
      for (uint32_t i = 0; i < count; ++i) {
        std::memcpy(&sample, in + 2 * i, 2);
        out[4 * i + c] = To8(sample, plane.maximum);
      }
    }
  }

private:
  bool m_high = false;
  const uint8_t* m_rgba = nullptr;
  size_t m_rgbaStride = 0;
  bool m_alpha = false;
  HighPlane m_planes[4];
};

// More than 8 bits: planar RGB of 16-bit samples, one block per plane rather than one of 8 bytes
// per pixel. 8 bits: interleaved RGBA, libheif's fastest conversion.
heif_chroma ChromaFor(bool high) {
  return high ? heif_chroma_444 : heif_chroma_interleaved_RGBA;
}

// What libheif holds for a decoded area of `pixels`: the picture (interleaved 8-bit RGBA, or
// planes of 16-bit samples) and while converting it the coded planes (4:2:0 at 8 bits, or
// 16-bit samples).
uint64_t LibraryHolds(uint64_t pixels, bool high) {
  return high ? pixels * 8 + pixels * 3 : pixels * 4 + pixels * 3 / 2;
}

// The whole picture decoded at once, then handed over row by row.
DecodeStatus DecodeWhole(const heif_image_handle* handle, uint32_t width, uint32_t height, bool high,
                         const heif_decoding_options* options, BgraCanvas* canvas, ColourDescription* colour) {
  heif_image* rawImage = nullptr;
  heif_error error = heif_decode_image(handle, &rawImage, heif_colorspace_RGB, ChromaFor(high), options);
  std::unique_ptr<heif_image, ImageDeleter> image(rawImage);
  if (error.code != heif_error_Ok || !image) return StatusOf(error);
  if (canvas->Abandoned()) return DecodeStatus::Abandoned;
  ReadCodePoints(handle, image.get(), colour);
  canvas->DescribeColour(*colour);
  CDecodedPixels pixels;
  if (!pixels.Open(image.get(), width, height, high)) return DecodeStatus::Undecodable;
  const bool premultiplied = heif_image_is_premultiplied_alpha(image.get()) != 0;
  for (uint32_t y = 0; y < height; ++y) {
    if (y % 64 == 0 && canvas->Abandoned()) return DecodeStatus::Abandoned;
    pixels.ReadRow(y, 0, width, canvas->Row(y));
    if (premultiplied) Unpremultiply(canvas->Row(y), width);
    canvas->Written(y, 1);
  }
  return DecodeStatus::Ok;
}

// Where a grid's picture lies among its stored tiles, and how it is turned: its clean aperture
// as a window of the stored tiles, and its rotations and mirrors as one orientation.
struct GridLayout {
  heif_image_tiling tiling;  // tiles as stored; the offsets are the window's top left corner
  uint32_t width = 0, height = 0;  // the window, before it is turned
  int orientation = 1;
};

// The orientation of a HEIF rotation (anticlockwise, in degrees) or mirror property.
int OrientationOf(heif_context* context, heif_item_id item, heif_property_id property) {
  if (heif_item_get_property_type(context, item, property) == heif_item_property_type_transform_rotation) {
    switch (heif_item_get_property_transform_rotation_ccw(context, item, property)) {
      case 0: return 1;
      case 90: return 8;
      case 180: return 3;
      case 270: return 6;
      default: return 0;
    }
  }
  switch (heif_item_get_property_transform_mirror(context, item, property)) {
    case heif_transform_mirror_direction_vertical: return 4;
    case heif_transform_mirror_direction_horizontal: return 2;
    default: return 0;
  }
}

// A grid's layout, read from its stored tiling, its first tile and its transformations, which
// are applied in their order. The picture is then made here from its stored tiles: libheif 1.19
// takes a cropped grid's cropped size for its tile size, both in the tiling it reports and when
// it decodes the whole grid (measured: most pixels of such a picture wrong, and different on
// every run). False for anything but a grid, and for a crop after a turn (the window would not
// be one of the stored tiles); such pictures are decoded whole.
bool ReadGridLayout(heif_context* context, const heif_image_handle* handle, GridLayout* layout) {
  heif_image_tiling& tiling = layout->tiling;
  if (heif_image_handle_get_image_tiling(handle, 0, &tiling).code != heif_error_Ok ||
      tiling.num_columns * uint64_t(tiling.num_rows) < 2 || tiling.image_width == 0 || tiling.image_height == 0) {
    return false;
  }
  // Every tile must be an image of the file: libheif 1.19 decodes a single tile without looking
  // whether its item exists (a damaged file ended the process there). The whole decode, taken
  // instead, refuses such a grid.
  std::unique_ptr<heif_image_handle, HandleDeleter> tile;
  for (uint32_t ty = 0; ty < tiling.num_rows; ++ty) {
    for (uint32_t tx = 0; tx < tiling.num_columns; ++tx) {
      heif_item_id id = 0;
      heif_image_handle* rawTile = nullptr;
      if (heif_image_handle_get_grid_image_tile_id(handle, 0, tx, ty, &id).code != heif_error_Ok ||
          heif_context_get_image_handle(context, id, &rawTile).code != heif_error_Ok || !rawTile) {
        return false;
      }
      std::unique_ptr<heif_image_handle, HandleDeleter> owned(rawTile);
      if (tx == 0 && ty == 0) tile = std::move(owned);
    }
  }
  // The tile as stored: what it is decoded to with the transformations ignored.
  const int tileWidth = heif_image_handle_get_ispe_width(tile.get()), tileHeight = heif_image_handle_get_ispe_height(tile.get());
  if (tileWidth <= 0 || tileHeight <= 0) return false;
  tiling.tile_width = uint32_t(tileWidth);
  tiling.tile_height = uint32_t(tileHeight);
  if (uint64_t(tiling.num_columns) * tiling.tile_width < tiling.image_width ||
      uint64_t(tiling.num_rows) * tiling.tile_height < tiling.image_height) {
    return false;
  }

  const heif_item_id item = heif_image_handle_get_item_id(handle);
  heif_property_id properties[8];
  const int count = heif_item_get_transformation_properties(context, item, nullptr, 0);
  if (count < 0 || count > 8 || heif_item_get_transformation_properties(context, item, properties, count) != count) {
    return false;
  }
  int64_t left = 0, top = 0, width = tiling.image_width, height = tiling.image_height;
  int orientation = 1;
  for (int i = 0; i < count; ++i) {
    if (heif_item_get_property_type(context, item, properties[i]) == heif_item_property_type_transform_crop) {
      if (orientation != 1) return false;
      int cropLeft = 0, cropTop = 0, cropRight = 0, cropBottom = 0;
      heif_item_get_property_transform_crop_borders(context, item, properties[i], int(width), int(height), &cropLeft,
                                                    &cropTop, &cropRight, &cropBottom);
      if (cropLeft < 0 || cropTop < 0 || cropRight < 0 || cropBottom < 0) return false;
      left += cropLeft;
      top += cropTop;
      width -= int64_t(cropLeft) + cropRight;
      height -= int64_t(cropTop) + cropBottom;
      if (width <= 0 || height <= 0) return false;
      continue;
    }
    const int turn = OrientationOf(context, item, properties[i]);
    if (turn == 0) return false;
    orientation = ComposeOrientations(orientation, turn);
  }
  // The picture libheif describes must be this window, turned.
  const int64_t shownWidth = SwapsSides(orientation) ? height : width, shownHeight = SwapsSides(orientation) ? width : height;
  if (shownWidth != heif_image_handle_get_width(handle) || shownHeight != heif_image_handle_get_height(handle)) {
    return false;
  }
  tiling.left_offset = uint32_t(left);
  tiling.top_offset = uint32_t(top);
  layout->width = uint32_t(width);
  layout->height = uint32_t(height);
  layout->orientation = orientation;
  return true;
}

// The tiles `columns` of row `ty` decoded side by side into `tiles`: one tile after the other
// on each of up to one thread per processor, the calling thread among them. Tiles of one grid
// are independent pictures (libheif decodes them in parallel itself), so a single large photo
// keeps every core busy; the row is what the canvas was told the decode holds either way.
heif_error DecodeTileRow(const heif_image_handle* handle, uint32_t ty, const std::vector<uint32_t>& columns, bool high,
                         const heif_decoding_options* options,
                         std::vector<std::unique_ptr<heif_image, ImageDeleter>>* tiles) {
  std::atomic<size_t> next{0};
  std::vector<heif_error> errors(columns.size(), heif_error{heif_error_Ok, heif_suberror_Unspecified, ""});
  auto work = [&]() noexcept {
    for (size_t i; (i = next.fetch_add(1)) < columns.size();) {
      heif_image* rawTile = nullptr;
      try {
        errors[i] = heif_image_handle_decode_image_tile(handle, &rawTile, heif_colorspace_RGB, ChromaFor(high), options,
                                                        columns[i], ty);
      } catch (const std::bad_alloc&) {
        errors[i] = heif_error{heif_error_Memory_allocation_error, heif_suberror_Unspecified, ""};
      } catch (...) {
        errors[i] = heif_error{heif_error_Decoder_plugin_error, heif_suberror_Unspecified, ""};
      }
      (*tiles)[columns[i]].reset(rawTile);
      if (errors[i].code == heif_error_Ok && !rawTile) errors[i].code = heif_error_Decoder_plugin_error;
    }
  };
  const size_t threads = std::min<size_t>(columns.size(), std::max(1u, std::thread::hardware_concurrency()));
  std::vector<std::thread> helpers;
  for (size_t i = 1; i < threads; ++i) {
    try {
      helpers.emplace_back(work);
    } catch (...) {
      break;  // fewer helpers: the tiles left are decoded by those that started
    }
  }
  work();
  for (std::thread& helper : helpers) helper.join();
  for (const heif_error& error : errors) {
    if (error.code != heif_error_Ok) return error;
  }
  return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
}

// A grid picture decoded one row of tiles at a time, its rows handed over as each row of tiles
// is complete: only that row of tiles is held, so a picture far larger than the memory of a
// whole decode is shrunk as it streams. Tiles at the right and bottom may reach past the picture.
DecodeStatus DecodeTiles(const heif_image_handle* handle, const heif_image_tiling& tiling, uint32_t width,
                         uint32_t height, bool high, const heif_decoding_options* options, BgraCanvas* canvas,
                         ColourDescription* colour) {
  const int64_t tileWidth = tiling.tile_width, tileHeight = tiling.tile_height;
  bool described = false;
  std::vector<std::unique_ptr<heif_image, ImageDeleter>> tiles(tiling.num_columns);
  std::vector<CDecodedPixels> pixels(tiling.num_columns);
  std::vector<bool> premultiplied(tiling.num_columns);
  // The columns of tiles the window reaches into: the same for every row.
  std::vector<uint32_t> columns;
  for (uint32_t tx = 0; tx < tiling.num_columns; ++tx) {
    const int64_t left = tx * tileWidth - int64_t(tiling.left_offset);
    if (left + tileWidth > 0 && left < int64_t(width)) columns.push_back(tx);
  }
  for (uint32_t ty = 0; ty < tiling.num_rows; ++ty) {
    const int64_t top = ty * tileHeight - int64_t(tiling.top_offset);
    const int64_t first = top < 0 ? 0 : top, end = std::min<int64_t>(top + tileHeight, height);
    if (end <= first) continue;
    if (canvas->Abandoned()) return DecodeStatus::Abandoned;
    for (auto& tile : tiles) tile.reset();
    const heif_error error = DecodeTileRow(handle, ty, columns, high, options, &tiles);
    if (error.code != heif_error_Ok) return StatusOf(error);
    for (uint32_t tx : columns) {
      if (!pixels[tx].Open(tiles[tx].get(), uint32_t(tileWidth), uint32_t(tileHeight), high)) return DecodeStatus::Undecodable;
      premultiplied[tx] = heif_image_is_premultiplied_alpha(tiles[tx].get()) != 0;
      if (!described) {
        ReadCodePoints(handle, tiles[tx].get(), colour);
        canvas->DescribeColour(*colour);
        described = true;
      }
    }
    for (int64_t y = first; y < end; ++y) {
      uint8_t* out = canvas->Row(uint32_t(y));
      for (uint32_t tx : columns) {
        const int64_t left = tx * tileWidth - int64_t(tiling.left_offset);
        const int64_t from = std::max<int64_t>(left, 0), to = std::min<int64_t>(left + tileWidth, width);
        uint8_t* at = out + 4 * from;
        pixels[tx].ReadRow(uint32_t(y - top), uint32_t(from - left), uint32_t(to - from), at);
        if (premultiplied[tx]) Unpremultiply(at, uint32_t(to - from));
      }
      canvas->Written(uint32_t(y), 1);
    }
  }
  return described ? DecodeStatus::Ok : DecodeStatus::Undecodable;
}

DecodeStatus Decode(const uint8_t* data, size_t size, BgraCanvas* canvas) {
  // Once per process, on whichever thread comes first: libheif's own lazy start is not safe
  // when two threads open their first file at once.
  static const bool initialised = heif_init(nullptr).code == heif_error_Ok;
  if (!initialised) return DecodeStatus::Undecodable;

  std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
  if (!context) return DecodeStatus::OutOfMemory;
  SetLimits(context.get());
  // No threads of libheif's own: a grid's tiles are decoded here, a row at a time (DecodeTiles),
  // and the canvas is asked between rows whether the picture is still wanted.
  heif_context_set_max_decoding_threads(context.get(), 0);
  heif_error error = heif_context_read_from_memory_without_copy(context.get(), data, size, nullptr);
  if (error.code != heif_error_Ok) return StatusOf(error);

  heif_image_handle* rawHandle = nullptr;
  error = heif_context_get_primary_image_handle(context.get(), &rawHandle);
  if (error.code != heif_error_Ok || !rawHandle) return StatusOf(error);
  std::unique_ptr<heif_image_handle, HandleDeleter> handle(rawHandle);

  // The size with the rotation and clean aperture applied, as the decoded image will have it.
  const int width = heif_image_handle_get_width(handle.get());
  const int height = heif_image_handle_get_height(handle.get());
  if (width <= 0 || height <= 0) return DecodeStatus::Undecodable;
  const int lumaBits = heif_image_handle_get_luma_bits_per_pixel(handle.get());
  const int chromaBits = heif_image_handle_get_chroma_bits_per_pixel(handle.get());
  const bool high = lumaBits > 8 || chromaBits > 8;
  const std::vector<uint8_t> icc = ReadProfile(handle.get());

  // A grid is decoded a row of its stored tiles at a time and turned upright by the canvas,
  // anything else whole and upright; libheif holds that much besides the canvas's rows, and the
  // canvas is told so.
  GridLayout grid;
  const bool tiled = ReadGridLayout(context.get(), handle.get(), &grid);
  const uint32_t storedWidth = tiled ? grid.width : uint32_t(width), storedHeight = tiled ? grid.height : uint32_t(height);
  const int orientation = tiled ? grid.orientation : 1;
  const uint64_t held = tiled ? uint64_t(grid.tiling.num_columns) * grid.tiling.tile_width * grid.tiling.tile_height
                              : uint64_t(width) * uint64_t(height);
  if (canvas->Abandoned()) return DecodeStatus::Abandoned;
  if (canvas->Prepare(storedWidth, storedHeight, orientation, LibraryHolds(held, high)) == 0 ||
      !canvas->Begin(storedWidth, storedHeight)) {
    return DecodeStatus::OutOfMemory;
  }

  std::unique_ptr<heif_decoding_options, OptionsDeleter> options(heif_decoding_options_alloc());
  if (!options) return DecodeStatus::OutOfMemory;
  options->cancel_decoding = CancelDecoding;
  options->progress_user_data = canvas;
  options->convert_hdr_to_8bit = 0;  // rounded here; libheif would cut the low bits off
  ColourDescription colour;
  colour.icc = icc.empty() ? nullptr : icc.data();
  colour.iccSize = icc.size();
  // Stored tiles are taken as they are: the window and the turn are applied here.
  options->ignore_transformations = tiled ? 1 : 0;
  const DecodeStatus status =
      tiled ? DecodeTiles(handle.get(), grid.tiling, storedWidth, storedHeight, high, options.get(), canvas, &colour)
            : DecodeWhole(handle.get(), storedWidth, storedHeight, high, options.get(), canvas, &colour);
  if (status != DecodeStatus::Ok) return status;
  // A whole decode comes upright from libheif; a grid's rows are turned by the canvas. Either
  // way the HEIF transformations are applied once, and an EXIF orientation beside them never.
  return canvas->Finish(orientation) ? DecodeStatus::Ok : DecodeStatus::OutOfMemory;
}

}  // namespace

bool IsHeifSignature(const uint8_t* data, size_t size) {
  if (size < 16 || std::memcmp(data + 4, "ftyp", 4) != 0) return false;
  uint64_t boxSize = ReadBe32(data);
  if (boxSize < 16) return false;
  const uint64_t end = boxSize < size ? boxSize : size;
  if (IsImageBrand(data + 8)) return true;
  // The compatible brands follow the major brand and its minor version.
  for (uint64_t at = 16; at + 4 <= end; at += 4) {
    if (IsImageBrand(data + at)) return true;
  }
  return false;
}

DecodeStatus DecodeHeif(const uint8_t* data, size_t size, BgraCanvas* canvas) {
  return GuardedDecode(IsHeifSignature(data, size), [&] { return Decode(data, size, canvas); });
}
