// Running a task: every enabled profile from folder to output, the errors it records with their
// exact texts, and the points where it gives way to a stop request.
#include <windows.h>

#include <utility>

#include <zlib.h>

#include <gtest/gtest.h>

#include "base/ExifDate.h"
#include "base/Handle.h"
#include "base/Orientation.h"
#include "base/ResourceText.h"
#include "image/FileIo.h"
#include "image/decode/LoadDib.h"
#include "image/codec/JpegCodec.h"
#include "image/codec/PngCodec.h"
#include "image/codec/WebpCodec.h"
#include "image/encode/ImageSaver.h"
#include "job/SharedSource.h"
#include "job/ShrinkTaskEx.h"
#include "job/Thread.h"
#include "res/StringIds.h"
#include "support/ImageCalls.h"
#include "support/Pictures.h"
#include "support/TempDir.h"

namespace {

// A worker whose stop request appears at its n-th look (1 = the first check).
class CStopAtCheck : public CThread {
public:
  explicit CStopAtCheck(int stopAt) : m_stopAt(stopAt) {}
  unsigned Run() override { return 0; }
  bool Start() override { return false; }
  void Wait(DWORD) override {}
  bool IsStopping() const override { return ++m_looks >= m_stopAt; }
  int Looks() const { return m_looks; }

private:
  int m_stopAt;
  mutable int m_looks = 0;
};

ShrinkProfile Profile(const std::wstring& folder, const std::wstring& prefix, int type) {
  ShrinkProfile p;
  p.Folder = folder;
  p.Prefix = prefix;
  p.SaveFormat.Type = type;
  return p;
}

CShrinkTaskExPtr Task(const std::wstring& source, const std::vector<ShrinkProfile>& profiles) {
  CShrinkTaskExPtr task = CShrinkTaskEx::Create();
  task->SetSource(source);
  task->AddProfiles(profiles, profiles.size());
  return task;
}

std::wstring Message(unsigned id, const wchar_t* argument = nullptr) {
  std::wstring text;
  if (argument) {
    EXPECT_TRUE(FormatResourceString(&text, id, argument));
  } else {
    EXPECT_TRUE(FormatResourceString(&text, id));
  }
  return text;
}

// A translucent picture of a few colours: a 16-pixel frame of transparent, the rest in four hues.
CDibPtr FewColors(int w, int h) {
  return MakeDib(w, h, [=](int x, int y) {
    if (x < 16 || y < 16 || x >= w - 16 || y >= h - 16) return 0u;
    static const uint32_t hues[4] = {0xFFFF0000u, 0xFF00FF00u, 0x800000FFu, 0xFFFFFFFFu};
    return hues[(x / 32 + y / 32) % 4];
  });
}

std::wstring WritePng(const CTempDir& dir, const wchar_t* name, const CDib& picture) {
  std::wstring path = dir / name;
  EXPECT_EQ(S_OK, CreatePngSaver()->Save(picture, path));
  return path;
}

int PngColorType(const std::wstring& path) {
  std::string bytes = ReadBytes(path);
  return bytes.size() > 25 ? static_cast<unsigned char>(bytes[25]) : -1;
}

}  // namespace

TEST(Messages, FormattedTextsAndFailureTexts) {
  EXPECT_EQ(L"画像の読み込みに失敗しました - abc", Message(IDS_MSG_LOAD_FAILED, L"abc"));
  std::wstring out = L"unchanged";
  EXPECT_FALSE(FormatResourceString(&out, 64999));
  EXPECT_EQ(L"unchanged", out);
  EXPECT_FALSE(LoadResourceString(&out, 64999));
  EXPECT_TRUE(out.empty());
  // A long argument is cut at the format's length plus 1,023 characters.
  std::wstring format;
  ASSERT_TRUE(LoadResourceString(&format, IDS_MSG_LOAD_FAILED));
  std::wstring longText(5000, L'x');
  EXPECT_EQ(format.size() + 1023, Message(IDS_MSG_LOAD_FAILED, longText.c_str()).size());

  std::wstring denied = HResultText(static_cast<long>(0x80070005));
  EXPECT_FALSE(denied.empty());
  EXPECT_EQ(HResultText(5), denied);
  EXPECT_NE(std::wstring::npos, denied.find(L'\n'));  // the system's text with its line end
  EXPECT_EQ(L"Unknown HRESULT: 8badf00d", HResultText(static_cast<long>(0x8BADF00D)));

  // A load that no decoder could make names the file's fault; every other reason is the system's.
  EXPECT_EQ(L"ファイルが壊れているか、読み込める形式の画像ではありません", ReasonText(IDS_MSG_LOAD_FAILED, E_NOTIMPL));
  EXPECT_EQ(denied, ReasonText(IDS_MSG_LOAD_FAILED, static_cast<long>(0x80070005)));
  EXPECT_EQ(HResultText(E_NOTIMPL), ReasonText(IDS_MSG_RESIZE_FAILED, E_NOTIMPL));
}

TEST(ShrinkTask, DisabledProfilesDoNothing) {
  CTempDir dir;
  std::vector<ShrinkProfile> profiles(3, Profile(dir / L"out", L"s", 0));
  for (ShrinkProfile& p : profiles) p.Use = false;
  CShrinkTaskExPtr task = Task(dir / L"missing.png", profiles);
  task->Run();
  EXPECT_EQ(0, task->GetErrorNumber());
  EXPECT_TRUE(task->GetErrorText().empty());
  EXPECT_FALSE(FileExists(dir / L"out"));
}

TEST(ShrinkTask, FailedLoadIsRecordedPerProfileAndTheLastErrorWins) {
  CTempDir dir;
  std::wstring source = dir / L"broken.png";
  ASSERT_TRUE(WriteBytes(source, "\x89PNG\r\n\x1a\nnot really"));
  CShrinkTaskExPtr task = Task(source, {Profile(dir / L"a", L"s", 0), Profile(dir / L"b", L"s", 1)});
  task->Run();
  EXPECT_EQ(IDS_MSG_LOAD_FAILED, task->GetErrorNumber());
  // The file's fault in words a user understands, never "Not implemented".
  EXPECT_EQ(Message(IDS_MSG_LOAD_FAILED, ResourceString(IDS_MSG_PICTURE_UNREADABLE).c_str()) + L"\n\n" + source,
            task->GetErrorText());
  EXPECT_EQ(std::wstring::npos, task->GetErrorText().find(HResultText(E_NOTIMPL)));
  EXPECT_TRUE(FileExists(dir / L"b"));  // the second profile still ran its folder step

  // A later profile's different error replaces the first: a folder on a missing drive.
  task = Task(source, {Profile(dir / L"a", L"s", 0), Profile(L"Q:\\", L"s", 0)});
  task->Run();
  EXPECT_EQ(IDS_MSG_CREATE_FOLDER_FAILED, task->GetErrorNumber());
  EXPECT_EQ(Message(IDS_MSG_CREATE_FOLDER_FAILED) + L"\n\nQ:\\\n" + HResultText(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)),
            task->GetErrorText());

  // Three profiles around a folder that cannot be made: the source is read once, its failure is
  // still each loading profile's own message, and the folder's message stays where it fell.
  for (const bool folderLast : {false, true}) {
    std::vector<ShrinkProfile> three = {Profile(dir / L"c", L"s", 0), Profile(L"Q:\\", L"s", 0),
                                        Profile(dir / L"d", L"s", 1)};
    if (folderLast) std::swap(three[1], three[2]);
    task = Task(source, three);
    task->Run();
    EXPECT_EQ(folderLast ? IDS_MSG_CREATE_FOLDER_FAILED : IDS_MSG_LOAD_FAILED, task->GetErrorNumber());
    EXPECT_TRUE(FileExists(dir / L"c") && FileExists(dir / L"d"));
    EXPECT_EQ(0, CountEntries(dir / L"c") + CountEntries(dir / L"d"));
  }
}

TEST(ShrinkTask, ProfilesShareOneDecodeAtTheScaleTheLargestNeeds) {
  // A 1600 x 1200 JPEG: alone, a 240 box would be decoded at half size, a 640 box at full size.
  CTempDir dir;
  const std::wstring source = dir / L"photo.jpg";
  ASSERT_EQ(S_OK, CreateJpegSaver(92)->Save(*MakePhotoLike(1600, 1200), source));
  auto fit = [&](const wchar_t* folder, int box, int type) {
    ShrinkProfile p = Profile(dir / folder, L"s", type);
    p.ShrinkType = 1;
    p.CustomWidth = p.CustomHeight = box;
    return p;
  };
  const ShrinkProfile small = fit(L"small", 240, 0), middle = fit(L"middle", 640, 1),
                      large = fit(L"large", 1280, 1);
  const ShrinkProfile alone[3] = {fit(L"small1", 240, 0), fit(L"middle1", 640, 1), fit(L"large1", 1280, 1)};
  CShrinkTaskExPtr task = Task(source, {small, middle, large});
  task->Run();
  ASSERT_EQ(0, task->GetErrorNumber()) << task->GetErrorText();
  for (const ShrinkProfile& p : alone) {
    CShrinkTaskExPtr one = Task(source, {p});
    one->Run();
    ASSERT_EQ(0, one->GetErrorNumber());
  }
  // The profiles that decode at full size alone write the same bytes from the shared decode.
  EXPECT_EQ(ReadBytes(dir / L"middle1\\sphoto.jpg"), ReadBytes(dir / L"middle\\sphoto.jpg"));
  EXPECT_EQ(ReadBytes(dir / L"large1\\sphoto.jpg"), ReadBytes(dir / L"large\\sphoto.jpg"));
  // The small one, a quarter of the large one, is made from the large one's shrink of the
  // full-size decode: closer to the shrink of the full-size picture than the half-size decode's.
  CDibPtr full, shared, halfScale;
  ASSERT_EQ(S_OK, LoadDib(source, &full));
  const FitSize fileSize = {1600, 1200};
  ShrinkResult direct = ShrinkImage(ShrinkSettingsOf(small), full);
  ShrinkResult expected = ShrinkImage(ShrinkSettingsOf(small), ShrinkImage(ShrinkSettingsOf(large), full).image, &fileSize);
  ASSERT_TRUE(direct.image && expected.image);
  ASSERT_EQ(S_OK, LoadDib(dir / L"small\\sphoto.png", &shared));
  ASSERT_EQ(S_OK, LoadDib(dir / L"small1\\sphoto.png", &halfScale));
  ASSERT_EQ(240, shared->Width());
  EXPECT_EQ(0.0, MeanAbsoluteError(*expected.image, *shared));
  EXPECT_GT(Psnr(*direct.image, *shared), Psnr(*direct.image, *halfScale) + 3.0);
}

TEST(ShrinkTask, OnlyJpegOutputsUpToQualityEightyAskForTheSmallerDecode) {
  // Above 80 a JPEG output shows a decode that keeps only one and a half times its size; a PNG
  // output always does, and a WebP output is not known not to.
  struct Case {
    int32_t type, quality;
    bool lossy;
  };
  for (const Case& c : {Case{SaveFormat::Jpeg, 80, true}, Case{SaveFormat::Jpeg, 60, true},
                        Case{SaveFormat::Jpeg, 81, false}, Case{SaveFormat::Png, 0, false},
                        Case{SaveFormat::Webp, 50, false}}) {
    ShrinkProfile profile;
    profile.SaveFormat.Type = c.type;
    profile.SaveFormat.JpegQuality = c.quality;
    EXPECT_EQ(c.lossy, ShrinkSettingsOf(profile).LossyOutput) << c.type << " " << c.quality;
  }
}

TEST(ShrinkTask, FoldersThatCannotBeMadeFailBeforeLoading) {
  CShrinkTaskExPtr task = Task(L"C:\\no\\such\\source.png", {Profile(L"Q:\\kestrelle\\out", L"s", 0)});
  task->Run();
  EXPECT_EQ(IDS_MSG_CREATE_FOLDER_FAILED, task->GetErrorNumber());
  EXPECT_EQ(0u, task->GetErrorText().find(Message(IDS_MSG_CREATE_FOLDER_FAILED) + L"\n\nQ:\\kestrelle\\out\n"));

  // A file where the folder or one of its levels should be: the folder is reported, not a
  // failed save, for short folders and for those past 260 characters alike.
  CTempDir dir;
  const std::wstring source = WritePng(dir, L"in.png", *MakePhotoLike(20, 10));
  ASSERT_TRUE(WriteBytes(dir / L"file", "x"));
  const std::wstring deep = DeepFolder(dir / L"file", 300);
  for (const std::wstring& folder : {dir / L"file", dir / L"file\\below", deep}) {
    SCOPED_TRACE(folder.size());
    task = Task(source, {Profile(folder, L"s", 0)});
    task->Run();
    EXPECT_EQ(IDS_MSG_CREATE_FOLDER_FAILED, task->GetErrorNumber());
    EXPECT_EQ(0u, task->GetErrorText().find(Message(IDS_MSG_CREATE_FOLDER_FAILED) + L"\n\n" + folder + L"\n"));
  }
  EXPECT_EQ("x", ReadBytes(dir / L"file"));
}

TEST(ShrinkTask, ASourceThatCannotBeOpenedIsReportedWithItsCause) {
  CTempDir dir;
  const std::wstring source = WritePng(dir, L"in.png", *MakePhotoLike(20, 10));
  // Missing: the system's "not found", not the text for content that is no picture.
  CShrinkTaskExPtr task = Task(dir / L"gone.png", {Profile(dir / L"out", L"s", 0)});
  task->Run();
  EXPECT_EQ(Message(IDS_MSG_LOAD_FAILED, HResultText(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)).c_str()) +
                L"\n\n" + dir / L"gone.png",
            task->GetErrorText());
  // Held open by another program that shares nothing.
  HANDLE held = CreateFileW(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, held);
  task = Task(source, {Profile(dir / L"out", L"s", 0)});
  task->Run();
  CloseHandle(held);
  EXPECT_EQ(Message(IDS_MSG_LOAD_FAILED, HResultText(HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION)).c_str()) +
                L"\n\n" + source,
            task->GetErrorText());
}

TEST(ShrinkTask, TypedWidthOfZeroGivesThePlainMessage) {
  CTempDir dir;
  std::wstring source = WritePng(dir, L"in.png", *MakePhotoLike(50, 40));
  ShrinkProfile p = Profile(dir / L"out", L"s", 0);
  p.ShrinkType = 1;
  p.CustomWidth = 0;
  p.CustomHeight = 30;
  CShrinkTaskExPtr task = Task(source, {p});
  task->Run();
  EXPECT_EQ(IDS_MSG_SIZE_NOT_POSITIVE, task->GetErrorNumber());
  EXPECT_EQ(L"縮小サイズが 0 以下です\n\n" + source, task->GetErrorText());
  EXPECT_FALSE(FileExists(dir / L"out\\sin.png"));

  p.ShrinkType = 9;
  task = Task(source, {p});
  task->Run();
  EXPECT_EQ(IDS_MSG_UNKNOWN_SHRINK, task->GetErrorNumber());
}

TEST(ShrinkTask, TransparencyIsKeptOrFlattenedAsTheProfileAndFormatSay) {
  CTempDir dir;
  std::wstring source = WritePng(dir, L"few.png", *FewColors(128, 96));
  ShrinkProfile keep = Profile(dir.Path(), L"keep_", 0);
  keep.Transparent = true;
  ShrinkProfile filled = Profile(dir.Path(), L"fill_", 0);
  filled.BkColor = 0x0000FF;  // red behind transparency
  ShrinkProfile jpeg = Profile(dir.Path(), L"jpeg_", 1);
  jpeg.Transparent = true;  // JPEG cannot keep it: flattened all the same
  jpeg.BkColor = 0x00FF00;
  // WebP keeps transparency as PNG does, and takes the background when the profile asks.
  ShrinkProfile webpKeep = Profile(dir.Path(), L"wkeep_", SaveFormat::Webp);
  webpKeep.Transparent = true;
  ShrinkProfile webpFill = Profile(dir.Path(), L"wfill_", SaveFormat::Webp);
  webpFill.BkColor = 0x0000FF;
  CShrinkTaskExPtr task = Task(source, {keep, filled, jpeg});
  task->Run();
  ASSERT_EQ(0, task->GetErrorNumber()) << task->GetErrorText();
  CShrinkTaskExPtr webpTask = Task(source, {webpKeep, webpFill});
  webpTask->Run();
  ASSERT_EQ(0, webpTask->GetErrorNumber()) << webpTask->GetErrorText();
  CDibPtr webpKept, webpFlat;
  ASSERT_EQ(S_OK, LoadDib(dir / L"wkeep_few.webp", &webpKept));
  ASSERT_EQ(S_OK, LoadDib(dir / L"wfill_few.webp", &webpFlat));
  EXPECT_EQ(0u, PixelAt(*webpKept, 0, 0) >> 24);
  EXPECT_EQ(0x80u, PixelAt(*webpKept, 16 + 64, 16) >> 24);
  const uint32_t filledCorner = PixelAt(*webpFlat, 2, 2);
  EXPECT_EQ(0xFFu, filledCorner >> 24);
  EXPECT_GT((filledCorner >> 16) & 0xFF, 230u);  // red background
  EXPECT_EQ(0xFFu, PixelAt(*webpFlat, 16 + 64, 16) >> 24);

  EXPECT_EQ(3, PngColorType(dir / L"keep_few.png"));  // indexed
  CDibPtr kept;
  ASSERT_EQ(S_OK, LoadDib(dir / L"keep_few.png", &kept));
  EXPECT_EQ(0u, PixelAt(*kept, 0, 0) >> 24);
  EXPECT_EQ(0x800000FFu, PixelAt(*kept, 16 + 64, 16));

  EXPECT_EQ(3, PngColorType(dir / L"fill_few.png"));  // still few values: indexed, opaque
  CDibPtr flat;
  ASSERT_EQ(S_OK, LoadDib(dir / L"fill_few.png", &flat));
  EXPECT_EQ(0xFFFF0000u, PixelAt(*flat, 0, 0));
  EXPECT_EQ(0xFF7F0080u, PixelAt(*flat, 16 + 64, 16));  // blue at alpha 128 over red

  CDibPtr fromJpeg;
  ASSERT_EQ(S_OK, LoadDib(dir / L"jpeg_few.jpg", &fromJpeg));
  uint32_t corner = PixelAt(*fromJpeg, 2, 2);
  EXPECT_EQ(0xFFu, corner >> 24);
  EXPECT_GT((corner >> 8) & 0xFF, 240u);  // green background
  EXPECT_LT((corner >> 16) & 0xFF, 16u);
}

TEST(ShrinkTask, SizeLimitsKeepEveryFormatWithinAndTheUnreachableOneFailsTheFile) {
  CTempDir dir;
  std::wstring source = WritePng(dir, L"photo.png", *MakePhotoLike(800, 600));
  std::vector<ShrinkProfile> limited;
  for (int type : {SaveFormat::Png, SaveFormat::Jpeg, SaveFormat::Webp}) {
    for (int32_t kilobytes : {4, 12}) {
      ShrinkProfile p = Profile(dir.Path(), L"t" + std::to_wstring(type) + L"k" + std::to_wstring(kilobytes) + L"_", type);
      p.MaxKilobytes = kilobytes;
      p.SaveFormat.JpegQuality = 90;
      limited.push_back(p);
    }
  }
  ShrinkProfile unlimited = Profile(dir.Path(), L"none_", SaveFormat::Jpeg);
  unlimited.SaveFormat.JpegQuality = 90;
  limited.push_back(unlimited);
  CShrinkTaskExPtr task = Task(source, limited);
  task->Run();
  ASSERT_EQ(0, task->GetErrorNumber()) << task->GetErrorText();
  for (const ShrinkProfile& p : limited) {
    const std::wstring output = BuildOutputPath(p, L"", L"photo");
    const size_t size = ReadBytes(output).size();
    CDibPtr back;
    ASSERT_EQ(S_OK, LoadDib(output, &back)) << p.Prefix;
    if (p.MaxKilobytes) {
      EXPECT_LE(size, static_cast<size_t>(p.MaxKilobytes) * 1024) << p.Prefix;
    } else {
      EXPECT_GT(size, 12u * 1024);  // the limits above did bite
      EXPECT_EQ(800, back->Width());
    }
    EXPECT_LE(back->Width(), 800) << p.Prefix;  // never larger than the size rule gives
  }

  // Noise with transparency keeps no PNG of 16 pixels within 1 KB: the file fails, naming its
  // source and the limit, and writes nothing.
  uint32_t state = 7;
  CDibPtr noise = MakeDib(64, 64, [&](int, int) { return state = state * 1103515245u + 12345u; });
  std::wstring noisy = WritePng(dir, L"noise.png", *noise);
  ShrinkProfile tight = Profile(dir.Path(), L"tight_", SaveFormat::Png);
  tight.Transparent = true;
  tight.MaxKilobytes = 1;
  CShrinkTaskExPtr failing = Task(noisy, {tight});
  failing->Run();
  EXPECT_EQ(IDS_MSG_OVER_SIZE_LIMIT, failing->GetErrorNumber());
  std::wstring expected;
  ASSERT_TRUE(FormatResourceString(&expected, IDS_MSG_OVER_SIZE_LIMIT, 1));
  EXPECT_EQ(expected + L"\n\n" + noisy, failing->GetErrorText());
  EXPECT_NE(std::wstring::npos, expected.find(L"1 KB"));
  EXPECT_FALSE(FileExists(dir / L"tight_noise.png"));
}

namespace {

// A camera's big-endian EXIF block: IFD0 with Make, a GPS IFD and the EXIF IFD, whose dates sit
// beside a maker note.
std::vector<uint8_t> CameraExif() {
  std::vector<uint8_t> b = {'M', 'M', 0, 42};
  auto u16 = [&](uint32_t v) { b.push_back(uint8_t(v >> 8)); b.push_back(uint8_t(v)); };
  auto u32 = [&](uint32_t v) { u16(v >> 16); u16(v & 0xFFFF); };
  auto entry = [&](uint32_t tag, uint32_t type, uint32_t count, uint32_t value) { u16(tag); u16(type); u32(count); u32(value); };
  u32(8);
  // IFD0 at 8: 3 entries -> ends at 8 + 2 + 36 + 4 = 50.
  u16(3);
  entry(0x010F, 2, 4, 0x43616D00);  // "Cam"
  entry(0x8769, 4, 1, 50);
  entry(0x8825, 4, 1, 112);
  u32(0);
  // EXIF IFD at 50: 4 entries -> ends at 50 + 2 + 48 + 4 = 104; the date's 20 bytes at 120.
  u16(4);
  entry(0x9003, 2, 20, 120);
  entry(0x9011, 2, 7, 140);
  entry(0x9291, 2, 4, 0x31323300);  // "123"
  entry(0x927C, 7, 4, 0x01020304);  // maker note
  u32(0);
  b.resize(112, 0);
  // GPS IFD at 112: one entry (GPSVersionID).
  u16(1);
  u16(0);
  b.resize(120, 0);
  const char date[] = "2024:05:06 07:08:09";
  b.insert(b.end(), date, date + 20);
  const char offset[] = "+09:00";
  b.insert(b.end(), offset, offset + 7);
  return b;
}

FILETIME FileTimeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data = {};
  EXPECT_TRUE(GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
  return data.ftLastWriteTime;
}

}  // namespace

TEST(ShrinkTask, KeepingTheDateCarriesTheDateTakenAloneAndTheFileTime) {
  CTempDir dir;
  std::vector<uint8_t> jpeg;
  CDibPtr photo = MakePhotoLike(320, 240);
  ASSERT_TRUE(EncodeJpeg(photo->Rows(), 90, &jpeg));
  ASSERT_TRUE(InsertExifBlock(&jpeg, CameraExif(), 320, 240));
  const std::wstring source = dir / L"camera.jpg";
  ASSERT_TRUE(WriteBytes(source, std::string(jpeg.begin(), jpeg.end())));
  {
    CHandle file(CreateFileW(source.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file.IsValid());
    FILETIME taken = {0x2A3B4C00u, 0x01D9A0B1u};  // in 2023
    ASSERT_TRUE(SetFileTime(file.Get(), nullptr, nullptr, &taken));
  }
  ExifDate expected;
  expected.original = "2024:05:06 07:08:09";
  expected.offsetOriginal = "+09:00";
  expected.subSecOriginal = "123";

  std::vector<ShrinkProfile> profiles;
  for (int type : {SaveFormat::Png, SaveFormat::Jpeg, SaveFormat::Webp}) {
    for (bool keep : {true, false}) {
      ShrinkProfile p = Profile(dir.Path(), (keep ? L"keep" : L"plain") + std::to_wstring(type) + L"_", type);
      p.KeepDate = keep;
      p.Transparent = true;
      p.MaxKilobytes = keep && type == SaveFormat::Jpeg ? 8 : 0;  // the block counts within a limit
      profiles.push_back(p);
    }
  }
  CShrinkTaskExPtr task = Task(source, profiles);
  task->Run();
  ASSERT_EQ(0, task->GetErrorNumber()) << task->GetErrorText();
  const FILETIME sourceTime = FileTimeOf(source);
  for (const ShrinkProfile& p : profiles) {
    SCOPED_TRACE(std::string(p.Prefix.begin(), p.Prefix.end()));
    const std::wstring output = BuildOutputPath(p, L"", L"camera");
    const std::string bytes = ReadBytes(output);
    const uint8_t* data = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint8_t* block = nullptr;
    size_t size = 0;
    const FILETIME outputTime = FileTimeOf(output);
    CDibPtr back;
    ASSERT_EQ(S_OK, LoadDib(output, &back));  // still a valid file of its format
    EXPECT_EQ(320, back->Width());
    if (!p.KeepDate) {
      EXPECT_FALSE(FindExifBlock(data, bytes.size(), &block, &size));  // no metadata at all
      EXPECT_NE(sourceTime.dwHighDateTime, outputTime.dwHighDateTime);
      continue;
    }
    ASSERT_TRUE(FindExifBlock(data, bytes.size(), &block, &size));
    // Only the dates and Orientation 1: no Make, GPS or maker note.
    EXPECT_EQ(BuildExifBlock(expected), std::vector<uint8_t>(block, block + size));
    const ExifDate date = ReadExifDate(block, size);
    EXPECT_EQ(expected.original, date.original);
    EXPECT_EQ(expected.offsetOriginal, date.offsetOriginal);
    EXPECT_EQ(expected.subSecOriginal, date.subSecOriginal);
    EXPECT_TRUE(date.digitized.empty());
    EXPECT_EQ(1, ExifOrientation(block, size));
    EXPECT_EQ(sourceTime.dwLowDateTime, outputTime.dwLowDateTime);
    EXPECT_EQ(sourceTime.dwHighDateTime, outputTime.dwHighDateTime);
    if (p.MaxKilobytes) {
      EXPECT_LE(bytes.size(), 8u * 1024);
    }
  }

  // A source without a date: only the file time is kept.
  const std::wstring undated = WritePng(dir, L"undated.png", *photo);
  ShrinkProfile keep = Profile(dir.Path(), L"u_", SaveFormat::Jpeg);
  keep.KeepDate = true;
  CShrinkTaskExPtr plain = Task(undated, {keep});
  plain->Run();
  ASSERT_EQ(0, plain->GetErrorNumber()) << plain->GetErrorText();
  const std::string bytes = ReadBytes(dir / L"u_undated.jpg");
  const uint8_t* block = nullptr;
  size_t size = 0;
  EXPECT_FALSE(FindExifBlock(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &block, &size));
  EXPECT_EQ(FileTimeOf(undated).dwLowDateTime, FileTimeOf(dir / L"u_undated.jpg").dwLowDateTime);
}

namespace {

// A baseline RGB TIFF (uncompressed, one strip) whose IFD0 points to an EXIF IFD holding
// DateTimeOriginal, as a scanner's or a camera's TIFF carries it.
std::string TiffWithDateTaken(uint16_t width, uint16_t height, const char (&date)[20]) {
  std::string b = "II*";
  b.push_back('\0');
  auto u16 = [&](uint32_t v) { b.push_back(char(v & 0xFF)); b.push_back(char(v >> 8)); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); };
  auto entry = [&](uint32_t tag, uint32_t type, uint32_t count, uint32_t value) { u16(tag); u16(type); u32(count); u32(value); };
  // IFD0 at 8, ten entries: ends at 8 + 2 + 120 + 4 = 134; the samples' bits at 134, the EXIF
  // IFD at 140 (ends at 158), the date at 158, the strip at 178.
  const uint32_t strip = 178, stripBytes = uint32_t(width) * height * 3;
  u32(8);
  u16(10);
  entry(256, 3, 1, width);
  entry(257, 3, 1, height);
  entry(258, 3, 3, 134);
  entry(259, 3, 1, 1);
  entry(262, 3, 1, 2);
  entry(273, 4, 1, strip);
  entry(277, 3, 1, 3);
  entry(278, 3, 1, height);
  entry(279, 4, 1, stripBytes);
  entry(0x8769, 4, 1, 140);
  u32(0);
  for (int i = 0; i < 3; ++i) u16(8);
  u16(1);
  entry(0x9003, 2, 20, 158);
  u32(0);
  b.append(date, 20);
  for (uint32_t i = 0; i < stripBytes; ++i) b.push_back(char(i * 7 % 251));
  return b;
}

}  // namespace

// Sources of every kind that carries a date taken outside JPEG: a PNG's eXIf chunk, a WebP's
// EXIF chunk, a TIFF's own EXIF IFD (HEIF's Exif item: HeifDecodeTest).
TEST(ShrinkTask, TheDateTakenIsReadFromPngWebpAndTiffSources) {
  CTempDir dir;
  CDibPtr photo = MakePhotoLike(64, 48);
  std::vector<uint8_t> png, webp;
  ASSERT_TRUE(EncodePngRgba(photo->Rows(), &png));
  ASSERT_TRUE(InsertExifBlock(&png, CameraExif(), 64, 48));
  ASSERT_TRUE(EncodeWebp(photo->Rows(), 80, &webp));
  ASSERT_TRUE(InsertExifBlock(&webp, CameraExif(), 64, 48));
  const std::pair<const wchar_t*, std::string> sources[] = {
      {L"dated.png", std::string(png.begin(), png.end())},
      {L"dated.webp", std::string(webp.begin(), webp.end())},
      {L"dated.tif", TiffWithDateTaken(40, 30, "2024:05:06 07:08:09")}};
  for (const auto& source : sources) {
    SCOPED_TRACE(std::string(source.first, source.first + wcslen(source.first)));
    const std::wstring path = dir / source.first;
    ASSERT_TRUE(WriteBytes(path, source.second));
    std::wstring stem = source.first;
    const std::wstring extension = stem.substr(stem.find(L'.') + 1);
    stem = stem.substr(0, stem.find(L'.'));
    ShrinkProfile keep = Profile(dir / L"out", extension + L"_", SaveFormat::Jpeg);
    keep.KeepDate = true;
    CShrinkTaskExPtr task = Task(path, {keep});
    task->Run();
    ASSERT_EQ(0, task->GetErrorNumber()) << task->GetErrorText();
    const std::string bytes = ReadBytes(BuildOutputPath(keep, L"", stem));
    const uint8_t* block = nullptr;
    size_t size = 0;
    ASSERT_TRUE(FindExifBlock(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &block, &size));
    EXPECT_EQ("2024:05:06 07:08:09", ReadExifDate(block, size).original);
    EXPECT_EQ(1, ExifOrientation(block, size));
  }
}

TEST(ShrinkTask, StopRequestIsHonouredAtEveryCheck) {
  CTempDir dir;
  std::wstring source = WritePng(dir, L"in.png", *MakePhotoLike(64, 64));
  ShrinkProfile p = Profile(dir / L"out", L"s", 0);
  p.ShrinkType = 2;
  p.ShrinkWidth = p.ShrinkHeight = 32;
  // Five checks stand between the folder step and the save; a stop at any of them writes nothing.
  for (int stopAt = 1; stopAt <= 6; ++stopAt) {
    CStopAtCheck worker(stopAt);
    CShrinkTaskExPtr task = Task(source, {p});
    task->SetWorker(&worker);
    task->Run();
    EXPECT_EQ(0, task->GetErrorNumber());
    EXPECT_TRUE(FileExists(dir / L"out"));  // the folder step comes first
    EXPECT_EQ(stopAt == 6, FileExists(dir / L"out\\sin.png")) << stopAt;
    EXPECT_EQ(std::min(stopAt, 5), worker.Looks());
    DeleteFileW((dir / L"out\\sin.png").c_str());
  }
}

TEST(ShrinkTask, ThreeProfilesWriteEveryOutputRight) {
  CTempDir dir;
  CDibPtr photo = MakePhotoLike(800, 600);
  std::wstring source = WritePng(dir, L"photo.final.png", *photo);
  ShrinkProfile small = Profile(dir / L"small", L"s_", 0);
  small.ShrinkType = 2;
  small.ShrinkWidth = small.ShrinkHeight = 240;
  ShrinkProfile typed = Profile(dir / L"typed\\deeper", L"t_", 1);
  typed.ShrinkType = 1;
  typed.CustomWidth = 200;
  typed.CustomHeight = 1000;
  typed.SaveFormat.JpegQuality = 100;
  ShrinkProfile whole = Profile(dir / L"whole", L"", 0);
  whole.Transparent = true;
  CShrinkTaskExPtr task = Task(source, {small, typed, whole});
  task->Run();
  ASSERT_EQ(0, task->GetErrorNumber()) << task->GetErrorText();

  struct Expected {
    std::wstring path;
    int width, height;
    bool jpeg;
  } outputs[] = {{dir / L"small\\s_photo.final.png", 240, 180, false},
                 {dir / L"typed\\deeper\\t_photo.final.jpg", 200, 150, true},
                 {dir / L"whole\\photo.final.png", 800, 600, false}};
  for (const Expected& e : outputs) {
    std::string bytes = ReadBytes(e.path);
    ASSERT_FALSE(bytes.empty()) << e.path.size();
    EXPECT_EQ(e.jpeg ? '\xFF' : '\x89', bytes[0]);
    CDibPtr out;
    ASSERT_EQ(S_OK, LoadDib(e.path, &out));
    EXPECT_EQ(e.width, out->Width());
    EXPECT_EQ(e.height, out->Height());
    if (!e.jpeg) {
      EXPECT_EQ(2, PngColorType(e.path));  // too many values for a palette, and opaque: RGB
    }
    EXPECT_EQ(0xFFu, PixelAt(*out, e.width / 2, e.height / 2) >> 24);
  }
  // The unshrunk output is the source's pixels exactly.
  CDibPtr same;
  ASSERT_EQ(S_OK, LoadDib(dir / L"whole\\photo.final.png", &same));
  EXPECT_EQ(PixelAt(*photo, 123, 456), PixelAt(*same, 123, 456));
}

TEST(ShrinkTask, LongPathsAndUnusualNamesWorkEndToEnd) {
  CTempDir dir;
  // A source named with Japanese, a character outside the BMP (a surrogate pair), "%", leading
  // and trailing blanks and several dots, in a tree far deeper than 260 characters.
  std::wstring name = L" 写真 \U0001F600 100%s%d..final. .png";
  std::wstring deep = dir.Path();
  while (deep.size() < 300) deep += L"\\フォルダ-" + std::to_wstring(deep.size());
  ShrinkProfile p = Profile(deep + L"\\出力 \U0001F4F7", L"%d_", 0);
  p.ShrinkType = 2;
  p.ShrinkWidth = p.ShrinkHeight = 16;
  std::wstring sourceFolder = deep + L"\\入力";
  ShrinkProfile makeSource = Profile(sourceFolder, L"", 0);
  std::wstring source = sourceFolder + L"\\" + name;
  {
    // Put the source in place through the program's own folder creation and saver.
    CShrinkTaskExPtr folderOnly = Task(dir / L"none", {makeSource});
    folderOnly->Run();  // creates the folder, then fails to load the missing source
    ASSERT_EQ(IDS_MSG_LOAD_FAILED, folderOnly->GetErrorNumber());
    ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(64, 48), source));
  }
  ASSERT_GT(source.size(), 300u);

  CShrinkTaskExPtr task = Task(source, {p});
  CFileList existing;
  task->CollectExistingOutputs(&existing);
  EXPECT_EQ(0u, existing.Count());
  task->Run();
  ASSERT_EQ(0, task->GetErrorNumber()) << task->GetErrorText().size();
  std::wstring output = task->BuildOutputPath(p);
  EXPECT_EQ(deep + L"\\出力 \U0001F4F7\\%d_ 写真 \U0001F600 100%s%d..final. .png", output);
  CDibPtr written;
  ASSERT_EQ(S_OK, LoadDib(output, &written));
  EXPECT_EQ(16, written->Width());
  EXPECT_EQ(12, written->Height());
  task->CollectExistingOutputs(&existing);
  EXPECT_EQ(1u, existing.Count());

  // A name of 250 characters, five short of the limit of one name, is written like any other, and
  // the write leaves nothing else beside it (a file left by an earlier crash stays as it was).
  const std::wstring longName(246, L'n');
  const std::wstring longSource = WritePng(dir, (longName + L".bmp").c_str(), *MakePhotoLike(20, 10));
  ShrinkProfile plain = Profile(dir / L"long", L"", 0);
  ASSERT_TRUE(CreateDirectoryW((dir / L"long").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(dir / L"long\\~kestrelle-00000000.tmp", "left"));
  CShrinkTaskExPtr longTask = Task(longSource, {plain});
  longTask->Run();
  EXPECT_EQ(0, longTask->GetErrorNumber()) << longTask->GetErrorText();
  EXPECT_EQ(250u, (longName + L".png").size());
  EXPECT_TRUE(FileExists(dir / (L"long\\" + longName + L".png")));
  EXPECT_EQ("left", ReadBytes(dir / L"long\\~kestrelle-00000000.tmp"));
  EXPECT_EQ(2, CountEntries(dir / L"long"));

  // A "%" in a path reaches the message literally, never as a format.
  CShrinkTaskExPtr missing = Task(sourceFolder + L"\\gone %s %d.png", {p});
  missing->Run();
  const std::wstring& text = missing->GetErrorText();
  std::wstring tail = L"\n\n" + sourceFolder + L"\\gone %s %d.png";
  ASSERT_GT(text.size(), tail.size());
  EXPECT_EQ(tail, text.substr(text.size() - tail.size()));
}

TEST(ShrinkTask, AFileThatTookAnOutputsNameAfterTheStartIsLeftAsItIs) {
  CTempDir dir;
  const std::wstring source = WritePng(dir, L"photo.png", *MakePhotoLike(64, 48));
  // Profile 2's output appeared after the job started (another program, or another job).
  const std::wstring planted = dir / L"two\\b_photo.jpg";
  ASSERT_TRUE(MakeFolders(dir / L"two"));
  ASSERT_TRUE(WriteBytes(planted, "someone else's"));
  CShrinkTaskExPtr task = Task(source, {Profile(dir / L"one", L"a_", 0), Profile(dir / L"two", L"b_", 1),
                                        Profile(dir / L"three", L"c_", 0)});
  task->Run();
  EXPECT_EQ(IDS_MSG_OUTPUT_APPEARED, task->GetErrorNumber());
  EXPECT_EQ(Message(IDS_MSG_OUTPUT_APPEARED) + L"\n\n" + planted, task->GetErrorText());
  EXPECT_EQ(std::wstring::npos, task->GetErrorText().find(L"(null)")) << "every placeholder filled";
  EXPECT_EQ("someone else's", ReadBytes(planted));
  EXPECT_EQ(1, CountEntries(dir / L"two"));  // nothing beside it, not even a temporary file
  // The other profiles' outputs are whole; the worker stops the job at this task.
  CDibPtr written;
  EXPECT_EQ(S_OK, LoadDib(dir / L"one\\a_photo.png", &written));
  EXPECT_EQ(S_OK, LoadDib(dir / L"three\\c_photo.png", &written));
}

TEST(ShrinkTask, RunningOutOfMemoryAheadOfTheWorkerIsNoResult) {
  // A PNG whose header claims 200 megapixels: its load runs out of memory before any pixel.
  auto chunk = [](const char* type, const std::string& data) {
    std::string body = std::string(type, 4) + data;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()));
    auto be32 = [](uint32_t v) {
      return std::string{static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                         static_cast<char>(v)};
    };
    return be32(static_cast<uint32_t>(data.size())) + body + be32(static_cast<uint32_t>(crc));
  };
  const std::string header{'\0', '\0', 'N', ' ', '\0', '\0', '\x27', '\x10', 8, 6, 0, 0, 0};  // 20000 x 10000
  CTempDir dir;
  const std::wstring path = dir / L"huge.png";
  ASSERT_TRUE(WriteBytes(path, "\x89PNG\r\n\x1a\n" + chunk("IHDR", header) + chunk("IDAT", "xx") + chunk("IEND", "")));
  std::vector<ShrinkProfile> profiles = {Profile(dir / L"out", L"s_", 0)};
  CSharedSource ahead(path, profiles);
  CStopAtCheck never(1000);
  // Made ahead by a helper, beside other pictures: no result, the worker loads the file itself.
  EXPECT_FALSE(ahead.MakeAll(never, nullptr));
  // The worker's own load is the result, reported as the load message with its cause.
  CShrinkTaskExPtr task = Task(path, profiles);
  task->Run();
  EXPECT_EQ(Message(IDS_MSG_LOAD_FAILED, HResultText(HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY)).c_str()) +
                L"\n\n" + path,
            task->GetErrorText());
}
