// Starting a job: which dropped paths are refused, how tasks are queued, the listing of the
// overwrite question, and deleting the existing outputs.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/FilePaths.h"
#include "base/ResourceText.h"
#include "image/FileIo.h"
#include "image/encode/ImageSaver.h"
#include "job/JobStart.h"
#include "res/StringIds.h"
#include "support/ImageCalls.h"
#include "support/Pictures.h"
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

// Files dropped themselves: their outputs go to the profiles' folders.
JobSourceList Sources(const std::vector<std::wstring>& paths) {
  JobSourceList sources;
  for (const std::wstring& p : paths) sources.push_back({p, std::wstring()});
  return sources;
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

TEST(JobStart, TasksAreQueuedFileMajorWithTheirExistingOutputs) {
  CTempDir dir;
  ASSERT_TRUE(WriteBytes(dir / L"s_b.png", "old"));
  ASSERT_TRUE(WriteBytes(dir / L"u_a.png", "old"));
  std::vector<ShrinkProfile> profiles = {Profile(dir.Path(), L"s_"), Profile(dir.Path(), L"t_", false),
                                         Profile(dir.Path(), L"u_"), Profile(dir.Path(), L"v_")};
  TaskQueue queue;
  CFileList existing;
  QueueTasks(Sources({L"C:\\in\\a.jpg", L"C:\\in\\b.jpg"}), profiles, nullptr, &queue, &existing);
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
    EXPECT_TRUE(FindOutputOverSource(Sources({photo}), {Profile(folder, L"", false), Profile(dir.Path(), L""), profile}, &index, &source));
    EXPECT_EQ(2u, index);
    EXPECT_EQ(photo, source);
  }
  SetCurrentDirectoryW(current);

  size_t index = 9;
  std::wstring source;
  // The same folder with a prefix, or PNG instead of JPEG, writes beside the photo, not over it.
  EXPECT_FALSE(FindOutputOverSource(Sources({photo}), {Profile(folder, L"s")}, &index, &source));
  EXPECT_FALSE(FindOutputOverSource(Sources({photo}), {Profile(folder, L"")}, &index, &source));
  EXPECT_FALSE(FindOutputOverSource(Sources({photo}), {Profile(folder, L"", false), Profile(folder, L"s"), Profile(folder, L"t"), jpeg}, &index, &source))
      << "only the first three profiles belong to a job, and the first two do not write there";

  // Another dropped file that an earlier file's output would replace: a.png writes sa.png.
  ASSERT_TRUE(WriteBytes(dir / L"a.png", "a"));
  ASSERT_TRUE(WriteBytes(dir / L"sa.png", "sa"));
  EXPECT_TRUE(FindOutputOverSource(Sources({dir / L"a.png", dir / L"sa.png"}), {Profile(dir.Path(), L"s")}, &index, &source));
  EXPECT_EQ(dir / L"sa.png", source);

  // A hard link to the photo in the output folder is the photo under another name.
  const std::wstring out = dir / L"out";
  ASSERT_TRUE(CreateDirectoryW(out.c_str(), nullptr));
  ASSERT_TRUE(CreateHardLinkW((out + L"\\photo.jpg").c_str(), photo.c_str(), nullptr));
  ShrinkProfile linked = jpeg;
  linked.Folder = out;
  EXPECT_TRUE(FindOutputOverSource(Sources({photo}), {linked}, &index, &source));
  EXPECT_EQ(0u, index);
  EXPECT_EQ(photo, source);
  // An ordinary existing output there is no source.
  ASSERT_TRUE(DeleteFileW((out + L"\\photo.jpg").c_str()));
  ASSERT_TRUE(WriteBytes(out + L"\\photo.jpg", "old output"));
  EXPECT_FALSE(FindOutputOverSource(Sources({photo}), {linked}, &index, &source));
  EXPECT_EQ("mine", ReadBytes(photo));
}

namespace {

// A front end that records what the start told it and answers the question as set.
class CRecordingStart : public CJobStartClient {
public:
  explicit CRecordingStart(bool agree = true) : m_agree(agree) {}
  void ShowStartError(const StartRefusal& refusal) override {
    errors.push_back(refusal.text);
    kind = refusal.kind;
    blamed = refusal.profile;
    field = refusal.field;
  }
  bool ConfirmOverwrite(const std::wstring& question) override {
    questions.push_back(question);
    return m_agree;
  }

  std::vector<std::wstring> errors, questions;
  StartRefusalKind kind = StartRefusalKind::DeleteFailed;
  int blamed = -2;
  ProfileField field = ProfileField::Folder;

private:
  bool m_agree;
};

}  // namespace

TEST(JobStart, RefusalsThatGuardTheUsersFilesComeBeforeAnythingIsDeletedOrWritten) {
  CTempDir dir;
  const std::wstring out = dir / L"out";
  ASSERT_TRUE(CreateDirectoryW(out.c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(dir / L"a.png", "a"));
  ASSERT_TRUE(WriteBytes(dir / L"a.jpg", "a"));
  ASSERT_TRUE(WriteBytes(dir / L"b.png", "b"));
  ASSERT_TRUE(CreateDirectoryW((dir / L"other").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(dir / L"other\\b.png", "b2"));
  // The user's files that a refused job must leave alone: an existing output, and the files a
  // prefix reaching out of the folder would write over.
  ASSERT_TRUE(WriteBytes(out + L"\\sb.png", "existing output"));
  ASSERT_TRUE(WriteBytes(dir / L"b.png.keep", "x"));
  ASSERT_TRUE(WriteBytes(dir / L"0001.png", "planted"));

  ASSERT_TRUE(WriteBytes(dir / L"ab.png", "ab"));
  // Dropped folders: two of one name, and one without a picture.
  for (const wchar_t* tree : {L"one\\Trip", L"two\\Trip", L"empty"}) ASSERT_TRUE(MakeFolders(dir / tree));
  ASSERT_TRUE(WriteBytes(dir / L"one\\Trip\\c.png", "c1"));
  ASSERT_TRUE(WriteBytes(dir / L"two\\Trip\\c.png", "c2"));
  ASSERT_TRUE(WriteBytes(dir / L"empty\\notes.txt", "not a picture"));
  auto prefixRefused = [](int profile, const wchar_t* prefix) {
    return FormattedResourceString(IDS_MSG_PREFIX_FORBIDDEN, profile, prefix);
  };
  auto collide = [&](const std::wstring& first, const std::wstring& second, const wchar_t* output) {
    return FormattedResourceString(IDS_MSG_OUTPUTS_COLLIDE, first.c_str(), second.c_str(), (out + output).c_str());
  };
  struct Case {
    const char* what;
    std::vector<ShrinkProfile> profiles;
    std::vector<std::wstring> files;
    std::wstring message;
    int profile;
    ProfileField field;
    StartRefusalKind kind;
  };
  ShrinkProfile off = Profile(out, L"s", false);
  const std::wstring b = dir / L"b.png";
  ShrinkProfile noFolder = Profile(L"", L"s");
  std::wstring outUpper = out;
  CharUpperBuffW(&outUpper[0], static_cast<DWORD>(outUpper.size()));
  std::vector<Case> cases = {
      // The profiles alone come first: a folder for each enabled one, then no two the same.
      {"no folder", {Profile(L"", L"s", false), noFolder, Profile(out, L"..\\")}, {b},
       FormattedResourceString(IDS_MSG_PROFILE_FOLDER_EMPTY, 2), 1, ProfileField::Folder, StartRefusalKind::FolderEmpty},
      {"no folder and a conflict", {Profile(out, L"s"), Profile(out, L"s"), noFolder}, {b},
       FormattedResourceString(IDS_MSG_PROFILE_FOLDER_EMPTY, 3), 2, ProfileField::Folder, StartRefusalKind::FolderEmpty},
      {"same folder and prefix", {Profile(out, L"X_"), Profile(out, L"..\\"), Profile(outUpper, L"x_")},
       {b}, ResourceString(IDS_MSG_PROFILE_CONFLICT), 2, ProfileField::Folder, StartRefusalKind::ProfileConflict},
      {"nothing enabled", {off, off, off}, {b}, ResourceString(IDS_MSG_NO_PROFILE_ENABLED), -1, ProfileField::Folder, StartRefusalKind::NoProfileEnabled},
      {"parent folder", {off, Profile(out, L"..\\")}, {b}, prefixRefused(2, L"..\\"), 1, ProfileField::Prefix, StartRefusalKind::ForbiddenPrefix},
      {"slash", {Profile(out, L"../")}, {b}, prefixRefused(1, L"../"), 0, ProfileField::Prefix, StartRefusalKind::ForbiddenPrefix},
      {"stream", {Profile(out, L"x:")}, {b}, prefixRefused(1, L"x:"), 0, ProfileField::Prefix, StartRefusalKind::ForbiddenPrefix},
      {"wildcard", {Profile(out, L"s"), off, Profile(out, L"t*")}, {b}, prefixRefused(3, L"t*"), 2, ProfileField::Prefix, StartRefusalKind::ForbiddenPrefix},
      {"tab", {Profile(out, L"s\t")}, {b}, prefixRefused(1, L"s\t"), 0, ProfileField::Prefix, StartRefusalKind::ForbiddenPrefix},
      {"too long", {Profile(out, L"s"), Profile(out, std::wstring(251, L'p'))}, {b},
       FormattedResourceString(IDS_MSG_OUTPUT_NAME_INVALID, 2, b.c_str()), 1, ProfileField::Prefix, StartRefusalKind::UnnamableOutput},
      {"a.png and a.jpg", {Profile(out, L"s")}, {b, dir / L"a.png", dir / L"a.jpg"},
       collide(dir / L"a.png", dir / L"a.jpg", L"\\sa.png"), -1, ProfileField::Folder, StartRefusalKind::OutputsCollide},
      {"two folders", {Profile(out, L"s")}, {b, dir / L"other\\b.png"},
       collide(b, dir / L"other\\b.png", L"\\sb.png"), -1, ProfileField::Folder, StartRefusalKind::OutputsCollide},
      // Profile 2's prefix and one file's name make profile 1's output of another file.
      {"across profiles", {Profile(out, L"s"), Profile(out, L"sa")}, {dir / L"ab.png", b},
       collide(dir / L"ab.png", b, L"\\sab.png"), -1, ProfileField::Folder, StartRefusalKind::OutputsCollide},
      {"one folder in two spellings", {Profile(out, L"s"), Profile(out + L"\\.\\", L"S")}, {b},
       ResourceString(IDS_MSG_PROFILE_CONFLICT), 1, ProfileField::Folder, StartRefusalKind::ProfileConflict},
      // What dropped paths stand for, in drop order: nothing (1009), no picture (1039).
      {"nothing there", {Profile(out, L"s")}, {b, dir / L"gone.png", dir / L"empty"},
       FormattedResourceString(IDS_MSG_FILE_NOT_FOUND, (dir / L"gone.png").c_str()), -1, ProfileField::Folder, StartRefusalKind::SourceRefused},
      {"no picture", {Profile(out, L"s")}, {b, dir / L"empty", dir / L"gone.png"},
       FormattedResourceString(IDS_MSG_FOLDER_HAS_NO_PICTURES, (dir / L"empty").c_str()), -1, ProfileField::Folder, StartRefusalKind::SourceRefused},
      {"two folders of one name", {Profile(out, L"s")}, {dir / L"one\\Trip", dir / L"two\\Trip"},
       collide(dir / L"one\\Trip\\c.png", dir / L"two\\Trip\\c.png", L"\\Trip\\sc.png"), -1, ProfileField::Folder, StartRefusalKind::OutputsCollide},
      // Dropped inside the profile's folder, the tree would be written over itself.
      {"a folder in its output folder", {Profile(dir / L"one", L"")}, {dir / L"one\\Trip"},
       FormattedResourceString(IDS_MSG_OUTPUT_IS_SOURCE, (dir / L"one\\Trip\\c.png").c_str()), 0, ProfileField::Folder, StartRefusalKind::OutputIsSource},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CRecordingStart client;
    TaskQueue queue;
    EXPECT_FALSE(PrepareJob(Paths(c.files), c.profiles, nullptr, &queue, &client));
    ASSERT_EQ(1u, client.errors.size());
    EXPECT_EQ(c.message, client.errors[0]);
    EXPECT_EQ(c.kind, client.kind);
    EXPECT_EQ(c.profile, client.blamed);
    EXPECT_EQ(c.field, client.field);
    EXPECT_TRUE(client.questions.empty()) << "refused before the question";
  }
  EXPECT_EQ("existing output", ReadBytes(out + L"\\sb.png"));
  EXPECT_EQ("planted", ReadBytes(dir / L"0001.png"));
  EXPECT_EQ(1, CountEntries(out));

  // Formats of their own keep them apart; the prefix alone may hold dots and blanks.
  ShrinkProfile jpeg = Profile(out, L".. s ");
  jpeg.SaveFormat.Type = 1;
  OutputCollision collision;
  EXPECT_FALSE(FindOutputCollision(Sources({dir / L"a.png", dir / L"b.png"}), {Profile(out, L".. s "), jpeg}, &collision));
  size_t profile = 9;
  EXPECT_FALSE(FindForbiddenPrefix({Profile(out, L"..s "), Profile(out, L"\\", false)}, &profile));
}

TEST(JobStart, AStartCountsEachFileOnceAndClearsWhatKilledWritesLeft) {
  CTempDir dir;
  const std::wstring out = dir / L"out";
  ASSERT_TRUE(CreateDirectoryW(out.c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(dir / L"a.png", "a"));
  ASSERT_TRUE(WriteBytes(dir / L"b.png", "b"));
  ASSERT_TRUE(WriteBytes(out + L"\\~kestrelle-00c0ffee.tmp", "half a picture"));
  ASSERT_TRUE(WriteBytes(out + L"\\sa.png", "old"));
  CRecordingStart client;
  TaskQueue queue;
  // One file in three spellings, and another.
  EXPECT_TRUE(PrepareJob(Paths({dir / L"a.png", dir / L"b.png", dir / L"A.PNG", dir / L"x\\..\\a.png"}),
                         {Profile(out, L"s")}, nullptr, &queue, &client));
  EXPECT_TRUE(client.errors.empty());
  ASSERT_EQ(2u, queue.Count());
  EXPECT_EQ(dir / L"a.png", queue.PopFront()->GetSource());
  EXPECT_EQ(dir / L"b.png", queue.PopFront()->GetSource());
  ASSERT_EQ(1u, client.questions.size());
  EXPECT_FALSE(FileExists(out + L"\\sa.png"));  // agreed: deleted at the start
  EXPECT_FALSE(FileExists(out + L"\\~kestrelle-00c0ffee.tmp"));
  EXPECT_EQ(0, CountEntries(out));
}

TEST(JobStart, LeftoversOfEndedWritesAreRemovedButNotAWriteInProgressNorOtherNames) {
  CTempDir dir;
  const std::wstring left1 = dir / L"~kestrelle-0123abcd.tmp";
  const std::wstring left2 = dir / L"~kestrelle-ffffffff.tmp";
  ASSERT_TRUE(WriteBytes(left1, "partial"));
  ASSERT_TRUE(WriteBytes(left2, ""));
  // Not of the program's own form: upper-case digits, seven digits, another ending, a folder.
  const std::wstring others[] = {dir / L"~kestrelle-ABCDEF01.tmp", dir / L"~kestrelle-0123abc.tmp",
                                 dir / L"~kestrelle-0123abcd.tmp.png", dir / L"kestrelle-0123abcd.tmp"};
  for (const std::wstring& other : others) ASSERT_TRUE(WriteBytes(other, "mine"));
  ASSERT_TRUE(CreateDirectoryW((dir / L"~kestrelle-00000000.tmp").c_str(), nullptr));
  // A write in progress holds its file open as WriteNewFile does.
  const std::wstring writing = dir / L"~kestrelle-12345678.tmp";
  HANDLE inProgress = CreateFileW(writing.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, inProgress);

  EXPECT_EQ(2, RemoveAbandonedTemporaryFiles(dir.Path()));
  EXPECT_FALSE(FileExists(left1));
  EXPECT_FALSE(FileExists(left2));
  for (const std::wstring& other : others) EXPECT_EQ("mine", ReadBytes(other));
  EXPECT_TRUE(PathExists(dir / L"~kestrelle-00000000.tmp"));
  EXPECT_TRUE(FileExists(writing));
  // Once its writer has let go (killed, say), the next clean-up takes it.
  CloseHandle(inProgress);
  EXPECT_EQ(1, RemoveAbandonedTemporaryFiles(dir.Path()));
  EXPECT_FALSE(FileExists(writing));
  EXPECT_EQ(0, RemoveAbandonedTemporaryFiles(dir / L"no such folder"));

  EXPECT_TRUE(IsTemporaryFileName(L"~kestrelle-0123abcd.tmp"));
  EXPECT_FALSE(IsTemporaryFileName(L"~kestrelle-0123abcd.TMP"));
}

TEST(JobStart, AFolderDropWritesIntoItsSubfoldersAndAsksAboutTheOutputsThere) {
  CTempDir dir;
  const std::wstring out = dir / L"out";
  ASSERT_TRUE(MakeFolders(dir / L"Trip\\sub"));
  ASSERT_TRUE(WriteBytes(dir / L"Trip\\a.png", "a"));
  ASSERT_TRUE(WriteBytes(dir / L"Trip\\sub\\a.png", "a in sub"));  // another output folder: no collision
  ASSERT_TRUE(WriteBytes(dir / L"loose.png", "l"));
  ASSERT_TRUE(MakeFolders(out + L"\\Trip\\sub"));
  ASSERT_TRUE(WriteBytes(out + L"\\Trip\\sub\\sa.png", "old"));
  ASSERT_TRUE(WriteBytes(out + L"\\Trip\\sub\\~kestrelle-00c0ffee.tmp", "half a picture"));
  CRecordingStart client;
  TaskQueue queue;
  EXPECT_TRUE(PrepareJob(Paths({dir / L"loose.png", dir / L"Trip"}), {Profile(out, L"s")}, nullptr, &queue, &client));
  EXPECT_TRUE(client.errors.empty());
  std::vector<std::wstring> outputs;
  while (queue.Count() > 0) {
    CShrinkTaskExPtr task = queue.PopFront();
    outputs.push_back(task->BuildOutputPath(task->GetProfiles()[0]));
  }
  EXPECT_EQ((std::vector<std::wstring>{out + L"\\sloose.png", out + L"\\Trip\\sa.png", out + L"\\Trip\\sub\\sa.png"}),
            outputs);
  ASSERT_EQ(1u, client.questions.size());
  EXPECT_NE(std::wstring::npos, client.questions[0].find(out + L"\\Trip\\sub\\sa.png\n"));
  EXPECT_EQ(0, CountEntries(out + L"\\Trip\\sub"));  // the old output and what a killed write left
}

namespace {

// A small real picture at `path`, so that a task run on it writes its outputs.
bool WritePicture(const std::wstring& path) {
  const CDibPtr picture = MakeDib(8, 8, [](int x, int y) { return 0xFF000000u | (x * 32u << 8) | y * 32u; });
  return SUCCEEDED(CreatePngSaver()->Save(*picture, path));
}

// Runs every queued task, as the worker would.
void RunQueued(TaskQueue* queue) {
  while (queue->Count() > 0) queue->PopFront()->Run();
}

}  // namespace

TEST(JobStart, EverySpellingOfADroppedFolderWritesAndDeletesOnlyInsideTheProfilesFolder) {
  CTempDir dir;
  const std::wstring photos = dir / L"photos";
  const std::wstring out = dir / L"out";
  ASSERT_TRUE(MakeFolders(photos + L"\\Trip"));
  ASSERT_TRUE(MakeFolders(out));
  ASSERT_TRUE(WritePicture(photos + L"\\Trip\\a.png"));
  // The user's files where a spelling's last part, taken as a folder's name, would have put or
  // cleared outputs: beside the profile's folder ("out\\.."), in it ("out\\."), and beside the
  // originals ("out\\..\\photos"). Named as no picture, so that no listing takes them.
  const std::vector<std::wstring> planted = {dir / L"p_a.png.keep", dir / L"~kestrelle-00c0ffee.tmp",
                                             photos + L"\\~kestrelle-00c0ffee.tmp"};
  for (const std::wstring& path : planted) ASSERT_TRUE(WriteBytes(path, "the user's"));
  ASSERT_TRUE(WriteBytes(dir / L"p_a.png", "the user's"));
  ASSERT_TRUE(WriteBytes(out + L"\\p_a.png", "the user's"));
  const size_t separator = dir.Path().rfind(L'\\');
  const std::wstring dirName = dir.Path().substr(separator + 1);
  struct Case {
    std::wstring dropped;
    std::vector<std::wstring> outputs;  // relative to the profile's folder
  };
  const std::vector<Case> cases = {
      {photos + L"\\Trip\\..", {L"photos\\Trip\\p_a.png"}},
      {photos + L"\\Trip\\.", {L"Trip\\p_a.png"}},
      {photos + L"\\Trip.", {L"Trip\\p_a.png"}},
      {photos + L"\\Trip .\\", {L"Trip\\p_a.png"}},
      {photos + L"\\\\Trip\\\\", {L"Trip\\p_a.png"}},
      // The folder above: its pictures too (the planted p_a.png among them), not the output folder.
      {photos + L"\\Trip\\..\\..", {dirName + L"\\p_p_a.png", dirName + L"\\photos\\Trip\\p_a.png"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dropped);
    CRecordingStart client;
    TaskQueue queue;
    std::vector<std::wstring> outputs;
    ASSERT_TRUE(PrepareJob(Paths({c.dropped}), {Profile(out, L"p_")}, nullptr, &queue, &client));
    EXPECT_TRUE(client.errors.empty());
    std::vector<CShrinkTaskExPtr> tasks;
    while (queue.Count() > 0) tasks.push_back(queue.PopFront());
    for (const CShrinkTaskExPtr& task : tasks) {
      const std::wstring output = task->BuildOutputPath(task->GetProfiles()[0]);
      ASSERT_EQ(out + L"\\", output.substr(0, out.size() + 1));
      outputs.push_back(output.substr(out.size() + 1));
    }
    EXPECT_EQ(c.outputs, outputs);
    for (const CShrinkTaskExPtr& task : tasks) task->Run();
    for (const std::wstring& output : c.outputs) {
      if (output.find(L"p_p_a") != std::wstring::npos) continue;  // the planted file is no picture
      EXPECT_TRUE(FileExists(out + L"\\" + output)) << output;
    }
  }
  // Nothing outside the profile's folder was written, replaced or cleared, nor its own leftover.
  for (const std::wstring& path : planted) EXPECT_EQ("the user's", ReadBytes(path)) << path;
  EXPECT_EQ("the user's", ReadBytes(dir / L"p_a.png"));
  EXPECT_EQ("the user's", ReadBytes(out + L"\\p_a.png"));
  EXPECT_EQ(5, CountEntries(dir.Path()));  // photos, out and the user's three
  EXPECT_EQ(2, CountEntries(photos));   // Trip and the user's leftover
  EXPECT_EQ(1, CountEntries(photos + L"\\Trip"));
}

TEST(JobStart, AnOutputOrFolderLeadingOutOfItsProfilesFolderRefusesTheStartBeforeAnythingIsTouched) {
  CTempDir dir;
  const std::wstring out = dir / L"out";
  ASSERT_TRUE(MakeFolders(out + L"\\Trip"));
  ASSERT_TRUE(WriteBytes(dir / L"a.png", "a"));
  ASSERT_TRUE(WriteBytes(dir / L"sa.png", "the user's"));
  ASSERT_TRUE(WriteBytes(dir / L"~kestrelle-00c0ffee.tmp", "the user's"));
  ASSERT_TRUE(WriteBytes(out + L"\\sa.png", "an old output"));
  // Subfolders no listing gives (it names them from the file system), as a fault would. The
  // outputs of a.png would be sa.png beside the profile's folder.
  struct Case {
    std::wstring subfolder;
    std::wstring outside;  // the resolved path the refusal names
  };
  const std::vector<Case> cases = {
      // The folder first: what killed writes left there would be cleared.
      {L"..", dir.Path()},
      {L"Trip\\..\\..", dir.Path()},
      {L"..\\out2", dir / L"out2"},
      {L"Trip\\..\\..\\..\\x", dir.Path().substr(0, dir.Path().rfind(L'\\')) + L"\\x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.subfolder);
    DroppedSources listed;
    listed.sources = {{dir / L"b.png", L"Trip"}, {dir / L"a.png", c.subfolder}};
    size_t profile = 9;
    std::wstring path;
    const std::vector<ShrinkProfile> profiles = {Profile(out, L"t", false), Profile(out + L"\\", L"s")};
    EXPECT_TRUE(FindOutputOutsideFolder(listed.sources, profiles, &profile, &path));
    EXPECT_EQ(1u, profile);
    EXPECT_EQ(c.outside, path);
    CRecordingStart client;
    TaskQueue queue;
    EXPECT_FALSE(PrepareJob(listed, profiles, nullptr, &queue, &client));
    ASSERT_EQ(1u, client.errors.size());
    EXPECT_EQ(FormattedResourceString(IDS_MSG_OUTPUT_OUTSIDE_FOLDER, 2, out.c_str(), c.outside.c_str()),
              client.errors[0]);
    EXPECT_EQ(1, client.blamed);
    EXPECT_TRUE(client.questions.empty());
  }
  EXPECT_EQ("the user's", ReadBytes(dir / L"sa.png"));
  EXPECT_EQ("the user's", ReadBytes(dir / L"~kestrelle-00c0ffee.tmp"));
  EXPECT_EQ("an old output", ReadBytes(out + L"\\sa.png"));

  // Spellings that stay inside, the folder itself among them, and names that only look like parts.
  size_t profile = 9;
  std::wstring path;
  for (const wchar_t* inside : {L"Trip", L"Trip\\..\\Trip2", L"..Trip", L"Trip\\.", L"Trip\\.."}) {
    EXPECT_FALSE(FindOutputOutsideFolder({{dir / L"a.png", inside}}, {Profile(out, L"s")}, &profile, &path)) << inside;
  }
  EXPECT_FALSE(FindOutputOutsideFolder({{dir / L"a.png", L""}}, {Profile(dir.Path().substr(0, 3), L"s")}, &profile, &path))
      << "a drive's root holds its outputs";
}

TEST(JobStart, PicturesNamedLikeDevicesAreWrittenUnderAPlainNameOrCollideVisibly) {
  CTempDir dir;
  const std::wstring disc = dir / L"disc";
  const std::wstring out = dir / L"out";
  ASSERT_TRUE(MakeFolders(disc));
  // Made through extended paths, as a disc or an archive from elsewhere may hold them.
  for (const wchar_t* name : {L"CON.png", L"aux.png", L"com1.png", L"Nul.png", L"LPT9.png", L"prn .png"}) {
    ASSERT_TRUE(WritePicture(disc + L"\\" + name)) << name;
  }
  CRecordingStart client;
  TaskQueue queue;
  ASSERT_TRUE(PrepareJob(Paths({disc}), {Profile(out, L"")}, nullptr, &queue, &client));
  EXPECT_TRUE(client.errors.empty());
  RunQueued(&queue);
  std::vector<std::wstring> written;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((ExtendedPath(out + L"\\disc") + L"\\*").c_str(), &found);
  ASSERT_NE(INVALID_HANDLE_VALUE, search);
  do {
    if (found.cFileName[0] != L'.') written.push_back(found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(written.begin(), written.end());
  EXPECT_EQ((std::vector<std::wstring>{L"_CON.png", L"_LPT9.png", L"_Nul.png", L"_aux.png", L"_com1.png", L"_prn .png"}),
            written);

  // A picture already named as the plain name makes the same output: refused, naming both.
  ASSERT_TRUE(WritePicture(disc + L"\\_CON.png"));
  CRecordingStart refused;
  EXPECT_FALSE(PrepareJob(Paths({disc}), {Profile(out + L"2", L"")}, nullptr, &queue, &refused));
  ASSERT_EQ(1u, refused.errors.size());
  const std::wstring device = disc + L"\\CON.png", plain = disc + L"\\_CON.png", output = out + L"2\\disc\\_CON.png";
  // Named in the order the folder lists them, which depends on how "_" sorts against letters.
  EXPECT_TRUE(refused.errors[0] == FormattedResourceString(IDS_MSG_OUTPUTS_COLLIDE, device.c_str(), plain.c_str(), output.c_str()) ||
              refused.errors[0] == FormattedResourceString(IDS_MSG_OUTPUTS_COLLIDE, plain.c_str(), device.c_str(), output.c_str()))
      << refused.errors[0].size();
}

TEST(JobStart, AFolderOfTheTreeThatCannotBeReadRefusesTheStartWithTheSystemsReason) {
  DroppedSources listed;
  listed.sources = {{L"C:\\in\\a.png", L""}};
  listed.refusal = IDS_MSG_FOLDER_UNREADABLE;
  listed.refusedPath = L"C:\\in\\Trip\\private";
  listed.refusalError = ERROR_ACCESS_DENIED;
  CRecordingStart client;
  TaskQueue queue;
  EXPECT_FALSE(PrepareJob(listed, {Profile(L"C:\\out", L"s")}, nullptr, &queue, &client));
  ASSERT_EQ(1u, client.errors.size());
  EXPECT_EQ(FormattedResourceString(IDS_MSG_FOLDER_UNREADABLE, L"C:\\in\\Trip\\private",
                                    HResultText(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)).c_str()),
            client.errors[0]);
  EXPECT_EQ(0u, queue.Count());
}
