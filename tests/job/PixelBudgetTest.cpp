// Pictures at the pixel budget (160 megapixels) through every step of a task: decoding, shrinking
// or not, filling the background, palette trial and encoding, and a larger phone photo that only
// its shrinks are made of. The 32-bit product must hold them within its address space as the
// 64-bit twin does.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>

#include "image/decode/LoadDib.h"
#include "job/ShrinkTaskEx.h"
#include "support/ImageCalls.h"
#include "support/TempDir.h"
#include "support/TestFiles.h"

namespace {

const int kWidth = 16000, kHeight = 10000;  // exactly the budget
static_assert(static_cast<uint64_t>(kWidth) * kHeight == kPixelBudget, "at the budget");

// Smooth ramps with a coarse texture: compresses well, and has too many colours for a palette.
void Ramps(int y, uint8_t* samples, int channels) {
  for (int x = 0; x < kWidth; ++x) {
    uint8_t* p = samples + static_cast<size_t>(x) * channels;
    p[0] = static_cast<uint8_t>(x >> 6);
    p[1] = static_cast<uint8_t>(y >> 5);
    p[2] = static_cast<uint8_t>((x + y) >> 7);
    if (channels == 4) p[3] = static_cast<uint8_t>(x * 255 / (kWidth - 1));
  }
}

ShrinkProfile Profile(const std::wstring& folder, const wchar_t* prefix, ShrinkMethod method,
                      int type) {
  ShrinkProfile p;
  p.Folder = folder;
  p.Prefix = prefix;
  p.ShrinkType = static_cast<int32_t>(method);
  p.CustomWidth = p.CustomHeight = 640;
  p.SaveFormat.Type = type;
  return p;
}

// Runs the task on this thread, as the worker runs each task of a batch; the error text on failure.
std::wstring RunTask(const std::wstring& source, const std::vector<ShrinkProfile>& profiles) {
  CShrinkTaskExPtr task = CShrinkTaskEx::Create();
  task->SetSource(source);
  task->AddProfiles(profiles, profiles.size());
  task->Run();
  return task->GetErrorNumber() == 0 ? std::wstring() : task->GetErrorText();
}

// The thread's state after a batch of 20-megapixel photos: buffers kept for the next picture.
class PixelBudget : public ::testing::Test {
protected:
  void SetUp() override {
    const std::wstring photo = m_dir / L"photo.jpg";
    ASSERT_TRUE(WriteBytes(photo, EncodeLargeJpeg(5000, 4000, JpegLayout::Baseline, false,
                                                  [](int y, uint8_t* s) { std::memset(s, y, 15000); })));
    ASSERT_EQ(L"", RunTask(photo, {Profile(m_dir.Path(), L"p_", ShrinkMethod::None, SaveFormat::Jpeg)}));
  }
  void TearDown() override { ReleaseThreadImageBuffers(); }

  CTempDir m_dir;
};

// The picture's stored size: a PNG's from its header, a JPEG's as the decoder reads it (decoded
// at 1/8 scale, to keep this test light).
FitSize StoredSize(const std::wstring& path) {
  if (path.size() > 4 && path.compare(path.size() - 4, 4, L".png") == 0) {
    const std::string bytes = ReadBytes(path);
    if (bytes.size() < 24) return {0, 0};
    auto be32 = [&bytes](size_t at) {
      return static_cast<int32_t>(static_cast<uint8_t>(bytes[at]) << 24 | static_cast<uint8_t>(bytes[at + 1]) << 16 |
                                  static_cast<uint8_t>(bytes[at + 2]) << 8 | static_cast<uint8_t>(bytes[at + 3]));
    };
    return {be32(16), be32(20)};
  }
  CDibPtr dib;
  FitSize size = {0, 0};
  EXPECT_EQ(S_OK, LoadDibForShrink(path, {1, 0, 0, 100, 100}, &dib, &size));
  return size;
}

void ExpectBudgetSize(const std::wstring& path) {
  FitSize size = StoredSize(path);
  EXPECT_EQ(kWidth, size.width);
  EXPECT_EQ(kHeight, size.height);
}

void ExpectShrunk(const std::wstring& path) {
  FitSize size = StoredSize(path);
  EXPECT_EQ(640, size.width);
  EXPECT_EQ(400, size.height);
}

}  // namespace

TEST_F(PixelBudget, BaselineJpegKeptWholeAndShrunk) {
  const CTempDir& dir = m_dir;
  const std::wstring source = dir / L"big.jpg";
  ASSERT_TRUE(WriteBytes(source, EncodeLargeJpeg(kWidth, kHeight, JpegLayout::Baseline, false,
                                                 [](int y, uint8_t* s) { Ramps(y, s, 3); })));
  EXPECT_EQ(L"", RunTask(source, {Profile(dir.Path(), L"whole_", ShrinkMethod::None, SaveFormat::Jpeg),
                                  Profile(dir.Path(), L"fit_", ShrinkMethod::Custom, SaveFormat::Png)}));
  ExpectBudgetSize(dir / L"whole_big.jpg");
  ExpectShrunk(dir / L"fit_big.png");
}

// A progressive JPEG keeps every coefficient of the picture while it decodes, at full chroma
// resolution 6 bytes per pixel, however small the scale it is decoded at.
TEST_F(PixelBudget, ProgressiveFullChromaJpegShrunkAndKeptWhole) {
  const CTempDir& dir = m_dir;
  const std::wstring source = dir / L"big.jpg";
  ASSERT_TRUE(WriteBytes(source, EncodeLargeJpeg(kWidth, kHeight, JpegLayout::Progressive, true,
                                                 [](int y, uint8_t* s) { Ramps(y, s, 3); })));
  EXPECT_EQ(L"", RunTask(source, {Profile(dir.Path(), L"fit_", ShrinkMethod::Custom, SaveFormat::Jpeg),
                                  Profile(dir.Path(), L"whole_", ShrinkMethod::None, SaveFormat::Png)}));
  ExpectShrunk(dir / L"fit_big.jpg");
  ExpectBudgetSize(dir / L"whole_big.png");
}

TEST_F(PixelBudget, TranslucentPngKeptWithAlphaAndFlattened) {
  const CTempDir& dir = m_dir;
  const std::wstring source = dir / L"big.png";
  ASSERT_TRUE(WriteBytes(source, EncodeLargePng(kWidth, kHeight, true,
                                                [](int y, uint8_t* s) { Ramps(y, s, 4); })));
  ShrinkProfile keep = Profile(dir.Path(), L"whole_", ShrinkMethod::None, SaveFormat::Png);
  keep.Transparent = true;
  EXPECT_EQ(L"", RunTask(source, {keep,
                                  Profile(dir.Path(), L"flat_", ShrinkMethod::None, SaveFormat::Jpeg),
                                  Profile(dir.Path(), L"fit_", ShrinkMethod::Custom, SaveFormat::Png)}));
  ExpectBudgetSize(dir / L"whole_big.png");
  ExpectBudgetSize(dir / L"flat_big.jpg");
  ExpectShrunk(dir / L"fit_big.png");
}

// A 200-megapixel phone photo (16320 x 12240, one scan) holds only what its shrink needs: an
// eighth of its picture, or the shrink alone as its rows pass. Kept at its own size it would hold
// more than a decode may, and is refused with nothing written.
TEST_F(PixelBudget, TwoHundredMegapixelPhonePhotoIsShrunk) {
  const CTempDir& dir = m_dir;
  const int width = 16320, height = 12240;
  const std::wstring source = dir / L"phone.jpg";
  ASSERT_TRUE(WriteBytes(source, EncodeLargeJpeg(width, height, JpegLayout::Baseline, false, [width](int y, uint8_t* s) {
    for (int x = 0; x < width; ++x) {
      s[3 * x] = static_cast<uint8_t>(x >> 6);
      s[3 * x + 1] = static_cast<uint8_t>(y >> 6);
      s[3 * x + 2] = static_cast<uint8_t>((x + y) >> 7);
    }
  })));
  ShrinkProfile box = Profile(dir.Path(), L"fit_", ShrinkMethod::Custom, SaveFormat::Jpeg);
  box.CustomWidth = box.CustomHeight = 1600;
  EXPECT_EQ(L"", RunTask(source, {box}));
  const FitSize fit = StoredSize(dir / L"fit_phone.jpg");
  EXPECT_EQ(1600, fit.width);
  EXPECT_EQ(1200, fit.height);
  // With a second, smaller shrink the picture is streamed for both.
  ShrinkProfile small = Profile(dir.Path(), L"small_", ShrinkMethod::Custom, SaveFormat::Png);
  box.Prefix = L"fit2_";
  EXPECT_EQ(L"", RunTask(source, {box, small}));
  const FitSize smallSize = StoredSize(dir / L"small_phone.png");
  EXPECT_EQ(640, smallSize.width);
  EXPECT_EQ(480, smallSize.height);

  EXPECT_NE(L"", RunTask(source, {Profile(dir.Path(), L"whole_", ShrinkMethod::None, SaveFormat::Jpeg)}));
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((dir / L"whole_phone.jpg").c_str()));
}
