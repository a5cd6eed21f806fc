// Starting a job: which dropped paths are refused, how tasks are queued, the listing of the
// overwrite question, and deleting the existing outputs.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "job/JobStart.h"
#include "support/TempDir.h"

namespace {

ShrinkProfile Profile(const std::wstring& folder, const std::wstring& prefix, bool use = true) {
  ShrinkProfile p;
  p.Folder = folder;
  p.Prefix = prefix;
  p.Use = use;
  return p;
}

CFileList Paths(const std::vector<std::wstring>& paths) {
  CFileList list;
  for (const std::wstring& p : paths) list.Add(p);
  return list;
}

}  // namespace

TEST(JobStart, ConflictNeedsBothEnabledAndIgnoresLetterCase) {
  EXPECT_TRUE(ProfilesConflict(Profile(L"C:\\Out", L"s_"), Profile(L"c:\\out", L"S_")));
  EXPECT_TRUE(ProfilesConflict(Profile(L"C:\\フォルダ", L""), Profile(L"C:\\フォルダ", L"")));
  EXPECT_FALSE(ProfilesConflict(Profile(L"C:\\Out", L"s_"), Profile(L"C:\\Out", L"t_")));
  EXPECT_FALSE(ProfilesConflict(Profile(L"C:\\Out", L"s_"), Profile(L"C:\\Out2", L"s_")));
  EXPECT_FALSE(ProfilesConflict(Profile(L"C:\\Out", L"s_", false), Profile(L"C:\\Out", L"s_")));
  EXPECT_FALSE(ProfilesConflict(Profile(L"C:\\Out", L"s_"), Profile(L"C:\\Out", L"s_", false)));
}

TEST(JobStart, MissingPathsAndFoldersAreRefusedInListOrder) {
  CTempDir dir;
  ASSERT_TRUE(WriteBytes(dir / L"a.png", "x"));
  ASSERT_TRUE(WriteBytes(dir / L"b.png", "x"));
  std::wstring missing;
  EXPECT_FALSE(FindMissingSource(Paths({dir / L"a.png", dir / L"b.png"}), &missing));
  EXPECT_TRUE(FindMissingSource(Paths({dir / L"a.png", dir.Path(), dir / L"gone.png"}), &missing));
  EXPECT_EQ(dir.Path(), missing);
  EXPECT_TRUE(FindMissingSource(Paths({dir / L"gone.png", dir.Path()}), &missing));
  EXPECT_EQ(dir / L"gone.png", missing);
}

TEST(JobStart, TasksAreQueuedFileMajorWithTheirExistingOutputs) {
  CTempDir dir;
  ASSERT_TRUE(WriteBytes(dir / L"s_b.png", "old"));
  ASSERT_TRUE(WriteBytes(dir / L"u_a.png", "old"));
  std::vector<ShrinkProfile> profiles = {Profile(dir.Path(), L"s_"), Profile(dir.Path(), L"t_", false),
                                         Profile(dir.Path(), L"u_"), Profile(dir.Path(), L"v_")};
  TaskQueue queue;
  CFileList existing;
  QueueTasks(Paths({L"C:\\in\\a.jpg", L"C:\\in\\b.jpg"}), profiles, nullptr, &queue, &existing);
  ASSERT_EQ(2u, queue.Count());
  CShrinkTaskExPtr first = queue.PopFront();
  EXPECT_EQ(L"C:\\in\\a.jpg", first->GetSource());
  EXPECT_EQ(kJobProfileCount, first->GetProfiles().size());  // never a fourth record
  EXPECT_EQ(L"C:\\in\\b.jpg", queue.PopFront()->GetSource());
  std::vector<std::wstring> listed(existing.begin(), existing.end());
  EXPECT_EQ((std::vector<std::wstring>{dir / L"u_a.png", dir / L"s_b.png"}), listed);
}

TEST(JobStart, ListingShowsTenPathsThenAnEllipsis) {
  CFileList ten, twelve;
  std::wstring expectedTen;
  for (int i = 0; i < 12; ++i) {
    std::wstring path = L"C:\\out\\" + std::to_wstring(i) + L".png";
    if (i < 10) {
      ten.Add(path);
      expectedTen += path + L"\n";
    }
    twelve.Add(path);
  }
  EXPECT_EQ(expectedTen, ListExistingOutputs(ten));
  EXPECT_EQ(expectedTen + L"...\n", ListExistingOutputs(twelve));
  EXPECT_EQ(L"", ListExistingOutputs(CFileList()));
}

TEST(JobStart, EveryExistingOutputIsDeletedEvenWhenListedTwice) {
  CTempDir dir;
  CFileList existing;
  for (int i = 0; i < 12; ++i) {
    std::wstring path = dir / (std::to_wstring(i) + L".png");
    ASSERT_TRUE(WriteBytes(path, "old"));
    existing.Add(path);
  }
  existing.Add(dir / L"3.png");  // a.png and a.bmp both map here
  std::wstring failed;
  EXPECT_TRUE(DeleteExistingOutputs(existing, &failed));
  for (const std::wstring& path : existing) EXPECT_FALSE(FileExists(path));

  // A folder standing at an output's place cannot be deleted: the start stops there.
  ASSERT_TRUE(WriteBytes(dir / L"first.png", "old"));
  ASSERT_TRUE(CreateDirectoryW((dir / L"folder.png").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(dir / L"last.png", "old"));
  EXPECT_FALSE(DeleteExistingOutputs(Paths({dir / L"first.png", dir / L"folder.png", dir / L"last.png"}), &failed));
  EXPECT_EQ(dir / L"folder.png", failed);
  EXPECT_FALSE(FileExists(dir / L"first.png"));
  EXPECT_TRUE(FileExists(dir / L"last.png"));
}

TEST(JobStart, AnOutputThatIsADroppedFileIsFoundInEverySpelling) {
  CTempDir dir;
  const std::wstring folder = dir / L"Long Folder Name";
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring photo = folder + L"\\photo.jpg";
  ASSERT_TRUE(WriteBytes(photo, "mine"));
  ShrinkProfile jpeg = Profile(folder, L"");
  jpeg.SaveFormat.Type = 1;  // photo.jpg shrinks to photo.jpg in its own folder

  wchar_t shortFolder[MAX_PATH] = {};
  ASSERT_NE(0u, GetShortPathNameW(folder.c_str(), shortFolder, MAX_PATH));
  ASSERT_NE(folder, std::wstring(shortFolder));  // the file system gives it an 8.3 name
  wchar_t current[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, current);
  ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
  std::wstring lower = folder;
  CharLowerBuffW(&lower[0], static_cast<DWORD>(lower.size()));
  std::wstring slashes = folder;
  for (wchar_t& c : slashes) c = c == L'\\' ? L'/' : c;
  const std::vector<std::wstring> spellings = {
      folder, folder + L"\\", folder + L"\\\\", folder + L"\\sub\\..", folder + L"\\.\\", L".", lower,
      slashes, L"\\\\?\\" + folder, shortFolder};
  for (const std::wstring& spelling : spellings) {
    SCOPED_TRACE(spelling);
    ShrinkProfile profile = jpeg;
    profile.Folder = spelling;
    size_t index = 9;
    std::wstring source;
    // Behind a disabled profile and one that writes elsewhere, as the third profile.
    EXPECT_TRUE(FindOutputOverSource(Paths({photo}), {Profile(folder, L"", false), Profile(dir.Path(), L""), profile}, &index, &source));
    EXPECT_EQ(2u, index);
    EXPECT_EQ(photo, source);
  }
  SetCurrentDirectoryW(current);

  size_t index = 9;
  std::wstring source;
  // The same folder with a prefix, or PNG instead of JPEG, writes beside the photo, not over it.
  EXPECT_FALSE(FindOutputOverSource(Paths({photo}), {Profile(folder, L"s")}, &index, &source));
  EXPECT_FALSE(FindOutputOverSource(Paths({photo}), {Profile(folder, L"")}, &index, &source));
  EXPECT_FALSE(FindOutputOverSource(Paths({photo}), {Profile(folder, L"", false), Profile(folder, L"s"), Profile(folder, L"t"), jpeg}, &index, &source))
      << "only the first three profiles belong to a job, and the first two do not write there";

  // Another dropped file that an earlier file's output would replace: a.png writes sa.png.
  ASSERT_TRUE(WriteBytes(dir / L"a.png", "a"));
  ASSERT_TRUE(WriteBytes(dir / L"sa.png", "sa"));
  EXPECT_TRUE(FindOutputOverSource(Paths({dir / L"a.png", dir / L"sa.png"}), {Profile(dir.Path(), L"s")}, &index, &source));
  EXPECT_EQ(dir / L"sa.png", source);

  // A hard link to the photo in the output folder is the photo under another name.
  const std::wstring out = dir / L"out";
  ASSERT_TRUE(CreateDirectoryW(out.c_str(), nullptr));
  ASSERT_TRUE(CreateHardLinkW((out + L"\\photo.jpg").c_str(), photo.c_str(), nullptr));
  ShrinkProfile linked = jpeg;
  linked.Folder = out;
  EXPECT_TRUE(FindOutputOverSource(Paths({photo}), {linked}, &index, &source));
  EXPECT_EQ(0u, index);
  EXPECT_EQ(photo, source);
  // An ordinary existing output there is no source.
  ASSERT_TRUE(DeleteFileW((out + L"\\photo.jpg").c_str()));
  ASSERT_TRUE(WriteBytes(out + L"\\photo.jpg", "old output"));
  EXPECT_FALSE(FindOutputOverSource(Paths({photo}), {linked}, &index, &source));
  EXPECT_EQ("mine", ReadBytes(photo));
}
