// Output naming: how a source path and a profile make an output path, and which outputs exist.
#include <windows.h>

#include <gtest/gtest.h>

#include "base/PathNames.h"
#include "job/ShrinkTaskEx.h"
#include "support/TempDir.h"

namespace {

ShrinkProfile Profile(const std::wstring& folder, const std::wstring& prefix, int type, bool use = true) {
  ShrinkProfile p;
  p.Folder = folder;
  p.Prefix = prefix;
  p.SaveFormat.Type = type;
  p.Use = use;
  return p;
}

std::wstring OutputFor(const std::wstring& source, const ShrinkProfile& profile) {
  CShrinkTaskExPtr task = CShrinkTaskEx::Create();
  task->SetSource(source);
  return task->BuildOutputPath(profile);
}

}  // namespace

TEST(OutputNaming, BaseNameIsTheFileNameUpToItsLastDot) {
  EXPECT_EQ(L"photo.final", SplitFileName(L"C:\\pics\\photo.final.PNG").base);
  EXPECT_EQ(L"PNG", SplitFileName(L"C:\\pics\\photo.final.PNG").extension);
  EXPECT_EQ(L"README", SplitFileName(L"C:\\pics\\README").base);
  EXPECT_EQ(L"c", SplitFileName(L"C:\\a.b\\c").base);
  EXPECT_EQ(L"", SplitFileName(L"C:\\pics\\.png").base);
  EXPECT_EQ(L"x", SplitFileName(L"D:/mixed\\dir/x.gif").base);
  EXPECT_EQ(L"bare", SplitFileName(L"bare.jpg").base);
}

TEST(OutputNaming, FolderJoinAddsOneSeparatorOnlyWhereNeeded) {
  EXPECT_EQ(L"D:\\out\\n.png", AppendPath(L"D:\\out", L"n.png"));
  EXPECT_EQ(L"D:\\out\\n.png", AppendPath(L"D:\\out\\", L"n.png"));
  EXPECT_EQ(L"D:/out/n.png", AppendPath(L"D:/out/", L"n.png"));
  EXPECT_EQ(L"D:n.png", AppendPath(L"D:", L"n.png"));
  EXPECT_EQ(L"n.png", AppendPath(L"", L"n.png"));
}

TEST(OutputNaming, OutputPathUsesPrefixBaseNameAndTheFormatsExtension) {
  EXPECT_EQ(L"D:\\out\\sphoto.final.jpg", OutputFor(L"C:\\pics\\photo.final.PNG", Profile(L"D:\\out", L"s", 1)));
  EXPECT_EQ(L"D:\\out\\sphoto.final.png", OutputFor(L"C:\\pics\\photo.final.PNG", Profile(L"D:\\out", L"s", 0)));
  // 2 is WebP; a type that no format has is PNG.
  EXPECT_EQ(L"D:\\out\\sphoto.final.webp", OutputFor(L"C:\\pics\\photo.final.PNG", Profile(L"D:\\out", L"s", 2)));
  EXPECT_EQ(L"D:\\out\\README.png", OutputFor(L"C:\\pics\\README", Profile(L"D:\\out", L"", 3)));
  EXPECT_EQ(L"D:\\out\\t_.jpg", OutputFor(L"C:\\pics\\.png", Profile(L"D:\\out", L"t_", 1)));
  EXPECT_EQ(L"D:sa.png", OutputFor(L"C:\\a.png", Profile(L"D:", L"s", 0)));
}

TEST(OutputNaming, AnOutputNamedLikeADeviceGetsAnUnderscoreInFront) {
  EXPECT_EQ(L"D:\\out\\_CON.png", OutputFor(L"D:\\disc\\CON.jpg", Profile(L"D:\\out", L"", 0)));
  EXPECT_EQ(L"D:\\out\\_aux.jpg", OutputFor(L"D:\\disc\\aux.png", Profile(L"D:\\out", L"", 1)));
  EXPECT_EQ(L"D:\\out\\_nul.tar.png", OutputFor(L"D:\\disc\\nul.tar.gif", Profile(L"D:\\out", L"", 0)));
  EXPECT_EQ(L"D:\\out\\_lpt1 .png", OutputFor(L"D:\\disc\\lpt1 .jpg", Profile(L"D:\\out", L"", 0)));
  EXPECT_EQ(L"D:\\out\\_COM9.png", OutputFor(L"D:\\disc\\COM9", Profile(L"D:\\out", L"", 0)));
  // A prefix can make the device's name too, or keep it from being one.
  EXPECT_EQ(L"D:\\out\\_PRN.png", OutputFor(L"D:\\disc\\N.jpg", Profile(L"D:\\out", L"PR", 0)));
  EXPECT_EQ(L"D:\\out\\sCON.png", OutputFor(L"D:\\disc\\CON.jpg", Profile(L"D:\\out", L"s", 0)));
  EXPECT_EQ(L"D:\\out\\COM10.png", OutputFor(L"D:\\disc\\COM10.jpg", Profile(L"D:\\out", L"", 0)));
  EXPECT_EQ(L"D:\\out\\CONSOLE.png", OutputFor(L"D:\\disc\\CONSOLE.jpg", Profile(L"D:\\out", L"", 0)));
}

TEST(OutputNaming, AddProfilesCopiesOnlyTheFirstRecords) {
  std::vector<ShrinkProfile> list = {Profile(L"A", L"1", 0), Profile(L"B", L"2", 1),
                                     Profile(L"C", L"3", 0), Profile(L"D", L"4", 0)};
  CShrinkTaskExPtr task = CShrinkTaskEx::Create();
  task->AddProfiles(list, 3);
  ASSERT_EQ(3u, task->GetProfiles().size());
  EXPECT_EQ(L"C", task->GetProfiles()[2].Folder);
  list[0].Folder = L"changed";
  EXPECT_EQ(L"A", task->GetProfiles()[0].Folder);  // a copy, not a reference

  CShrinkTaskExPtr shorter = CShrinkTaskEx::Create();
  shorter->AddProfiles(std::vector<ShrinkProfile>(2), 3);
  EXPECT_EQ(2u, shorter->GetProfiles().size());
}

TEST(OutputNaming, ExistingOutputsOfEnabledProfilesAreListedInProfileOrder) {
  CTempDir dir;
  ASSERT_TRUE(WriteBytes(dir / L"sa.png", "x"));
  ASSERT_TRUE(CreateDirectoryW((dir / L"ta.jpg").c_str(), nullptr));  // a folder counts too
  ASSERT_TRUE(WriteBytes(dir / L"ua.png", "x"));
  std::vector<ShrinkProfile> profiles = {Profile(dir.Path(), L"t", 1), Profile(dir.Path(), L"s", 0),
                                         Profile(dir.Path(), L"u", 0, false)};
  CFileList existing;
  // a.png and a.bmp map to the same outputs, so each existing output is listed twice.
  for (const wchar_t* source : {L"C:\\in\\a.png", L"C:\\in\\a.bmp"}) {
    CShrinkTaskExPtr task = CShrinkTaskEx::Create();
    task->SetSource(source);
    task->AddProfiles(profiles, 3);
    task->CollectExistingOutputs(&existing);
  }
  std::vector<std::wstring> listed(existing.begin(), existing.end());
  std::vector<std::wstring> expected = {dir / L"ta.jpg", dir / L"sa.png", dir / L"ta.jpg", dir / L"sa.png"};
  EXPECT_EQ(expected, listed);
  EXPECT_EQ(4u, existing.Count());
}

TEST(OutputNaming, NewProfileHasTheInitialValues) {
  ShrinkProfile p;
  EXPECT_EQ(0, p.ShrinkType);
  EXPECT_EQ(200, p.CustomWidth);
  EXPECT_EQ(1000, p.CustomHeight);
  EXPECT_TRUE(p.Use);
  EXPECT_EQ(L"s", p.Prefix);
  EXPECT_EQ(0, p.SaveFormat.Type);
  EXPECT_EQ(80, p.SaveFormat.JpegQuality);
  EXPECT_EQ(0xFFFFFFu, p.BkColor);
  EXPECT_FALSE(p.Transparent);
}
