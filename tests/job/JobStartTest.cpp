// Starting a job: which dropped paths are refused, how tasks are queued, the listing of the
// overwrite question, and deleting the existing outputs.
#include <windows.h>

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
