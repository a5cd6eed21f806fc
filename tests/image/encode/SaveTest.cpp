// Saving: PNG keeps 32-bit alpha exactly, 8-bit pictures become indexed PNG with trimmed PLTE and
// tRNS, JPEG follows its quality, and a failed save leaves nothing behind.
#include <gtest/gtest.h>

#include <png.h>

#include <cstdlib>
#include <new>

#include "image/FileIo.h"
#include "image/GdiplusImage.h"
#include "image/codec/PngCodec.h"
#include "image/decode/LoadDib.h"
#include "image/encode/ImageSaver.h"
#include "support/ImageCalls.h"
#include "support/Pictures.h"
#include "support/TempDir.h"

// While set on a thread, every allocation through operator new there fails, as it does when memory
// runs out. The C libraries allocate with malloc and are not affected.
thread_local bool t_refuseNew = false;

void* operator new(std::size_t size) {
  void* block = t_refuseNew ? nullptr : std::malloc(size ? size : 1);
  if (!block) throw std::bad_alloc();
  return block;
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

SaveFormat Format(int type, int quality = 80) {
  SaveFormat format;
  format.Type = type;
  format.JpegQuality = quality;
  return format;
}

// An 8-bit picture using entries 0..3 of a table whose entry 1 is translucent.
CDibPtr MakeIndexed() {
  CDibPtr dib(new CDib);
  EXPECT_TRUE(dib->Create(4, 3, 8, 0, BI_RGB));
  EXPECT_TRUE(dib->AllocBits());
  dib->ClearBits();
  RGBQUAD* t = dib->ColorTable();
  t[0] = {0, 0, 255, 255};    // opaque red
  t[1] = {255, 0, 0, 64};     // blue, alpha 64
  t[2] = {0, 255, 0, 255};    // opaque green
  t[3] = {10, 20, 30, 255};
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) dib->TopRow(y)[x] = static_cast<BYTE>((x + y) % 4);
  }
  return dib;
}

struct PngChunks {
  int colorType = -1;
  int paletteEntries = 0;
  int transparentEntries = -1;  // -1: no tRNS
};

struct PngReader {
  const std::string* bytes;
  size_t offset;
};

void ReadChunkBytes(png_structp png, png_bytep out, png_size_t length) {
  PngReader* r = static_cast<PngReader*>(png_get_io_ptr(png));
  if (length > r->bytes->size() - r->offset) png_error(png, "short");
  memcpy(out, r->bytes->data() + r->offset, length);
  r->offset += length;
}

// Reads the header chunks back with libpng.
PngChunks InspectPng(const std::string& bytes) {
  PngChunks chunks;
  PngReader reader = {&bytes, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return chunks;
  }
  png_set_read_fn(png, &reader, ReadChunkBytes);
  png_read_info(png, info);
  chunks.colorType = png_get_color_type(png, info);
  png_colorp palette;
  if (png_get_PLTE(png, info, &palette, &chunks.paletteEntries) == 0) chunks.paletteEntries = 0;
  png_bytep alpha;
  int count;
  png_color_16p color;
  if (png_get_tRNS(png, info, &alpha, &count, &color)) chunks.transparentEntries = count;
  png_destroy_read_struct(&png, &info, nullptr);
  return chunks;
}

}  // namespace

TEST(Save, ExtensionAndFlagsFollowTheFormat) {
  EXPECT_STREQ(L"jpg", GetExtension(Format(1)));
  EXPECT_STREQ(L"png", GetExtension(Format(0)));
  EXPECT_STREQ(L"webp", GetExtension(Format(2)));
  EXPECT_STREQ(L"png", GetExtension(Format(7)));
  CImageSaverPtr png = CreateSaver(Format(7));
  ASSERT_TRUE(png);
  EXPECT_TRUE(png->SupportsTransparency());
  EXPECT_TRUE(png->TryPalette());
  CImageSaverPtr jpeg = CreateSaver(Format(1));
  ASSERT_TRUE(jpeg);
  EXPECT_FALSE(jpeg->SupportsTransparency());
  EXPECT_FALSE(jpeg->TryPalette());
  CImageSaverPtr webp = CreateSaver(Format(2));
  ASSERT_TRUE(webp);
  EXPECT_TRUE(webp->SupportsTransparency());
  EXPECT_FALSE(webp->TryPalette());
  // JPEG and WebP have no indexed form: an 8-bit picture is refused and nothing is written.
  CTempDir dir;
  EXPECT_EQ(E_FAIL, jpeg->Save(*MakeIndexed(), dir / L"indexed.jpg"));
  EXPECT_FALSE(FileExists(dir / L"indexed.jpg"));
  EXPECT_EQ(E_FAIL, webp->Save(*MakeIndexed(), dir / L"indexed.webp"));
  EXPECT_FALSE(FileExists(dir / L"indexed.webp"));
}

TEST(Save, ThirtyTwoBitPngKeepsEveryPixelAndAlphaExactly) {
  CTempDir dir;
  CDibPtr source = MakeDib(37, 19, [](int x, int y) {
    return static_cast<uint32_t>((x * 7) & 0xFF) << 24 | (x * 5) << 16 | (y * 13) << 8 | ((x ^ y) & 0xFF);
  });
  std::wstring path = dir / L"out.png";
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*source, path));
  EXPECT_EQ(PNG_COLOR_TYPE_RGB_ALPHA, InspectPng(ReadBytes(path)).colorType);
  CDibPtr back;
  ASSERT_EQ(S_OK, LoadDib(path, &back));
  for (int y = 0; y < 19; ++y) {
    for (int x = 0; x < 37; ++x) ASSERT_EQ(PixelAt(*source, x, y), PixelAt(*back, x, y));
  }
}

TEST(Save, EightBitPictureBecomesIndexedPngWithTrimmedTables) {
  CTempDir dir;
  CDibPtr indexed = MakeIndexed();
  std::wstring path = dir / L"indexed.png";
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*indexed, path));
  std::string bytes = ReadBytes(path);
  PngChunks chunks = InspectPng(bytes);
  EXPECT_EQ(PNG_COLOR_TYPE_PALETTE, chunks.colorType);
  EXPECT_EQ(4, chunks.paletteEntries);       // up to the highest index in use
  EXPECT_EQ(2, chunks.transparentEntries);   // cut after the last non-opaque entry

  // Read back by the program's decoder (libpng) and by GDI+: the same colours and alpha.
  CDibPtr ours;
  ASSERT_EQ(S_OK, LoadDib(path, &ours));
  CGdipImage image;
  ASSERT_EQ(S_OK, LoadImageFromBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &image));
  CDibPtr theirs;
  RECT all = {0, 0, 4, 3};
  ASSERT_EQ(S_OK, RenderImageToDib(image.Get(), all, &theirs, 4, 3, Gdiplus::InterpolationModeNearestNeighbor));
  const uint32_t expected[4] = {0xFFFF0000u, 0x400000FFu, 0xFF00FF00u, 0xFF1E140Au};
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(expected[(x + y) % 4], PixelAt(*ours, x, y));
      uint32_t gdip = PixelAt(*theirs, x, y);
      EXPECT_EQ(expected[(x + y) % 4] >> 24, gdip >> 24);
      if ((gdip >> 24) == 0xFF) {
        EXPECT_EQ(expected[(x + y) % 4], gdip);
      }
    }
  }
}

TEST(Save, OpaquePictureIsWrittenWithoutAnAlphaChannel) {
  CTempDir dir;
  CDibPtr photo = MakePhotoLike(33, 21);
  std::wstring path = dir / L"opaque.png";
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*photo, path));
  EXPECT_EQ(PNG_COLOR_TYPE_RGB, InspectPng(ReadBytes(path)).colorType);
  CDibPtr back;
  ASSERT_EQ(S_OK, LoadDib(path, &back));
  for (int y = 0; y < 21; ++y) {
    for (int x = 0; x < 33; ++x) ASSERT_EQ(PixelAt(*photo, x, y), PixelAt(*back, x, y));
  }
}

TEST(Save, OpaqueIndexedPictureHasNoTransparencyChunk) {
  CTempDir dir;
  CDibPtr indexed = MakeIndexed();
  indexed->ColorTable()[1].rgbReserved = 255;
  std::wstring path = dir / L"opaque.png";
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*indexed, path));
  PngChunks chunks = InspectPng(ReadBytes(path));
  EXPECT_EQ(4, chunks.paletteEntries);
  EXPECT_EQ(-1, chunks.transparentEntries);
}

// Saves a photo-like picture in `format` at rising qualities: each file is larger and decodes
// nearer the original than the one before; `checkFile` looks at each file's bytes as well.
// Returns the error left at the top quality.
template <class CheckFile>
double ExpectGrowsAndImprovesWithQuality(int32_t format, const std::wstring& extension, CheckFile checkFile) {
  CTempDir dir;
  CDibPtr photo = MakePhotoLike(256, 192);
  size_t lastSize = 0;
  double lastError = 1e9;
  for (int quality : {0, 30, 50, 80, 100}) {
    SCOPED_TRACE(quality);
    std::wstring path = dir / (L"q" + std::to_wstring(quality) + extension);
    EXPECT_EQ(S_OK, CreateSaver(Format(format, quality))->Save(*photo, path));
    const std::string bytes = ReadBytes(path);
    checkFile(bytes);
    CDibPtr back;
    EXPECT_EQ(S_OK, LoadDib(path, &back));
    if (!back || back->Width() != 256 || back->Height() != 192) {
      ADD_FAILURE() << "the file does not decode to the picture's size";
      return 1e9;
    }
    double error = MeanAbsoluteError(*photo, *back);
    EXPECT_GT(bytes.size(), lastSize);
    EXPECT_LT(error, lastError);
    lastSize = bytes.size();
    lastError = error;
  }
  return lastError;
}

TEST(Save, JpegGrowsAndImprovesWithQuality) {
  EXPECT_LT(ExpectGrowsAndImprovesWithQuality(1, L".jpg", [](const std::string&) {}), 2.0);
}

// The chunk that follows a WebP file's header: "VP8 " for a simple lossy file, "VP8X" for one
// with an alpha plane (or metadata).
std::string FirstWebpChunk(const std::string& bytes) { return bytes.size() >= 16 ? bytes.substr(12, 4) : ""; }

TEST(Save, WebpFollowsItsQualityAndKeepsAlphaExactly) {
  CTempDir dir;
  // Opaque: no alpha plane.
  const double lastError = ExpectGrowsAndImprovesWithQuality(
      SaveFormat::Webp, L".webp", [](const std::string& bytes) { EXPECT_EQ("VP8 ", FirstWebpChunk(bytes)); });
  // Lossy at every quality: colour at a quarter of the resolution, as in JPEG below 90.
  EXPECT_LT(lastError, 6.0);

  // Translucent and transparent pixels: the alpha plane is lossless at every quality, and the
  // colour of what is not transparent stays near its own.
  CDibPtr translucent = MakeDib(64, 40, [](int x, int y) {
    const uint32_t alpha = x < 8 ? 0 : static_cast<uint32_t>((x * 4 + y) & 0xFF);
    return alpha << 24 | 0x3080C0u;
  });
  for (int quality : {0, 80}) {
    std::wstring path = dir / (L"alpha" + std::to_wstring(quality) + L".webp");
    ASSERT_EQ(S_OK, CreateSaver(Format(SaveFormat::Webp, quality))->Save(*translucent, path));
    EXPECT_EQ("VP8X", FirstWebpChunk(ReadBytes(path)));
    CDibPtr back;
    ASSERT_EQ(S_OK, LoadDib(path, &back));
    for (int y = 0; y < 40; ++y) {
      for (int x = 0; x < 64; ++x) {
        const uint32_t want = PixelAt(*translucent, x, y), got = PixelAt(*back, x, y);
        ASSERT_EQ(want >> 24, got >> 24) << x << "," << y;
        if ((want >> 24) >= 128) {
          for (int shift : {0, 8, 16}) {
            EXPECT_NEAR(static_cast<int>((want >> shift) & 0xFF), static_cast<int>((got >> shift) & 0xFF), 12)
                << x << "," << y;
          }
        }
      }
    }
  }
}

TEST(Save, ASaveNeverReplacesAndFailsWithTheSystemsReason) {
  CTempDir dir;
  CDibPtr photo = MakePhotoLike(16, 16);
  std::wstring missing = dir / L"no\\such\\folder\\out.png";
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), CreatePngSaver()->Save(*photo, missing));
  EXPECT_FALSE(FileExists(missing));

  // A folder stands where the output should go: the save fails and the folder survives.
  std::wstring blocked = dir / L"blocked.png";
  ASSERT_TRUE(CreateDirectoryW(blocked.c_str(), nullptr));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), CreatePngSaver()->Save(*photo, blocked));
  EXPECT_TRUE(GetFileAttributesW(blocked.c_str()) & FILE_ATTRIBUTE_DIRECTORY);

  // A file that took the output's name (another program's, or one made after the job started)
  // is left as it is, whatever the format.
  std::wstring existing = dir / L"old.jpg";
  ASSERT_TRUE(WriteBytes(existing, "someone else's"));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), CreateSaver(Format(1))->Save(*photo, existing));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS), CreatePngSaver()->Save(*photo, dir / L"OLD.JPG"));
  EXPECT_EQ("someone else's", ReadBytes(existing));

  // Nothing but the outputs is left in the folder.
  EXPECT_EQ(0, CountEntries(dir.Path(), kTemporaryFilePattern));
}

TEST(Save, MemoryRunningOutWhileAPngIsWrittenFailsThatWriteOnly) {
  // The encoder's output grows through operator new inside libpng's write callback: the failure
  // must come back as a failed write, not as an exception through libpng's frames, and the writer
  // must be destroyed so the next picture is written as usual.
  CDibPtr picture = MakePhotoLike(64, 48);
  std::vector<uint8_t> out;
  t_refuseNew = true;
  const bool written = EncodePngRgba(picture->Rows(), &out);
  t_refuseNew = false;
  EXPECT_FALSE(written);
  ASSERT_TRUE(EncodePngRgba(picture->Rows(), &out));
  EXPECT_TRUE(IsPngSignature(out.data(), out.size()));
}
