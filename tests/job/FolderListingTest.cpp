// What dropped folders stand for: which files of a tree are pictures, which are skipped, their
// order and subfolders, and the refusals of a drop that gives no source.
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "image/decode/InputFormats.h"
#include "job/FolderListing.h"
#include "res/StringIds.h"
#include "support/TempDir.h"

namespace {

CFileList Paths(const std::vector<std::wstring>& paths) {
  CFileList list;
  for (const std::wstring& p : paths) list.Add(p);
  return list;
}

ShrinkProfile Profile(const std::wstring& folder, bool use = true) {
  ShrinkProfile p;
  p.Folder = folder;
  p.Use = use;
  return p;
}

// Each source as "subfolder|path relative to `base`", for comparisons that show the whole list.
std::vector<std::wstring> Described(const JobSourceList& sources, const std::wstring& base) {
  std::vector<std::wstring> described;
  for (const JobSource& source : sources) {
    const bool inside = source.path.compare(0, base.size() + 1, base + L"\\") == 0;
    described.push_back(source.subfolder + L"|" + (inside ? source.path.substr(base.size() + 1) : source.path));
  }
  return described;
}

bool Write(const std::wstring& path, DWORD attributes = 0) {
  const size_t slash = path.rfind(L'\\');
  if (!MakeFolders(path.substr(0, slash)) || !WriteBytes(path, "x")) return false;
  return attributes == 0 || SetFileAttributesW(path.c_str(), attributes);
}

}  // namespace

TEST(FolderListing, PicturesAreTheDecodersExtensionsInAnyCase) {
  for (const wchar_t* name : {L"a.jpg", L"a.JPEG", L"a.Jpe", L"a.jfif", L"a.png", L"a.bmp", L"a.DIB", L"a.gif",
                              L"a.tif", L"a.tiff", L"a.ico", L"a.HEIC", L"a.heif", L"a.hif", L"a.avif",
                              L"a.WebP", L"写真.b.jpg"}) {
    EXPECT_TRUE(HasPictureExtension(name)) << name;
  }
  // GDI+ reads metafiles too, but a folder listing leaves them out.
  for (const wchar_t* name : {L"a.txt", L"jpg", L"a.jpg.txt", L"a.jp", L"a.pngx", L"a.", L"a.emf", L"a.WMF",
                              L"a.jxl", L"a.svg", L"a.heics", L"a.tif_", L""}) {
    EXPECT_FALSE(HasPictureExtension(name)) << name;
  }
  // The decoders' table offers these, no more: adding one is a deliberate change of what a
  // folder gives.
  const std::vector<std::wstring> extensions = PictureExtensions();
  EXPECT_EQ((std::set<std::wstring>{L"jpg", L"jpeg", L"jpe", L"jfif", L"png", L"bmp", L"dib", L"gif", L"tif",
                                    L"tiff", L"ico", L"heic", L"heif", L"hif", L"avif", L"webp"}),
            std::set<std::wstring>(extensions.begin(), extensions.end()));
  EXPECT_EQ(16u, extensions.size());
  EXPECT_EQ(L"Trip", DroppedFolderName(L"D:\\Photos\\Trip\\"));
  EXPECT_EQ(L"旅行 2", DroppedFolderName(L"D:\\Photos/旅行 2"));
  EXPECT_EQ(L"D", DroppedFolderName(L"D:\\"));
}

TEST(FolderListing, ATreeGivesItsVisiblePicturesFolderByFolderInExplorersOrder) {
  CTempDir dir;
  const std::wstring trip = dir / L"Trip";
  const std::wstring out = trip + L"\\out";
  for (const wchar_t* name : {L"img10.png", L"img2.JPG", L"img1.webp", L"b\\x.png", L"a10\\p.gif", L"a2\\p.bmp",
                              L"a2\\deep\\q.heic", L"a2\\r.tif", L"日本\\写真.jpeg"}) {
    ASSERT_TRUE(Write(trip + L"\\" + name)) << name;
  }
  // Neither pictures nor visible, or the job's own outputs.
  ASSERT_TRUE(Write(trip + L"\\notes.txt"));
  ASSERT_TRUE(Write(trip + L"\\noextension"));
  ASSERT_TRUE(Write(trip + L"\\hidden.png", FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(Write(trip + L"\\system.png", FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(Write(trip + L"\\.cache\\c.png"));
  ASSERT_TRUE(SetFileAttributesW((trip + L"\\.cache").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(Write(trip + L"\\sys\\c.png"));
  ASSERT_TRUE(SetFileAttributesW((trip + L"\\sys").c_str(), FILE_ATTRIBUTE_SYSTEM));
  ASSERT_TRUE(Write(out + L"\\Trip\\img2.png"));
  ASSERT_TRUE(Write(out + L"\\deeper\\old.png"));

  // The output folder is named in another spelling; a disabled profile's folder is read.
  const DroppedSources listed =
      ListDroppedSources(Paths({trip + L"\\"}), {Profile(dir / L"elsewhere"), Profile(trip + L"\\a10", false),
                                                Profile(dir / L"trip\\.\\OUT\\")});
  EXPECT_EQ(0u, listed.refusal);
  EXPECT_FALSE(listed.stopped);
  EXPECT_EQ((std::vector<std::wstring>{L"Trip|img1.webp", L"Trip|img2.JPG", L"Trip|img10.png",
                                       L"Trip\\a2|a2\\p.bmp", L"Trip\\a2|a2\\r.tif",
                                       L"Trip\\a2\\deep|a2\\deep\\q.heic", L"Trip\\a10|a10\\p.gif",
                                       L"Trip\\b|b\\x.png", L"Trip\\日本|日本\\写真.jpeg"}),
            Described(listed.sources, trip));
}

TEST(FolderListing, FoldersTakeTheirPlaceInTheDropAndTheFirstFruitlessPathEndsIt) {
  CTempDir dir;
  ASSERT_TRUE(Write(dir / L"z.png"));
  ASSERT_TRUE(Write(dir / L"Trip\\b.jpg"));
  ASSERT_TRUE(Write(dir / L"Trip\\a.jpg"));
  ASSERT_TRUE(Write(dir / L"notes.txt"));
  ASSERT_TRUE(Write(dir / L"empty\\readme.txt"));
  ASSERT_TRUE(Write(dir / L"empty\\inner\\hidden.png", FILE_ATTRIBUTE_HIDDEN));
  const std::vector<ShrinkProfile> profiles = {Profile(dir / L"out")};

  // A file dropped itself is taken whatever its name.
  DroppedSources listed = ListDroppedSources(Paths({dir / L"z.png", dir / L"Trip", dir / L"notes.txt"}), profiles);
  EXPECT_EQ(0u, listed.refusal);
  EXPECT_EQ((std::vector<std::wstring>{L"|z.png", L"Trip|Trip\\a.jpg", L"Trip|Trip\\b.jpg", L"|notes.txt"}),
            Described(listed.sources, dir.Path()));

  listed = ListDroppedSources(Paths({dir / L"Trip", dir / L"empty", dir / L"gone.png"}), profiles);
  EXPECT_EQ(static_cast<unsigned>(IDS_MSG_FOLDER_HAS_NO_PICTURES), listed.refusal);
  EXPECT_EQ(dir / L"empty", listed.refusedPath);
  listed = ListDroppedSources(Paths({dir / L"gone.png", dir / L"empty"}), profiles);
  EXPECT_EQ(static_cast<unsigned>(IDS_MSG_FILE_NOT_FOUND), listed.refusal);
  EXPECT_EQ(dir / L"gone.png", listed.refusedPath);

  // Asked before each folder: the second folder of the tree is never read.
  int asked = 0;
  listed = ListDroppedSources(Paths({dir.Path(), dir / L"z.png"}), profiles, [&asked] { return ++asked > 1; });
  EXPECT_TRUE(listed.stopped);
  EXPECT_EQ(2, asked);
}

TEST(FolderListing, EverySpellingOfADroppedFolderListsTheFolderItNamesUnderItsOwnName) {
  CTempDir dir;
  const std::wstring photos = dir / L"photos";
  ASSERT_TRUE(Write(photos + L"\\Trip\\a.png"));
  ASSERT_TRUE(Write(photos + L"\\c.png"));
  ASSERT_TRUE(Write(dir / L"Long Folder Name\\d.png"));
  wchar_t shortName[MAX_PATH] = {};
  ASSERT_NE(0u, GetShortPathNameW((dir / L"Long Folder Name").c_str(), shortName, MAX_PATH));
  const std::vector<ShrinkProfile> profiles = {Profile(dir / L"out")};
  const size_t separator = dir.Path().rfind(L'\\');
  const std::wstring dirName = dir.Path().substr(separator + 1);
  struct Spelling {
    std::wstring dropped;
    std::vector<std::wstring> listed;  // subfolder|path relative to the temporary folder
  };
  const std::vector<Spelling> spellings = {
      {photos + L"\\Trip\\..", {L"photos|photos\\c.png", L"photos\\Trip|photos\\Trip\\a.png"}},
      {photos + L"\\Trip\\.", {L"Trip|photos\\Trip\\a.png"}},
      {photos + L"\\Trip.", {L"Trip|photos\\Trip\\a.png"}},
      {photos + L"\\Trip. .\\", {L"Trip|photos\\Trip\\a.png"}},
      {photos + L"\\\\Trip\\\\", {L"Trip|photos\\Trip\\a.png"}},
      // The folder's name as the file system has it, not as it was typed.
      {photos + L"/x/../TRIP", {L"Trip|photos\\TRIP\\a.png"}},
      {photos + L"\\Trip\\..\\..",
       {dirName + L"\\Long Folder Name|Long Folder Name\\d.png", dirName + L"\\photos|photos\\c.png",
        dirName + L"\\photos\\Trip|photos\\Trip\\a.png"}},
  };
  for (const Spelling& s : spellings) {
    const DroppedSources listed = ListDroppedSources(Paths({s.dropped}), profiles);
    EXPECT_EQ(0u, listed.refusal) << s.dropped;
    EXPECT_EQ(s.listed, Described(listed.sources, dir.Path())) << s.dropped;
  }
  // An 8.3 name stands for the folder's long name.
  const DroppedSources listed = ListDroppedSources(Paths({shortName}), profiles);
  ASSERT_EQ(1u, listed.sources.size());
  EXPECT_EQ(L"Long Folder Name", listed.sources[0].subfolder);
}

TEST(FolderListing, FoldersNamedLikeDevicesOrEndingInADotGiveSubfoldersExplorerCanOpen) {
  CTempDir dir;
  // Made through extended paths, as a disc or another system may hold them.
  ASSERT_TRUE(Write(dir / L"disc\\AUX\\a.png"));
  ASSERT_TRUE(Write(dir / L"disc\\com1.x\\b.png"));
  ASSERT_TRUE(Write(dir / L"aux\\c.png"));
  const DroppedSources listed = ListDroppedSources(Paths({dir / L"disc", dir / L"aux"}), {Profile(dir / L"out")});
  EXPECT_EQ(0u, listed.refusal);
  EXPECT_EQ((std::vector<std::wstring>{L"disc\\_AUX|disc\\AUX\\a.png", L"disc\\_com1.x|disc\\com1.x\\b.png",
                                       L"_aux|aux\\c.png"}),
            Described(listed.sources, dir.Path()));
}
