// libheif wrapper. The library is C++ behind a C interface and reports errors as values; its
// allocations may still throw through that interface, so the whole decode runs inside
// GuardedDecode, and the one callback it makes into us (cancel_decoding) cannot throw.
#include "image/codec/HeifCodec.h"

#include "base/Orientation.h"
#include "base/PixelBudget.h"
#include "base/Scoped.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include <libheif/heif.h>
#include <libheif/heif_items.h>
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

typedef CScopedObject<heif_context, heif_context_free> CHeifContext;
typedef CScopedObject<heif_image_handle, heif_image_handle_release> CHeifHandle;
typedef CScopedObject<heif_image, heif_image_release> CHeifImage;
typedef CScopedObject<heif_decoding_options, heif_decoding_options_free> CHeifOptions;

// Called by libheif while it decodes, on the thread that decodes the tile (see DecodeTileSet). A
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
void ReadCodePoints(const heif_image_handle* handle, const heif_image* image, ColorDescription* color) {
  heif_color_profile_nclx* nclx = nullptr;
  heif_error error = heif_image_handle_get_nclx_color_profile(handle, &nclx);
  if (error.code != heif_error_Ok && image) error = heif_image_get_nclx_color_profile(image, &nclx);
  if (error.code != heif_error_Ok || !nclx) return;
  color->hasCodePoints = true;
  color->colorPrimaries = static_cast<uint16_t>(nclx->color_primaries);
  color->transferCharacteristics = static_cast<uint16_t>(nclx->transfer_characteristics);
  color->matrixCoefficients = static_cast<uint16_t>(nclx->matrix_coefficients);
  color->fullRange = nclx->full_range_flag != 0;
  heif_nclx_color_profile_free(nclx);
}

// A file is whole when the data of every item it lists lies within it. A cut file (a download
// or copy that stopped) may still hold a complete primary picture beside items that are gone, or
// the tiles of its window beside others that are not: libheif's own tool refuses such a file as
// damaged, and so does the program, rather than write a picture made of what happens to remain.
// Each item's data is read as stored (compressed), one item at a time.
bool EveryItemWithinFile(const heif_context* context) {
  const int count = heif_context_get_number_of_items(context);
  if (count <= 0) return false;
  std::vector<heif_item_id> items(static_cast<size_t>(count));
  if (heif_context_get_list_of_item_IDs(context, items.data(), count) != count) return false;
  for (heif_item_id item : items) {
    heif_metadata_compression compression = heif_metadata_compression_off;
    size_t size = 0;
    if (heif_item_get_item_data(context, item, &compression, nullptr, &size).code != heif_error_Ok) return false;
  }
  return true;
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
                         const heif_decoding_options* options, BgraCanvas* canvas, ColorDescription* color) {
  CHeifImage image;
  heif_error error = heif_decode_image(handle, image.Receive(), heif_colorspace_RGB, ChromaFor(high), options);
  if (error.code != heif_error_Ok || !image.IsValid()) return StatusOf(error);
  if (canvas->Abandoned()) return DecodeStatus::Abandoned;
  ReadCodePoints(handle, image.Get(), color);
  canvas->DescribeColor(*color);
  CDecodedPixels pixels;
  if (!pixels.Open(image.Get(), width, height, high)) return DecodeStatus::Undecodable;
  const bool premultiplied = heif_image_is_premultiplied_alpha(image.Get()) != 0;
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

bool IsGrid(const heif_context* context, const heif_image_handle* handle) {
  return heif_item_get_item_type(context, heif_image_handle_get_item_id(handle)) == heif_fourcc('g', 'r', 'i', 'd');
}

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

// The transformations a file may chain on one picture; phones write a rotation, some a mirror
// and a crop. A longer chain is no photo: such a file is refused.
const int kMaxTransformations = 16;

// A grid's layout, read from its stored tiling, its tiles and its transformations, which are
// applied in their order: a crop cuts the picture as turned so far, so it is carried back to a
// window of the stored tiles. The picture is then made here from its stored tiles: libheif 1.19
// takes a cropped grid's cropped size for its tile size, both in the tiling it reports and when
// it decodes the whole grid (measured: most pixels of such a picture wrong, and different on
// every run). False for a grid this cannot describe (a tile that is no image of the file, tiles
// of different sizes, transformations beyond the chain above, a size that disagrees with what
// libheif says the picture is): such a file is refused, never decoded by libheif's whole-grid
// path.
bool ReadGridLayout(heif_context* context, const heif_image_handle* handle, GridLayout* layout) {
  heif_image_tiling& tiling = layout->tiling;
  if (heif_image_handle_get_image_tiling(handle, 0, &tiling).code != heif_error_Ok || tiling.num_columns == 0 ||
      tiling.num_rows == 0 || tiling.image_width == 0 || tiling.image_height == 0) {
    return false;
  }
  // Every tile must be an image of the file (libheif 1.19 decodes a single tile without looking
  // whether its item exists: a damaged file ended the process there), and all must claim the
  // size of the first, so that the first tells what a strip of tiles holds.
  int tileWidth = 0, tileHeight = 0;
  for (uint32_t ty = 0; ty < tiling.num_rows; ++ty) {
    for (uint32_t tx = 0; tx < tiling.num_columns; ++tx) {
      heif_item_id id = 0;
      CHeifHandle tile;
      if (heif_image_handle_get_grid_image_tile_id(handle, 0, tx, ty, &id).code != heif_error_Ok ||
          heif_context_get_image_handle(context, id, tile.Receive()).code != heif_error_Ok || !tile.IsValid()) {
        return false;
      }
      // The tile as stored: what it is decoded to with the transformations ignored.
      const int width = heif_image_handle_get_ispe_width(tile.Get()), height = heif_image_handle_get_ispe_height(tile.Get());
      if (tx == 0 && ty == 0) {
        tileWidth = width;
        tileHeight = height;
      }
      if (width <= 0 || height <= 0 || width != tileWidth || height != tileHeight) return false;
    }
  }
  tiling.tile_width = uint32_t(tileWidth);
  tiling.tile_height = uint32_t(tileHeight);
  if (uint64_t(tiling.num_columns) * tiling.tile_width < tiling.image_width ||
      uint64_t(tiling.num_rows) * tiling.tile_height < tiling.image_height) {
    return false;
  }

  const heif_item_id item = heif_image_handle_get_item_id(handle);
  heif_property_id properties[kMaxTransformations];
  const int count = heif_item_get_transformation_properties(context, item, nullptr, 0);
  if (count < 0 || count > kMaxTransformations ||
      heif_item_get_transformation_properties(context, item, properties, count) != count) {
    return false;
  }
  // The window of the stored grid, and the orientation that turns it into the picture so far.
  uint32_t left = 0, top = 0, width = tiling.image_width, height = tiling.image_height;
  int orientation = 1;
  for (int i = 0; i < count; ++i) {
    if (heif_item_get_property_type(context, item, properties[i]) != heif_item_property_type_transform_crop) {
      const int turn = OrientationOf(context, item, properties[i]);
      if (turn == 0) return false;
      orientation = ComposeOrientations(orientation, turn);
      continue;
    }
    const bool swap = SwapsSides(orientation);
    const int64_t shownWidth = swap ? height : width, shownHeight = swap ? width : height;
    int cropLeft = 0, cropTop = 0, cropRight = 0, cropBottom = 0;
    heif_item_get_property_transform_crop_borders(context, item, properties[i], int(shownWidth), int(shownHeight),
                                                  &cropLeft, &cropTop, &cropRight, &cropBottom);
    if (cropLeft < 0 || cropTop < 0 || cropRight < 0 || cropBottom < 0 ||
        int64_t(cropLeft) + cropRight >= shownWidth || int64_t(cropTop) + cropBottom >= shownHeight) {
      return false;
    }
    // The corners of the kept part of the picture, found in the window.
    uint32_t x0, y0, x1, y1;
    StoredPixelOf(orientation, width, height, uint32_t(cropLeft), uint32_t(cropTop), &x0, &y0);
    StoredPixelOf(orientation, width, height, uint32_t(shownWidth - 1 - cropRight), uint32_t(shownHeight - 1 - cropBottom),
                  &x1, &y1);
    left += std::min(x0, x1);
    top += std::min(y0, y1);
    width = std::max(x0, x1) - std::min(x0, x1) + 1;
    height = std::max(y0, y1) - std::min(y0, y1) + 1;
  }
  // The picture libheif describes must be this window, turned.
  const bool swap = SwapsSides(orientation);
  if (int64_t(swap ? height : width) != heif_image_handle_get_width(handle) ||
      int64_t(swap ? width : height) != heif_image_handle_get_height(handle)) {
    return false;
  }
  tiling.left_offset = left;
  tiling.top_offset = top;
  layout->width = width;
  layout->height = height;
  layout->orientation = orientation;
  return true;
}

struct TilePosition {
  uint32_t x, y;
};

// The tiles at `positions` decoded into `tiles` (same order): one tile after the other on each
// of up to one thread per processor, the calling thread among them. Tiles of one grid are
// independent pictures (libheif decodes them in parallel itself), so a single large photo keeps
// every core busy; the strip is what the canvas was told the decode holds either way.
heif_error DecodeTileSet(const heif_image_handle* handle, const std::vector<TilePosition>& positions, bool high,
                         const heif_decoding_options* options,
                         std::vector<CHeifImage>* tiles) {
  std::atomic<size_t> next{0};
  std::vector<heif_error> errors(positions.size(), heif_error{heif_error_Ok, heif_suberror_Unspecified, ""});
  auto work = [&]() noexcept {
    for (size_t i; (i = next.fetch_add(1)) < positions.size();) {
      heif_image** tile = (*tiles)[i].Receive();
      try {
        errors[i] = heif_image_handle_decode_image_tile(handle, tile, heif_colorspace_RGB, ChromaFor(high), options,
                                                        positions[i].x, positions[i].y);
      } catch (const std::bad_alloc&) {
        errors[i] = heif_error{heif_error_Memory_allocation_error, heif_suberror_Unspecified, ""};
      } catch (...) {
        errors[i] = heif_error{heif_error_Decoder_plugin_error, heif_suberror_Unspecified, ""};
      }
      if (errors[i].code == heif_error_Ok && !(*tiles)[i].IsValid()) errors[i].code = heif_error_Decoder_plugin_error;
    }
  };
  const size_t threads = std::min<size_t>(positions.size(), std::max(1u, std::thread::hardware_concurrency()));
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

void ReversePixels(uint8_t* row, uint32_t width) {
  uint32_t* pixels = reinterpret_cast<uint32_t*>(row);
  std::reverse(pixels, pixels + width);
}

// A grid picture made from its stored tiles one strip of them at a time, turned upright as it
// goes, its rows handed over top to bottom as each strip is complete: only that strip is held,
// so a picture far larger than the memory of a whole decode is shrunk as it streams, turned or
// not. The strips run across the upright picture's rows: rows of tiles for a picture that keeps
// its sides, columns of tiles for one turned a quarter, taken in the order its rows need them.
class CGridDecode {
public:
  CGridDecode(const heif_image_handle* handle, const GridLayout& grid, bool high, const heif_decoding_options* options)
      : m_handle(handle), m_grid(grid), m_tiling(grid.tiling), m_high(high), m_options(options),
        m_swap(SwapsSides(grid.orientation)),
        m_backwards(grid.orientation == 3 || grid.orientation == 4 || grid.orientation == 7 || grid.orientation == 8),
        m_reversed(grid.orientation == 2 || grid.orientation == 3 || grid.orientation == 6 || grid.orientation == 7) {
    // The rows and columns of tiles the window reaches into.
    for (uint32_t tx = 0; tx < m_tiling.num_columns; ++tx) {
      if (Reaches(tx, m_tiling.tile_width, m_tiling.left_offset, grid.width)) m_columns.push_back(tx);
    }
    for (uint32_t ty = 0; ty < m_tiling.num_rows; ++ty) {
      if (Reaches(ty, m_tiling.tile_height, m_tiling.top_offset, grid.height)) m_rows.push_back(ty);
    }
  }
  uint32_t UprightWidth() const { return m_swap ? m_grid.height : m_grid.width; }
  uint32_t UprightHeight() const { return m_swap ? m_grid.width : m_grid.height; }
  // Tiles held at once: those of one strip.
  uint64_t StripPixels() const {
    return uint64_t(m_swap ? m_rows.size() : m_columns.size()) * m_tiling.tile_width * m_tiling.tile_height;
  }
  // What the decode holds for a strip: libheif's tiles, and for a turned picture the strip
  // gathered as pixels, to be read across.
  uint64_t HeldBytes() const {
    const uint64_t gathered = m_swap ? uint64_t(m_tiling.tile_width) * m_grid.height * 4 : 0;
    return LibraryHolds(StripPixels(), m_high) + gathered;
  }

  DecodeStatus Run(BgraCanvas* canvas, ColorDescription* color) {
    if (m_columns.empty() || m_rows.empty()) return DecodeStatus::Undecodable;
    const std::vector<uint32_t>& strips = m_swap ? m_columns : m_rows;
    for (size_t k = 0; k < strips.size(); ++k) {
      if (canvas->Abandoned()) return DecodeStatus::Abandoned;
      const uint32_t strip = strips[m_backwards ? strips.size() - 1 - k : k];
      const DecodeStatus status = DecodeStrip(strip, canvas, color);
      if (status != DecodeStatus::Ok) return status;
    }
    return m_described ? DecodeStatus::Ok : DecodeStatus::Undecodable;
  }

private:
  static bool Reaches(uint32_t index, uint32_t size, uint32_t offset, uint32_t extent) {
    const int64_t start = int64_t(index) * size - offset;
    return start + size > 0 && start < int64_t(extent);
  }
  // The part [from, to) of the window's extent that tile `index` covers, in window coordinates,
  // and where the tile starts there.
  static void Span(uint32_t index, uint32_t size, uint32_t offset, uint32_t extent, int64_t* start, int64_t* from,
                   int64_t* to) {
    *start = int64_t(index) * size - offset;
    *from = std::max<int64_t>(*start, 0);
    *to = std::min<int64_t>(*start + size, extent);
  }

  DecodeStatus DecodeStrip(uint32_t strip, BgraCanvas* canvas, ColorDescription* color) {
    std::vector<TilePosition> positions;
    for (uint32_t other : m_swap ? m_rows : m_columns) {
      positions.push_back(m_swap ? TilePosition{strip, other} : TilePosition{other, strip});
    }
    m_tiles.clear();
    m_tiles.resize(positions.size());
    const heif_error error = DecodeTileSet(m_handle, positions, m_high, m_options, &m_tiles);
    if (error.code != heif_error_Ok) return StatusOf(error);
    m_pixels.assign(positions.size(), CDecodedPixels());
    m_premultiplied.assign(positions.size(), false);
    for (size_t i = 0; i < positions.size(); ++i) {
      if (!m_pixels[i].Open(m_tiles[i].Get(), m_tiling.tile_width, m_tiling.tile_height, m_high)) {
        return DecodeStatus::Undecodable;
      }
      m_premultiplied[i] = heif_image_is_premultiplied_alpha(m_tiles[i].Get()) != 0;
      if (!m_described) {
        ReadCodePoints(m_handle, m_tiles[i].Get(), color);
        canvas->DescribeColor(*color);
        m_described = true;
      }
    }
    return m_swap ? HandOverColumn(strip, canvas) : HandOverRow(strip, canvas);
  }

  // A row of tiles: each of its stored rows in the window is an upright row, read straight from
  // the tiles (mirrored in place where the picture is).
  DecodeStatus HandOverRow(uint32_t ty, BgraCanvas* canvas) {
    int64_t top, first, end;
    Span(ty, m_tiling.tile_height, m_tiling.top_offset, m_grid.height, &top, &first, &end);
    for (int64_t k = 0; k < end - first; ++k) {
      const int64_t y = m_backwards ? end - 1 - k : first + k;
      const uint32_t upright = m_backwards ? uint32_t(m_grid.height - 1 - y) : uint32_t(y);
      uint8_t* out = canvas->Row(upright);
      for (size_t i = 0; i < m_columns.size(); ++i) {
        int64_t left, from, to;
        Span(m_columns[i], m_tiling.tile_width, m_tiling.left_offset, m_grid.width, &left, &from, &to);
        uint8_t* at = out + 4 * from;
        m_pixels[i].ReadRow(uint32_t(y - top), uint32_t(from - left), uint32_t(to - from), at);
        if (m_premultiplied[i]) Unpremultiply(at, uint32_t(to - from));
      }
      if (m_reversed) ReversePixels(out, m_grid.width);
      canvas->Written(upright, 1);
    }
    return DecodeStatus::Ok;
  }

  // A column of tiles: its part of the window is gathered as pixels first, then each of its
  // stored columns is an upright row, written a few rows at a time so that the gathered pixels
  // are read along their rows.
  DecodeStatus HandOverColumn(uint32_t tx, BgraCanvas* canvas) {
    int64_t left, from, to;
    Span(tx, m_tiling.tile_width, m_tiling.left_offset, m_grid.width, &left, &from, &to);
    const size_t width = size_t(to - from);
    std::vector<uint32_t>& gathered = m_gathered;
    gathered.resize(width * m_grid.height);
    for (size_t i = 0; i < m_rows.size(); ++i) {
      int64_t top, first, end;
      Span(m_rows[i], m_tiling.tile_height, m_tiling.top_offset, m_grid.height, &top, &first, &end);
      for (int64_t y = first; y < end; ++y) {
        uint8_t* at = reinterpret_cast<uint8_t*>(gathered.data() + size_t(y) * width);
        m_pixels[i].ReadRow(uint32_t(y - top), uint32_t(from - left), uint32_t(width), at);
        if (m_premultiplied[i]) Unpremultiply(at, uint32_t(width));
      }
    }
    m_tiles.clear();  // what is read from now on is the gathered copy
    // Upright row r is stored column x of the window: r = x, or r = width - 1 - x backwards.
    const uint32_t height = m_grid.height;
    const uint32_t firstRow = m_backwards ? uint32_t(m_grid.width - to) : uint32_t(from);
    const uint32_t kBlock = 8;  // within the 16 rows a decoder may ask for ahead of the last reported
    for (uint32_t done = 0; done < width; done += kBlock) {
      const uint32_t count = std::min<uint32_t>(kBlock, uint32_t(width) - done);
      uint32_t* out[kBlock];
      size_t column[kBlock];
      for (uint32_t k = 0; k < count; ++k) {
        out[k] = reinterpret_cast<uint32_t*>(canvas->Row(firstRow + done + k));
        column[k] = m_backwards ? width - 1 - (done + k) : done + k;
      }
      for (uint32_t x = 0; x < height; ++x) {
        const uint32_t* in = gathered.data() + size_t(m_reversed ? height - 1 - x : x) * width;
        for (uint32_t k = 0; k < count; ++k) out[k][x] = in[column[k]];
      }
      for (uint32_t k = 0; k < count; ++k) canvas->Written(firstRow + done + k, 1);
    }
    return DecodeStatus::Ok;
  }

  const heif_image_handle* m_handle;
  const GridLayout& m_grid;
  const heif_image_tiling& m_tiling;
  const bool m_high;
  const heif_decoding_options* m_options;
  const bool m_swap;       // upright rows are stored columns
  const bool m_backwards;  // upright rows run against the stored rows or columns
  const bool m_reversed;   // and along them, against the stored columns or rows
  std::vector<uint32_t> m_columns, m_rows;
  std::vector<CHeifImage> m_tiles;
  std::vector<CDecodedPixels> m_pixels;
  std::vector<bool> m_premultiplied;
  std::vector<uint32_t> m_gathered;
  bool m_described = false;
};

// Once per process, on whichever thread comes first: libheif's own lazy start is not safe when
// two threads open their first file at once.
bool LibraryStarted() {
  static const bool initialised = heif_init(nullptr).code == heif_error_Ok;
  return initialised;
}

DecodeStatus Decode(const uint8_t* data, size_t size, BgraCanvas* canvas) {
  if (!LibraryStarted()) return DecodeStatus::Undecodable;

  CHeifContext context(heif_context_alloc());
  if (!context.IsValid()) return DecodeStatus::OutOfMemory;
  SetLimits(context.Get());
  // No threads of libheif's own: a grid's tiles are decoded here, a strip at a time
  // (CGridDecode), and the canvas is asked between strips whether the picture is still wanted.
  heif_context_set_max_decoding_threads(context.Get(), 0);
  heif_error error = heif_context_read_from_memory_without_copy(context.Get(), data, size, nullptr);
  if (error.code != heif_error_Ok) return StatusOf(error);
  if (!EveryItemWithinFile(context.Get())) return DecodeStatus::Undecodable;

  CHeifHandle handle;
  error = heif_context_get_primary_image_handle(context.Get(), handle.Receive());
  if (error.code != heif_error_Ok || !handle.IsValid()) return StatusOf(error);

  // The size with the rotation and clean aperture applied, as the decoded image will have it.
  const int width = heif_image_handle_get_width(handle.Get());
  const int height = heif_image_handle_get_height(handle.Get());
  if (width <= 0 || height <= 0) return DecodeStatus::Undecodable;
  const int lumaBits = heif_image_handle_get_luma_bits_per_pixel(handle.Get());
  const int chromaBits = heif_image_handle_get_chroma_bits_per_pixel(handle.Get());
  const bool high = lumaBits > 8 || chromaBits > 8;
  const std::vector<uint8_t> icc = ReadProfile(handle.Get());

  CHeifOptions options(heif_decoding_options_alloc());
  if (!options.IsValid()) return DecodeStatus::OutOfMemory;
  options.Get()->cancel_decoding = CancelDecoding;
  options.Get()->progress_user_data = canvas;
  options.Get()->convert_hdr_to_8bit = 0;  // rounded here; libheif would cut the low bits off
  ColorDescription color;
  color.icc = icc.empty() ? nullptr : icc.data();
  color.iccSize = icc.size();

  // Anything but a grid is decoded whole and upright by libheif, which holds that much besides
  // the canvas's rows. A grid is made here from its stored tiles, a strip at a time, and
  // upright; a grid whose layout cannot be read is refused.
  if (!IsGrid(context.Get(), handle.Get())) {
    if (canvas->Abandoned()) return DecodeStatus::Abandoned;
    if (canvas->Prepare(uint32_t(width), uint32_t(height), 1, LibraryHolds(uint64_t(width) * uint64_t(height), high)) == 0 ||
        !canvas->Begin(uint32_t(width), uint32_t(height))) {
      return DecodeStatus::OutOfMemory;
    }
    const DecodeStatus status = DecodeWhole(handle.Get(), uint32_t(width), uint32_t(height), high, options.Get(), canvas, &color);
    if (status != DecodeStatus::Ok) return status;
    return canvas->Finish(1) ? DecodeStatus::Ok : DecodeStatus::OutOfMemory;
  }
  GridLayout layout;
  if (!ReadGridLayout(context.Get(), handle.Get(), &layout)) return DecodeStatus::Undecodable;
  // Stored tiles are taken as they are: the window and the turn are applied here, once; an EXIF
  // orientation beside them is never applied.
  options.Get()->ignore_transformations = 1;
  CGridDecode grid(handle.Get(), layout, high, options.Get());
  // What tiles claim counts as a picture the decode holds: a strip beyond the budget (tiles far
  // larger than the grid needs) is refused as a picture too large is, before any is decoded.
  if (grid.StripPixels() > kPixelBudget) return DecodeStatus::OutOfMemory;
  if (canvas->Abandoned()) return DecodeStatus::Abandoned;
  if (canvas->Prepare(grid.UprightWidth(), grid.UprightHeight(), 1, grid.HeldBytes()) == 0 ||
      !canvas->Begin(grid.UprightWidth(), grid.UprightHeight())) {
    return DecodeStatus::OutOfMemory;
  }
  const DecodeStatus status = grid.Run(canvas, &color);
  if (status != DecodeStatus::Ok) return status;
  return canvas->Finish(1) ? DecodeStatus::Ok : DecodeStatus::OutOfMemory;
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

bool ReadHeifExifBlock(const uint8_t* data, size_t size, std::vector<uint8_t>* block) {
  block->clear();
  if (!IsHeifSignature(data, size) || !LibraryStarted()) return false;
  try {
    CHeifContext context(heif_context_alloc());
    if (!context.IsValid()) return false;
    SetLimits(context.Get());
    if (heif_context_read_from_memory_without_copy(context.Get(), data, size, nullptr).code != heif_error_Ok ||
        !EveryItemWithinFile(context.Get())) {
      return false;
    }
    CHeifHandle handle;
    if (heif_context_get_primary_image_handle(context.Get(), handle.Receive()).code != heif_error_Ok ||
        !handle.IsValid()) {
      return false;
    }
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle.Get(), "Exif", &id, 1) != 1) return false;
    // Within the file (every item's extents were checked against its size).
    const size_t length = heif_image_handle_get_metadata_size(handle.Get(), id);
    if (length < 4 || length > size) return false;
    std::vector<uint8_t> item(length);
    if (heif_image_handle_get_metadata(handle.Get(), id, item.data()).code != heif_error_Ok) return false;
    // The item opens with the distance from its fifth byte to the TIFF header (6 where
    // "Exif\0\0" stands between, as cameras write it).
    const uint32_t offset = ReadBe32(item.data());
    if (offset >= length - 4) return false;
    block->assign(item.begin() + 4 + offset, item.end());
    return true;
  } catch (...) {
    block->clear();
    return false;
  }
}
