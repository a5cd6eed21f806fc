// Loading: every format the decoders serve becomes a 32-bit straight-alpha picture of its own size;
// anything undecodable becomes E_NOTIMPL, a file that cannot be opened the system's reason.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include <jpeglib.h>
#include <png.h>
#include <zlib.h>

#include "image/BlockCache.h"
#include "image/decode/LoadDib.h"
#include "image/encode/ImageSaver.h"
#include "support/ImageCalls.h"
#include "support/Pictures.h"
#include "support/TempDir.h"
#include "support/TestFiles.h"
#include "support/TestProfiles.h"

namespace {

CDibPtr LoadBytes(const CTempDir& dir, const std::string& bytes, HRESULT* hr,
                  const wchar_t* name = L"picture.dat") {
  std::wstring path = dir / name;
  EXPECT_TRUE(WriteBytes(path, bytes));
  CDibPtr dib;
  *hr = LoadDib(path, &dib);
  return dib;
}

CDibPtr LoadOk(const CTempDir& dir, const std::string& bytes) {
  HRESULT hr = E_FAIL;
  CDibPtr dib = LoadBytes(dir, bytes, &hr);
  EXPECT_EQ(S_OK, hr);
  if (dib) {
    EXPECT_EQ(32, dib->BitCount());
    EXPECT_GT(dib->Height(), 0);  // bottom-up
  }
  return dib;
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (d > tolerance || d < -tolerance) return false;
  }
  return true;
}

}  // namespace

TEST(LoadDib, PalettePngWithTransparentEntryLoadsWithAlpha) {
  CTempDir dir;
  TestPng png;
  png.width = 3;
  png.height = 2;
  png.colorType = PNG_COLOR_TYPE_PALETTE;
  png.paletteRgb = {255, 0, 0, 0, 255, 0, 0, 0, 255};
  png.paletteAlpha = {0, 128};
  png.rows = {{0, 1, 2}, {2, 1, 0}};
  CDibPtr dib = LoadOk(dir, EncodeTestPng(png));
  ASSERT_TRUE(dib);
  EXPECT_EQ(3, dib->Width());
  EXPECT_EQ(2, dib->Height());
  EXPECT_EQ(0x00FF0000u, PixelAt(*dib, 0, 0));  // straight alpha: the colour is kept
  EXPECT_EQ(0x8000FF00u, PixelAt(*dib, 1, 0));
  EXPECT_EQ(0xFF0000FFu, PixelAt(*dib, 2, 0));
  EXPECT_EQ(0xFF0000FFu, PixelAt(*dib, 0, 1));
}

TEST(LoadDib, GreyAndSixteenBitPngsLoad) {
  CTempDir dir;
  TestPng grey;
  grey.width = 2;
  grey.height = 1;
  grey.colorType = PNG_COLOR_TYPE_GRAY;
  grey.rows = {{0x40, 0xC0}};
  CDibPtr dib = LoadOk(dir, EncodeTestPng(grey));
  ASSERT_TRUE(dib);
  EXPECT_EQ(0xFF404040u, PixelAt(*dib, 0, 0));
  EXPECT_EQ(0xFFC0C0C0u, PixelAt(*dib, 1, 0));

  TestPng greyAlpha = grey;
  greyAlpha.colorType = PNG_COLOR_TYPE_GRAY_ALPHA;
  greyAlpha.rows = {{0x40, 0x00, 0xC0, 0x7F}};
  dib = LoadOk(dir, EncodeTestPng(greyAlpha));
  ASSERT_TRUE(dib);
  EXPECT_EQ(0x00404040u, PixelAt(*dib, 0, 0));
  EXPECT_EQ(0x7FC0C0C0u, PixelAt(*dib, 1, 0));

  TestPng deep;
  deep.width = 1;
  deep.height = 1;
  deep.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
  deep.bitDepth = 16;
  deep.rows = {{0xFF, 0xFF, 0x80, 0x80, 0x00, 0x7F, 0x80, 0x00}};  // R 65535, G 32896, B 127, A 32768
  dib = LoadOk(dir, EncodeTestPng(deep));
  ASSERT_TRUE(dib);
  EXPECT_EQ(0x80FF8000u, PixelAt(*dib, 0, 0));

  TestPng lowGrey;
  lowGrey.width = 4;
  lowGrey.height = 1;
  lowGrey.colorType = PNG_COLOR_TYPE_GRAY;
  lowGrey.bitDepth = 2;
  lowGrey.rows = {{0x1B}};  // 0, 1, 2, 3
  dib = LoadOk(dir, EncodeTestPng(lowGrey));
  ASSERT_TRUE(dib);
  EXPECT_EQ(0xFF000000u, PixelAt(*dib, 0, 0));
  EXPECT_EQ(0xFF555555u, PixelAt(*dib, 1, 0));
  EXPECT_EQ(0xFFFFFFFFu, PixelAt(*dib, 3, 0));
}

TEST(LoadDib, InterlacedPngLoadsEveryPixel) {
  CTempDir dir;
  TestPng png;
  png.width = 13;
  png.height = 11;
  png.colorType = PNG_COLOR_TYPE_RGB;
  png.interlaced = true;
  for (int y = 0; y < png.height; ++y) {
    std::vector<uint8_t> row;
    for (int x = 0; x < png.width; ++x) {
      row.push_back(static_cast<uint8_t>(x * 10));
      row.push_back(static_cast<uint8_t>(y * 20));
      row.push_back(static_cast<uint8_t>(x + y));
    }
    png.rows.push_back(row);
  }
  CDibPtr dib = LoadOk(dir, EncodeTestPng(png));
  ASSERT_TRUE(dib);
  for (int y = 0; y < png.height; ++y) {
    for (int x = 0; x < png.width; ++x) {
      uint32_t expected = 0xFF000000u | (x * 10) << 16 | (y * 20) << 8 | (x + y);
      ASSERT_EQ(expected, PixelAt(*dib, x, y)) << x << "," << y;
    }
  }
}

TEST(LoadDib, JpegsLoadOpaqueInGreyColorAndCmyk) {
  CTempDir dir;
  const int w = 16, h = 16;
  std::vector<uint8_t> grey(w * h, 100);
  CDibPtr dib = LoadOk(dir, EncodeTestJpeg(w, h, JCS_GRAYSCALE, 1, JCS_GRAYSCALE, grey, 95));
  ASSERT_TRUE(dib);
  EXPECT_TRUE(Near(0xFF646464u, PixelAt(*dib, 5, 5), 2));

  std::vector<uint8_t> rgb;
  for (int i = 0; i < w * h; ++i) rgb.insert(rgb.end(), {200, 40, 90});
  dib = LoadOk(dir, EncodeTestJpeg(w, h, JCS_RGB, 3, JCS_YCbCr, rgb, 95));
  ASSERT_TRUE(dib);
  EXPECT_TRUE(Near(0xFFC8285Au, PixelAt(*dib, 8, 8), 4)) << std::hex << PixelAt(*dib, 8, 8);

  // libjpeg writes an Adobe marker for CMYK and YCCK, whose samples are stored inverted:
  // 255 means no ink. Red is full magenta and yellow ink.
  std::vector<uint8_t> cmyk;
  for (int i = 0; i < w * h; ++i) cmyk.insert(cmyk.end(), {255, 0, 0, 255});
  for (int storeAs : {JCS_CMYK, JCS_YCCK}) {
    dib = LoadOk(dir, EncodeTestJpeg(w, h, JCS_CMYK, 4, storeAs, cmyk, 95));
    ASSERT_TRUE(dib);
    EXPECT_TRUE(Near(0xFFFF0000u, PixelAt(*dib, 8, 8), 4)) << std::hex << PixelAt(*dib, 8, 8);
  }
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) ASSERT_EQ(0xFFu, PixelAt(*dib, x, y) >> 24);
  }
}

TEST(LoadDib, AProgressiveJpegLeavesItsCoefficientMemoryToTheNextPicture) {
  // A progressive photo holds all its coefficients until the last scan: tens of megabytes that
  // the next photo of a batch should find already touched. The decoder's large blocks must
  // therefore come from the thread's block cache and go back to it.
  CTempDir dir;
  const int w = 1024, h = 768;  // luma coefficients alone: 1024 * 768 * 2 bytes, 1.5 MB
  std::vector<uint8_t> rgb;
  for (int i = 0; i < w * h; ++i) {
    rgb.insert(rgb.end(), {static_cast<uint8_t>(i * 7), static_cast<uint8_t>(i / 3), 90});
  }
  const std::string jpeg = EncodeTestJpeg(w, h, JCS_RGB, 3, JCS_YCbCr, rgb, 90,
                                          std::vector<uint8_t>(), JpegLayout::Progressive);
  ReleaseCachedBlocks();
  CDibPtr dib = LoadOk(dir, jpeg);
  ASSERT_TRUE(dib);
  // The picture still holds its own pixels: what is kept now is the decoder's.
  EXPECT_GE(CachedBlockBytes(), static_cast<size_t>(w) * h * 2);
  const size_t keptWithPicture = CachedBlockBytes();
  dib.reset();
  EXPECT_GE(CachedBlockBytes(), keptWithPicture + static_cast<size_t>(w) * h * 4);
  ReleaseCachedBlocks();
  EXPECT_EQ(0u, CachedBlockBytes());
}

TEST(LoadDib, GdiplusFormatsLoadWhateverTheirName) {
  CTempDir dir;
  CDibPtr source = MakeDib(5, 4, [](int x, int y) { return 0xFF000000u | (x * 50) << 16 | (y * 60) << 8 | 0x33; });
  for (const wchar_t* mime : {L"image/bmp", L"image/tiff"}) {
    std::wstring path = dir / L"picture.png";  // the name lies: the signature decides
    ASSERT_TRUE(SaveWithGdiplus(*source, path, mime));
    CDibPtr dib;
    ASSERT_EQ(S_OK, LoadDib(path, &dib)) << mime;
    ASSERT_EQ(5, dib->Width());
    ASSERT_EQ(4, dib->Height());
    for (int y = 0; y < 4; ++y) {
      for (int x = 0; x < 5; ++x) ASSERT_EQ(PixelAt(*source, x, y), PixelAt(*dib, x, y)) << mime;
    }
  }
}

TEST(LoadDib, GifTransparencySurvivesAsAlpha) {
  CTempDir dir;
  std::vector<uint8_t> palette = {255, 0, 0, 0, 0, 255, 9, 9, 9, 0, 255, 0};
  std::vector<uint8_t> indices = {0, 1, 2, 3, 2, 2, 0, 1};  // 4 x 2, index 2 transparent
  HRESULT hr = E_FAIL;
  CDibPtr dib = LoadBytes(dir, EncodeTestGif(4, 2, palette, 2, indices), &hr, L"p.jpg");
  ASSERT_EQ(S_OK, hr);
  ASSERT_EQ(4, dib->Width());
  ASSERT_EQ(2, dib->Height());
  EXPECT_EQ(0xFFFF0000u, PixelAt(*dib, 0, 0));
  EXPECT_EQ(0xFF0000FFu, PixelAt(*dib, 1, 0));
  EXPECT_EQ(0u, PixelAt(*dib, 2, 0) >> 24);
  EXPECT_EQ(0xFF00FF00u, PixelAt(*dib, 3, 0));
  EXPECT_EQ(0u, PixelAt(*dib, 0, 1) >> 24);
  EXPECT_EQ(0xFF0000FFu, PixelAt(*dib, 3, 1));
}

TEST(LoadDib, FilesThatCannotBeOpenedGiveTheirCauseAndDamagedOnesNotImplemented) {
  CTempDir dir;
  CDibPtr dib;
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), LoadDib(dir / L"missing.png", &dib));
  EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), LoadDib(dir.Path(), &dib));  // a folder
  HRESULT hr = S_OK;
  EXPECT_FALSE(LoadBytes(dir, "this is not a picture at all", &hr));
  EXPECT_EQ(E_NOTIMPL, hr);
  EXPECT_FALSE(LoadBytes(dir, "", &hr));
  EXPECT_EQ(E_NOTIMPL, hr);

  std::vector<uint8_t> rgb(64 * 64 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7);
  std::string jpeg = EncodeTestJpeg(64, 64, JCS_RGB, 3, JCS_YCbCr, rgb, 90);
  TestPng png;
  png.width = png.height = 64;
  png.colorType = PNG_COLOR_TYPE_RGB;
  for (int y = 0; y < 64; ++y) png.rows.push_back(std::vector<uint8_t>(rgb.begin() + y * 192, rgb.begin() + y * 192 + 192));
  std::string pngBytes = EncodeTestPng(png);
  for (const std::string* whole : {&jpeg, &pngBytes}) {
    for (size_t keep : {whole->size() / 2, whole->size() - 20, size_t(12)}) {
      EXPECT_FALSE(LoadBytes(dir, whole->substr(0, keep), &hr)) << keep;
      EXPECT_EQ(E_NOTIMPL, hr) << keep;
    }
  }
  // A damaged byte inside the compressed PNG data breaks its checksum.
  std::string damaged = pngBytes;
  damaged[damaged.size() / 2] ^= 0x55;
  EXPECT_FALSE(LoadBytes(dir, damaged, &hr));
  EXPECT_EQ(E_NOTIMPL, hr);
}

TEST(LoadDib, LoadingLeavesTheFileFree) {
  CTempDir dir;
  CDibPtr source = MakeDib(3, 3, [](int, int) { return 0xFF112233u; });
  std::wstring path = dir / L"p.bmp";
  ASSERT_TRUE(SaveWithGdiplus(*source, path, L"image/bmp"));
  CDibPtr dib;
  ASSERT_EQ(S_OK, LoadDib(path, &dib));
  EXPECT_TRUE(DeleteFileW(path.c_str()));
}

namespace {

void PutBigEndian16(std::string* bytes, size_t at, unsigned value) {
  (*bytes)[at] = static_cast<char>(value >> 8);
  (*bytes)[at + 1] = static_cast<char>(value);
}

// A real small PNG whose header claims width x height (its checksum made to match).
std::string PngClaiming(uint32_t width, uint32_t height) {
  TestPng png;
  png.width = png.height = 4;
  png.colorType = PNG_COLOR_TYPE_RGB;
  png.rows.assign(4, std::vector<uint8_t>(12, 0x55));
  std::string bytes = EncodeTestPng(png);
  for (int i = 0; i < 4; ++i) {
    bytes[16 + i] = static_cast<char>(width >> (24 - 8 * i));
    bytes[20 + i] = static_cast<char>(height >> (24 - 8 * i));
  }
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(bytes.data() + 12), 17);
  for (int i = 0; i < 4; ++i) bytes[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
  return bytes;
}

// A real small JPEG whose frame header claims width x height.
std::string JpegClaiming(unsigned width, unsigned height, bool progressive) {
  std::vector<uint8_t> rgb(16 * 16 * 3, 0x80);
  std::string bytes = EncodeTestJpeg(16, 16, JCS_RGB, 3, JCS_YCbCr, rgb, 90);
  size_t sof = bytes.find("\xFF\xC0");
  if (progressive) bytes[sof + 1] = '\xC2';
  PutBigEndian16(&bytes, sof + 5, height);
  PutBigEndian16(&bytes, sof + 7, width);
  return bytes;
}

}  // namespace

TEST(LoadDib, PicturesBeyondThePixelBudgetAreRefusedBeforeDecoding) {
  CTempDir dir;
  const HRESULT kNoMemory = HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);
  HRESULT hr = S_OK;
  EXPECT_FALSE(LoadBytes(dir, PngClaiming(65500, 65500), &hr));
  EXPECT_EQ(kNoMemory, hr);
  EXPECT_FALSE(LoadBytes(dir, PngClaiming(16000, 10001), &hr));  // just over 160 megapixels
  EXPECT_EQ(kNoMemory, hr);
  EXPECT_FALSE(LoadBytes(dir, JpegClaiming(65500, 65500, false), &hr));
  EXPECT_EQ(kNoMemory, hr);
  EXPECT_FALSE(LoadBytes(dir, JpegClaiming(65500, 65500, true), &hr));
  EXPECT_EQ(kNoMemory, hr);
  // Within the budget, a header that lies about its size is merely undecodable.
  EXPECT_FALSE(LoadBytes(dir, PngClaiming(4000, 4000), &hr));
  EXPECT_EQ(E_NOTIMPL, hr);

  // What the decode holds is judged: a one-scan JPEG of a 200-megapixel phone (16320 x 12240),
  // loaded for a shrink to 1600 pixels, is decoded at an eighth or streamed, and gets as far as
  // its (missing) data; whole, or progressive (every coefficient held), it is refused.
  const std::wstring path = dir / L"phone.jpg";
  const ShrinkSettings box = {1, 0, 0, 1600, 1600};
  for (bool progressive : {false, true}) {
    ASSERT_TRUE(WriteBytes(path, JpegClaiming(16320, 12240, progressive)));
    CDibPtr dib;
    std::vector<ShrinkResult> shrinks;
    FitSize size;
    EXPECT_EQ(progressive ? kNoMemory : E_NOTIMPL, LoadDibForShrinks(path, {box}, &dib, &size)) << progressive;
    EXPECT_EQ(progressive ? kNoMemory : E_NOTIMPL, LoadDibOrShrinks(path, {box}, &dib, &shrinks, &size)) << progressive;
    EXPECT_EQ(kNoMemory, LoadDib(path, &dib)) << progressive;
  }
}

namespace {

// Records what each load tells it, and lets the load go on or not; with `wantedLooks` >= 0, it
// still wants the picture at that many looks during the decode and no more.
class CRecordingAdmission : public CLoadAdmission {
public:
  explicit CRecordingAdmission(bool allow, int wantedLooks = -1)
      : m_allow(allow), m_wantedLooks(wantedLooks) {}
  bool Admit(uint64_t pixels) override {
    told.push_back(pixels);
    return m_allow;
  }
  bool StillWanted() const override {
    ++looks;
    return m_wantedLooks < 0 || looks <= m_wantedLooks;
  }
  std::vector<uint64_t> told;
  mutable int looks = 0;

private:
  bool m_allow;
  int m_wantedLooks;
};

}  // namespace

TEST(LoadDib, TheAdmissionIsToldWhatTheDecodeHoldsOnceAndCanRefuseIt) {
  CTempDir dir;
  const std::wstring jpeg = dir / L"photo.jpg", progressive = dir / L"progressive.jpg",
                     png = dir / L"photo.png";
  ASSERT_EQ(S_OK, CreateJpegSaver(90)->Save(*MakePhotoLike(1600, 1200), jpeg));
  std::vector<uint8_t> samples(1600 * 1200 * 3);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 7 / 5);
  ASSERT_TRUE(WriteBytes(progressive, EncodeTestJpeg(1600, 1200, JCS_RGB, 3, JCS_YCbCr, samples, 90, {},
                                                     JpegLayout::Progressive)));
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(320, 240), png));
  const ShrinkSettings small = {1, 0, 0, 240, 240}, large = {1, 0, 0, 1280, 1280};
  struct Case {
    const std::wstring& path;
    std::vector<ShrinkSettings> shrinks;
    uint64_t told;
  } cases[] = {
      // Decoded at half size for the small box; a file of one scan holds a few rows of
      // coefficients, which do not count.
      {jpeg, {small}, 800 * 600},
      // The large box keeps the full size, for both boxes together too.
      {jpeg, {small, large}, 1600 * 1200},
      // A progressive file holds the stored picture's coefficients: with 4:2:0 subsampling,
      // 3 bytes per pixel, three quarters of a pixel of four bytes.
      {progressive, {small}, 800 * 600 + 1600 * 1200 * 3 / 4},
      {progressive, {small, large}, 1600 * 1200 + 1600 * 1200 * 3 / 4},
      {png, {small}, 320 * 240},
  };
  for (const Case& c : cases) {
    CRecordingAdmission allow(true);
    CDibPtr dib;
    FitSize size;
    EXPECT_EQ(S_OK, LoadDibForShrinks(c.path, c.shrinks, &dib, &size, &allow));
    EXPECT_EQ(std::vector<uint64_t>{c.told}, allow.told);

    CRecordingAdmission refuse(false);
    EXPECT_EQ(E_ABORT, LoadDibForShrinks(c.path, c.shrinks, &dib, &size, &refuse));
    EXPECT_FALSE(dib);
    EXPECT_EQ(1u, refuse.told.size());
  }
}

// Set by SaveTest.cpp's operator new: while true on a thread, every allocation through it fails.
extern thread_local bool t_refuseNew;

TEST(LoadDib, AStreamedPictureKeptWholeAfterAllIsAdmittedAgainWithItsWholeSize) {
  CTempDir dir;
  const std::wstring jpeg = dir / L"photo.jpg";
  ASSERT_EQ(S_OK, CreateJpegSaver(90)->Save(*MakePhotoLike(1600, 1200), jpeg));
  // Once admitted with its shrinks, the picture finds no memory for its band of rows (the only
  // allocation through operator new before the decoder's rows come), so it is kept whole: the
  // admission is asked again, with the whole picture, before that is allocated.
  class CMemoryGoesAfterAdmission : public CLoadAdmission {
  public:
    bool Admit(uint64_t pixels) override {
      t_refuseNew = false;
      told.push_back(pixels);
      t_refuseNew = told.size() == 1;
      return true;
    }
    std::vector<uint64_t> told;
  } admission;
  CDibPtr dib;
  std::vector<ShrinkResult> shrinks;
  FitSize size;
  const HRESULT hr = LoadDibOrShrinks(jpeg, {{1, 0, 0, 160, 160}}, &dib, &shrinks, &size, &admission);
  t_refuseNew = false;
  ASSERT_EQ(S_OK, hr);
  // The shrink's pixels, then the picture decoded at a quarter (400 x 300 still holds twice the
  // 160 x 120 target).
  EXPECT_EQ((std::vector<uint64_t>{160 * 120, 400 * 300}), admission.told);
  EXPECT_TRUE(shrinks.empty());
  ASSERT_TRUE(dib);
  EXPECT_EQ(400, dib->Width());
}

TEST(LoadDib, ALoadNoLongerWantedStopsWhileItDecodes) {
  // Baseline and progressive JPEG and PNG alike look every few rows whether the picture is still
  // wanted, and stop at the first look that says no: nothing is kept of the picture.
  CTempDir dir;
  const int width = 640, height = 480;
  std::vector<uint8_t> samples(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint8_t>(i * 7 / 5);
  const std::wstring baseline = dir / L"baseline.jpg", progressive = dir / L"progressive.jpg",
                     png = dir / L"photo.png";
  ASSERT_TRUE(WriteBytes(baseline, EncodeTestJpeg(width, height, JCS_RGB, 3, JCS_YCbCr, samples, 90)));
  ASSERT_TRUE(WriteBytes(progressive, EncodeTestJpeg(width, height, JCS_RGB, 3, JCS_YCbCr, samples, 90,
                                                     {}, JpegLayout::Progressive)));
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(width, height), png));
  const std::vector<ShrinkSettings> keepSize = {{0, 0, 0, 0, 0}};
  for (const std::wstring& path : {baseline, progressive, png}) {
    SCOPED_TRACE(path);
    CDibPtr dib;
    FitSize size;
    CRecordingAdmission wanted(true);
    ASSERT_EQ(S_OK, LoadDibForShrinks(path, keepSize, &dib, &size, &wanted));
    EXPECT_TRUE(dib);
    EXPECT_GT(wanted.looks, 3);

    CRecordingAdmission dropped(true, 2);
    EXPECT_EQ(E_ABORT, LoadDibForShrinks(path, keepSize, &dib, &size, &dropped));
    EXPECT_FALSE(dib);
    EXPECT_EQ(3, dropped.looks);
  }
}

namespace {

bool SameBytes(const CDib& a, const CDib& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height() || a.BitCount() != b.BitCount()) return false;
  PixelRows ra = a.Rows(), rb = b.Rows();
  for (uint32_t y = 0; y < ra.height; ++y) {
    if (std::memcmp(ra.Row(y), rb.Row(y), ra.width * 4) != 0) return false;
  }
  return true;
}

}  // namespace

TEST(LoadDib, ShrinksMadeAsTheRowsComeAreTheBytesOfShrinksOfTheWholePicture) {
  // A task's shrinks are made from the decoder's rows as they come, and the decoded picture is
  // never held: each must be exactly the shrink of the picture loaded whole, or, where it is at
  // most a quarter of another shrink and would alone get a smaller decode, the shrink of that
  // shrink, as close to a full-scale decode's result as its own decode would be. Baseline,
  // progressive and CMYK files; decoded heights of every remainder by four (803, 402, 201, 101);
  // every JPEG scale, alone and together.
  CTempDir dir;
  const int width = 1203, height = 803;
  CDibPtr photo = MakePhotoLike(width, height);
  const std::vector<uint8_t> rgb = RgbSamples(*photo);
  std::vector<uint8_t> cmyk;
  for (size_t i = 0; i < rgb.size(); i += 3) {
    uint8_t k = static_cast<uint8_t>(255 - std::max({rgb[i], rgb[i + 1], rgb[i + 2]}) / 2);
    cmyk.insert(cmyk.end(), {static_cast<uint8_t>(255 - rgb[i]), static_cast<uint8_t>(255 - rgb[i + 1]),
                             static_cast<uint8_t>(255 - rgb[i + 2]), k});
  }
  const std::wstring baseline = dir / L"baseline.jpg", progressive = dir / L"progressive.jpg",
                     inks = dir / L"cmyk.jpg", large = dir / L"large.jpg";
  ASSERT_EQ(S_OK, CreateJpegSaver(90)->Save(*photo, baseline));
  ASSERT_TRUE(WriteBytes(progressive, EncodeTestJpeg(width, height, JCS_RGB, 3, JCS_YCbCr, rgb, 90, {},
                                                     JpegLayout::Progressive)));
  ASSERT_TRUE(WriteBytes(inks, EncodeTestJpeg(width, height, JCS_CMYK, 4, JCS_YCCK, cmyk, 90)));
  ASSERT_EQ(S_OK, CreateJpegSaver(90)->Save(*MakePhotoLike(2400, 1600), large));
  const ShrinkSettings eighth = {1, 0, 0, 70, 70}, quarter = {1, 0, 0, 140, 140}, half = {1, 0, 0, 300, 300},
                       whole = {1, 0, 0, 700, 700}, odd = {1, 0, 0, 333, 97};
  const size_t rows = static_cast<size_t>(-1);
  struct Case {
    std::vector<ShrinkSettings> set;
    std::vector<size_t> madeFrom;  // by shrink: `rows`, or the shrink it is made from
  };
  const std::vector<Case> cases = {
      {{eighth}, {rows}}, {{quarter}, {rows}}, {{half}, {rows}}, {{whole}, {rows}},
      // 70x47 is a quarter of 300x200 and of 700x467 (the smaller one feeds it); 300x200 is not
      // a quarter of 700x467.
      {{eighth, half, whole}, {1, rows, rows}},
      {{odd, quarter}, {rows, rows}}};
  auto check = [&](const std::wstring& path, const Case& c) {
    const std::vector<ShrinkSettings>& set = c.set;
    CRecordingAdmission admission(true);
    CDibPtr dib;
    std::vector<ShrinkResult> shrinks;
    FitSize size = {0, 0};
    ASSERT_EQ(S_OK, LoadDibOrShrinks(path, set, &dib, &shrinks, &size, &admission));
    EXPECT_FALSE(dib);
    ASSERT_EQ(set.size(), shrinks.size());

    CDibPtr loaded, full;
    FitSize loadedSize;
    ASSERT_EQ(S_OK, LoadDibForShrinks(path, set, &loaded, &loadedSize));
    ASSERT_EQ(S_OK, LoadDib(path, &full));
    EXPECT_EQ(loadedSize.width, size.width);
    EXPECT_EQ(loadedSize.height, size.height);
    std::vector<ShrinkResult> expected(set.size());
    uint64_t shrunkPixels = 0;
    for (size_t i = set.size(); i-- > 0;) {  // a shrink is made from a larger one, later in the set
      const bool fromRows = c.madeFrom[i] == rows;
      expected[i] = ShrinkImage(set[i], fromRows ? loaded : expected[c.madeFrom[i]].image, &loadedSize);
      ASSERT_TRUE(expected[i].image && shrinks[i].image);
      EXPECT_EQ(ShrinkPlan::Scale, shrinks[i].plan);
      EXPECT_TRUE(SameBytes(*expected[i].image, *shrinks[i].image)) << "shrink " << i;
      shrunkPixels += static_cast<uint64_t>(expected[i].image->Width()) * expected[i].image->Height();
      if (fromRows) continue;
      CDibPtr alone;
      FitSize aloneSize;
      ASSERT_EQ(S_OK, LoadDibForShrink(path, set[i], &alone, &aloneSize));
      EXPECT_LT(alone->Width(), loaded->Width());
      ShrinkResult fromFull = ShrinkImage(set[i], full), fromAlone = ShrinkImage(set[i], alone, &aloneSize);
      EXPECT_GT(Psnr(*shrinks[i].image, *fromFull.image), Psnr(*fromAlone.image, *fromFull.image) + 3.0)
          << "shrink " << i;
    }
    // The admission is told the shrinks, and a progressive file's coefficients, not the picture:
    // 4:2:0, so a block of 8 x 8 luma samples per 64 pixels and one of each chroma per 256, each
    // 128 bytes, counted in pixels of 4 bytes.
    const uint64_t blocks = uint64_t((width + 7) / 8) * ((height + 7) / 8) + 2 * uint64_t((width + 15) / 16) * ((height + 15) / 16);
    const uint64_t coefficients = path == progressive ? blocks * 128 / 4 : 0;
    EXPECT_EQ(std::vector<uint64_t>{shrunkPixels + coefficients}, admission.told);
  };
  for (const std::wstring& path : {baseline, progressive, inks}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << std::string(path.begin(), path.end()) << ", first box "
                                      << c.set[0].CustomWidth << ", " << c.set.size() << " shrinks");
      check(path, c);
    }
  }
  // 37x25 is a quarter of 150x100, but both alone get the same decode, an eighth of 2400x1600:
  // the smaller one keeps the bytes of that decode.
  SCOPED_TRACE("2400x1600, boxes 150 and 37");
  check(large, {{{1, 0, 0, 150, 150}, {1, 0, 0, 37, 37}}, {rows, rows}});
}

TEST(LoadDib, APictureThatCannotBeStreamedIsLoadedWhole) {
  // A picture stored turned must be turned upright first, a shrink that keeps the picture needs
  // it whole, and a PNG is decoded whole: each comes back as the picture, with no shrinks.
  CTempDir dir;
  CDibPtr photo = MakePhotoLike(400, 300);
  std::vector<uint8_t> app1 = {'E', 'x', 'i', 'f', 0, 0};
  std::vector<uint8_t> exif = MakeExifBlock(6, false);
  app1.insert(app1.end(), exif.begin(), exif.end());
  const std::wstring turned = dir / L"turned.jpg", plain = dir / L"plain.jpg", png = dir / L"plain.png";
  ASSERT_TRUE(WriteBytes(turned, EncodeTestJpeg(400, 300, JCS_RGB, 3, JCS_YCbCr, RgbSamples(*photo), 90, app1)));
  ASSERT_EQ(S_OK, CreateJpegSaver(90)->Save(*photo, plain));
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*photo, png));
  const ShrinkSettings small = {1, 0, 0, 100, 100}, keep = {0, 0, 0, 0, 0}, larger = {1, 0, 0, 500, 500};
  struct Case {
    const std::wstring& path;
    std::vector<ShrinkSettings> set;
    int width, height;
  } cases[] = {
      {turned, {small}, 300, 400},
      {plain, {small, keep}, 400, 300},
      {plain, {larger, small}, 400, 300},
      {png, {small}, 400, 300},
  };
  for (const Case& c : cases) {
    CDibPtr dib;
    std::vector<ShrinkResult> shrinks;
    FitSize size;
    ASSERT_EQ(S_OK, LoadDibOrShrinks(c.path, c.set, &dib, &shrinks, &size));
    ASSERT_TRUE(dib);
    EXPECT_TRUE(shrinks.empty());
    EXPECT_EQ(c.width, size.width);
    EXPECT_EQ(c.height, size.height);
  }
}

TEST(LoadDib, ColorsOfAProfileReachSrgbWhetherThePictureIsKeptOrStreamed) {
  // A JPEG whose profile exchanges red and green: its stored green is sRGB red, whether loaded
  // whole, streamed into shrinks or kept whole for a shrink that keeps its size. An sRGB profile
  // changes no byte of either path. Grey and CMYK files are converted through their profiles.
  CTempDir dir;
  const int w = 320, h = 240;
  std::vector<uint8_t> green;
  for (int i = 0; i < w * h; ++i) green.insert(green.end(), {40, 220, 40});
  const std::string plain = EncodeTestJpeg(w, h, JCS_RGB, 3, JCS_YCbCr, green, 95);
  const std::wstring swapped = dir / L"swapped.jpg", srgb = dir / L"srgb.jpg", untagged = dir / L"untagged.jpg";
  ASSERT_TRUE(WriteBytes(swapped, WithIccProfile(plain, SwappedRedGreenProfile())));
  ASSERT_TRUE(WriteBytes(srgb, WithIccProfile(plain, SrgbProfile())));
  ASSERT_TRUE(WriteBytes(untagged, plain));
  const uint32_t kRed = 0xFFDC2828u;  // (220, 40, 40)

  CDibPtr dib;
  ASSERT_EQ(S_OK, LoadDib(swapped, &dib));
  EXPECT_TRUE(Near(kRed, PixelAt(*dib, w / 2, h / 2), 4)) << std::hex << PixelAt(*dib, w / 2, h / 2);
  const ShrinkSettings small = {1, 0, 0, 80, 80}, keep = {0, 0, 0, 0, 0};
  for (const std::vector<ShrinkSettings>& set : {std::vector<ShrinkSettings>{small}, {small, keep}}) {
    std::vector<ShrinkResult> shrinks;
    FitSize size;
    ASSERT_EQ(S_OK, LoadDibOrShrinks(swapped, set, &dib, &shrinks, &size));
    const CDib& picture = shrinks.empty() ? *dib : *shrinks[0].image;
    EXPECT_EQ(set.size() == 1, !shrinks.empty()) << "streamed only when every shrink scales down";
    EXPECT_TRUE(Near(kRed, PixelAt(picture, picture.Width() / 2, picture.Height() / 2), 4))
        << set.size() << " " << std::hex << PixelAt(picture, picture.Width() / 2, picture.Height() / 2);
  }

  CDibPtr tagged, bare;
  ASSERT_EQ(S_OK, LoadDib(srgb, &tagged));
  ASSERT_EQ(S_OK, LoadDib(untagged, &bare));
  EXPECT_TRUE(SameBytes(*tagged, *bare));
  std::vector<ShrinkResult> taggedShrinks, bareShrinks;
  FitSize size;
  ASSERT_EQ(S_OK, LoadDibOrShrinks(srgb, {small}, &tagged, &taggedShrinks, &size));
  ASSERT_EQ(S_OK, LoadDibOrShrinks(untagged, {small}, &bare, &bareShrinks, &size));
  ASSERT_EQ(1u, taggedShrinks.size());
  ASSERT_EQ(1u, bareShrinks.size());
  EXPECT_TRUE(SameBytes(*taggedShrinks[0].image, *bareShrinks[0].image));

  std::vector<uint8_t> grey(16 * 16, 128);
  dib = LoadOk(dir, WithIccProfile(EncodeTestJpeg(16, 16, JCS_GRAYSCALE, 1, JCS_GRAYSCALE, grey, 95), LinearGreyProfile()));
  ASSERT_TRUE(dib);
  EXPECT_TRUE(Near(0xFFBCBCBCu, PixelAt(*dib, 8, 8), 2)) << std::hex << PixelAt(*dib, 8, 8);

  // Full cyan ink alone, stored inverted under libjpeg's Adobe marker: magenta with these inks,
  // where the plain conversion gives cyan.
  std::vector<uint8_t> cyanInk;
  for (int i = 0; i < 16 * 16; ++i) cyanInk.insert(cyanInk.end(), {0, 255, 255, 255});
  for (int storeAs : {JCS_CMYK, JCS_YCCK}) {
    const std::string cmyk = EncodeTestJpeg(16, 16, JCS_CMYK, 4, storeAs, cyanInk, 95);
    dib = LoadOk(dir, cmyk);
    ASSERT_TRUE(dib);
    EXPECT_TRUE(Near(0xFF00FFFFu, PixelAt(*dib, 8, 8), 4)) << std::hex << PixelAt(*dib, 8, 8);
    dib = LoadOk(dir, WithIccProfile(cmyk, SwappedInksCmykProfile()));
    ASSERT_TRUE(dib);
    EXPECT_TRUE(Near(0xFFFF00FFu, PixelAt(*dib, 8, 8), 4)) << std::hex << PixelAt(*dib, 8, 8);
  }
}
