// kestrelle-cli: its arguments, and whole runs of the real program with their exit codes, output
// and files.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include <gtest/gtest.h>

#include "base/FilePaths.h"
#include "base/ResourceText.h"
#include "cli/CliOptions.h"
#include "image/decode/LoadDib.h"
#include "image/encode/ImageSaver.h"
#include "job/ShrinkTaskEx.h"
#include "res/StringIds.h"
#include "res/Version.h"
#include "support/HostileCorpus.h"
#include "support/ImageCalls.h"
#include "support/Pictures.h"
#include "support/TempDir.h"

namespace {

struct RunResult {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;  // standard output and error together, as bytes
};

std::wstring CliPath() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path = self;
  path.resize(path.find_last_of(L'\\'));
  return path + L"\\..\\src\\kestrelle-cli.exe";
}

// Runs kestrelle-cli with `arguments` in `folder` and collects what it writes.
RunResult RunCli(const std::wstring& arguments, const std::wstring& folder) {
  RunResult result;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::wstring command = L"\"" + CliPath() + L"\" " + arguments;
  PROCESS_INFORMATION process = {};
  BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                folder.c_str(), &startup, &process);
  CloseHandle(writeEnd);
  if (started) {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) result.output.append(buffer, got);
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(readEnd);
  return result;
}

std::string Utf8(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &bytes[0], size, nullptr, nullptr);
  bytes.resize(bytes.size() - 1);
  return bytes;
}

// Every file under `folder`, as paths relative to it, sorted.
std::vector<std::wstring> FilesUnder(const std::wstring& folder, const std::wstring& relative = std::wstring()) {
  std::vector<std::wstring> files;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\" + relative + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      for (const std::wstring& inner : FilesUnder(folder, relative + name + L"\\")) files.push_back(inner);
    } else {
      files.push_back(relative + name);
    }
  } while (FindNextFileW(search, &found));
  FindClose(search);
  std::sort(files.begin(), files.end());
  return files;
}

bool Parse(const std::vector<std::wstring>& args, CliOptions* options, std::wstring* error) {
  return ParseCliArguments(args, options, error);
}

}  // namespace

TEST(CliArguments, ProfileOptionsBuildOneProfile) {
  CliOptions o;
  std::wstring error;
  ASSERT_TRUE(Parse({L"--out", L"D:\\out", L"--prefix", L"s_", L"--fit", L"640x480", L"--jpeg=90",
                     L"--background", L"ff8119", L"--overwrite", L"--threads", L"3", L"a.png", L"--", L"--b.png"}, &o, &error));
  EXPECT_TRUE(o.ownProfile);
  EXPECT_EQ(3, o.threads);
  EXPECT_TRUE(o.overwrite);
  EXPECT_EQ((std::vector<std::wstring>{L"a.png", L"--b.png"}), o.files);
  ShrinkProfile p = ProfileFromOptions(o, L"C:\\here");
  EXPECT_EQ(L"D:\\out", p.Folder);
  EXPECT_EQ(L"s_", p.Prefix);
  EXPECT_EQ(1, p.ShrinkType);
  EXPECT_EQ(640, p.CustomWidth);
  EXPECT_EQ(480, p.CustomHeight);
  EXPECT_EQ(1, p.SaveFormat.Type);
  EXPECT_EQ(90, p.SaveFormat.JpegQuality);
  EXPECT_FALSE(p.Transparent);
  EXPECT_EQ(0x1981FFu, p.BkColor);

  ASSERT_TRUE(Parse({L"--jpeg", L"x.png"}, &o, &error));
  p = ProfileFromOptions(o, L"C:\\here");
  EXPECT_EQ(L"C:\\here", p.Folder);
  EXPECT_EQ(L"", p.Prefix);
  EXPECT_EQ(0, p.ShrinkType);
  EXPECT_EQ(80, p.SaveFormat.JpegQuality);
  EXPECT_TRUE(p.Transparent);
  EXPECT_EQ(0xFFFFFFu, p.BkColor);

  // The quality's ends are taken; the last format option and the last quality given count.
  for (const wchar_t* quality : {L"0", L"100", L"007"}) {
    ASSERT_TRUE(Parse({L"--jpeg=" + std::wstring(quality), L"x.png"}, &o, &error)) << quality;
    EXPECT_EQ(std::stoi(quality), ProfileFromOptions(o, L"C:\\here").SaveFormat.JpegQuality);
  }
  ASSERT_TRUE(Parse({L"--jpeg=55", L"--jpeg", L"x.png"}, &o, &error));
  EXPECT_EQ(55, ProfileFromOptions(o, L"C:\\here").SaveFormat.JpegQuality);
  // WebP shares JPEG's quality; the last format named counts.
  ASSERT_TRUE(Parse({L"--jpeg=55", L"--webp=65", L"x.png"}, &o, &error));
  p = ProfileFromOptions(o, L"C:\\here");
  EXPECT_EQ(2, p.SaveFormat.Type);
  EXPECT_EQ(65, p.SaveFormat.JpegQuality);
  EXPECT_TRUE(p.Transparent);
  ASSERT_TRUE(Parse({L"--max-kb", L"0500", L"x.png"}, &o, &error));
  EXPECT_TRUE(o.ownProfile);
  EXPECT_EQ(500, ProfileFromOptions(o, L"C:\\here").MaxKilobytes);
  EXPECT_FALSE(ProfileFromOptions(o, L"C:\\here").KeepDate);  // off unless asked
  ASSERT_TRUE(Parse({L"--keep-date", L"x.png"}, &o, &error));
  EXPECT_TRUE(o.ownProfile);
  EXPECT_TRUE(ProfileFromOptions(o, L"C:\\here").KeepDate);
  ASSERT_TRUE(Parse({L"--webp", L"--jpeg", L"x.png"}, &o, &error));
  EXPECT_EQ(1, ProfileFromOptions(o, L"C:\\here").SaveFormat.Type);
  ASSERT_TRUE(Parse({L"--prefix", L"p_", L"x.png"}, &o, &error));
  p = ProfileFromOptions(o, L"C:\\here");
  EXPECT_EQ(0, p.SaveFormat.Type);  // PNG without a format option
  EXPECT_EQ(80, p.SaveFormat.JpegQuality);

  ASSERT_TRUE(Parse({L"x.png"}, &o, &error));
  EXPECT_FALSE(o.ownProfile);  // the stored profiles apply
  EXPECT_EQ(0, o.threads);     // one per processor
  ASSERT_TRUE(Parse({L"--help"}, &o, &error));
  EXPECT_TRUE(o.help);
  ASSERT_TRUE(Parse({L"--version"}, &o, &error));  // needs no files either
  EXPECT_TRUE(o.version);
}

TEST(CliArguments, MalformedInputIsAUsageErrorWithAReason) {
  CliOptions o;
  for (const std::vector<std::wstring>& bad :
       std::vector<std::vector<std::wstring>>{{L"--fit", L"640", L"a"}, {L"--fit", L"0x10", L"a"},
                                              {L"--fit", L"-5x10", L"a"}, {L"--jpeg=101", L"a"},
                                              {L"--jpeg=", L"a"}, {L"--jpeg=8x", L"a"},
                                              {L"--jpeg=-1", L"a"}, {L"--jpeg=+5", L"a"},
                                              {L"--jpeg=\xFF15\xFF10", L"a"}, {L"--jpeg=99999999999", L"a"},
                                              {L"--png", L"a"}, {L"--jpg", L"a"}, {L"--JPEG", L"a"},
                                              {L"--jpegx", L"a"}, {L"--=5", L"a"}, {L"--webp=101", L"a"}, {L"--max-kb", L"-1", L"a"},
                                              {L"--max-kb", L"1.5", L"a"}, {L"--max-kb"},
                                              {L"--webp=", L"a"}, {L"--WebP", L"a"},
                                              {L"--background", L"GG", L"a"}, {L"--background", L"FFF", L"a"},
                                              {L"--out"}, {L"--frobnicate", L"a"}, {}, {L"--overwrite"},
                                              {L"--threads", L"0", L"a"}, {L"--threads", L"two", L"a"},
                                              {L"--threads", L"-2", L"a"}, {L"a", L"--threads"}}) {
    std::wstring error;
    EXPECT_FALSE(Parse(bad, &o, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(std::wstring::npos, error.find(L'\n'));
  }
  std::wstring error;
  EXPECT_FALSE(Parse({L"--jpeg=101", L"a"}, &o, &error));
  EXPECT_EQ(L"--jpeg=Q takes a quality from 0 to 100, not \"101\"", error);
  EXPECT_FALSE(Parse({L"--png", L"a"}, &o, &error));
  EXPECT_EQ(L"unknown option --png", error);
}

TEST(CliRun, BatchWritesEveryOutputAndReportsProgress) {
  CTempDir dir;
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(400, 300), dir / L"写真.png"));
  ASSERT_EQ(S_OK, CreateJpegSaver(90)->Save(*MakePhotoLike(300, 400), dir / L"b.jpg"));
  // A format that goes through GDI+, which must work from the console program's apartment too.
  ASSERT_TRUE(SaveWithGdiplus(*MakePhotoLike(200, 200), dir / L"c.bmp", L"image/bmp"));
  RunResult run =
      RunCli(L"--out out --prefix s_ --fit 100x100 --jpeg=85 \"写真.png\" b.jpg c.bmp", dir.Path());
  EXPECT_EQ(0u, run.exitCode) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("1 / 3\n"));
  EXPECT_NE(std::string::npos, run.output.find("2 / 3\n"));
  EXPECT_NE(std::string::npos, run.output.find("3 / 3\n"));
  CDibPtr a, b, c;
  ASSERT_EQ(S_OK, LoadDib(dir / L"out\\s_写真.jpg", &a));
  ASSERT_EQ(S_OK, LoadDib(dir / L"out\\s_b.jpg", &b));
  ASSERT_EQ(S_OK, LoadDib(dir / L"out\\s_c.jpg", &c));
  EXPECT_EQ(100, a->Width());
  EXPECT_EQ(75, a->Height());
  EXPECT_EQ(75, b->Width());
  EXPECT_EQ(100, b->Height());
  EXPECT_EQ(100, c->Width());
  EXPECT_EQ(100, c->Height());

  // The worker alone writes the same bytes as the worker with helpers.
  RunResult alone = RunCli(L"--out one --prefix s_ --fit 100x100 --jpeg=85 --threads 1 \"写真.png\" b.jpg c.bmp",
                           dir.Path());
  EXPECT_EQ(0u, alone.exitCode) << alone.output;
  RunResult helped = RunCli(L"--out four --prefix s_ --fit 100x100 --jpeg=85 --threads 4 \"写真.png\" b.jpg c.bmp",
                            dir.Path());
  EXPECT_EQ(0u, helped.exitCode) << helped.output;
  for (const wchar_t* name : {L"\\s_写真.jpg", L"\\s_b.jpg", L"\\s_c.jpg"}) {
    const std::string bytes = ReadBytes(dir / (std::wstring(L"one") + name));
    EXPECT_FALSE(bytes.empty());
    EXPECT_EQ(bytes, ReadBytes(dir / (std::wstring(L"four") + name)));
    EXPECT_EQ(bytes, ReadBytes(dir / (std::wstring(L"out") + name)));
  }
}

TEST(CliRun, ExistingOutputsRefuseTheJobUnlessOverwriteIsGiven) {
  CTempDir dir;
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(40, 30), dir / L"a.png"));
  ASSERT_TRUE(CreateDirectoryW((dir / L"out").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(dir / L"out\\a.png", "keep me"));
  RunResult refused = RunCli(L"--out out a.png", dir.Path());
  EXPECT_EQ(2u, refused.exitCode);
  EXPECT_NE(std::string::npos, refused.output.find(Utf8(L"以下の 1 個のファイルが上書きされます")));
  EXPECT_NE(std::string::npos, refused.output.find(Utf8(dir / L"out\\a.png")));
  EXPECT_EQ("keep me", ReadBytes(dir / L"out\\a.png"));

  RunResult replaced = RunCli(L"--out out --overwrite a.png", dir.Path());
  EXPECT_EQ(0u, replaced.exitCode) << replaced.output;
  CDibPtr written;
  EXPECT_EQ(S_OK, LoadDib(dir / L"out\\a.png", &written));
}

TEST(CliRun, AnOutputThatIsASourceRefusesTheJobWhateverTheSpellingAndOverwrite) {
  CTempDir dir;
  const std::wstring photo = dir / L"photo.jpg";
  ASSERT_EQ(S_OK, CreateSaver({1, 80})->Save(*MakePhotoLike(400, 300), photo));
  const std::string mine = ReadBytes(photo);
  std::wstring refusal;
  FormatResourceString(&refusal, IDS_MSG_OUTPUT_IS_SOURCE, photo.c_str());
  // The photo's own folder, as the current folder (no --out) and as other spellings of it.
  for (const std::wstring& out : {std::wstring(), std::wstring(L"--out . "),
                                  L"--out \"" + dir.Path() + L"\\\\\" ",
                                  L"--out \"" + dir.Path() + L"\\x\\..\" "}) {
    SCOPED_TRACE(Utf8(out));
    RunResult run = RunCli(out + L"--fit 80x60 --jpeg --overwrite photo.jpg", dir.Path());
    EXPECT_EQ(2u, run.exitCode);
    EXPECT_NE(std::string::npos, run.output.find(Utf8(refusal))) << run.output;
    EXPECT_EQ(mine, ReadBytes(photo));
  }
  EXPECT_EQ(1, CountEntries(dir.Path()));  // nothing written beside it
}

TEST(CliRun, RefusedStartsAndFailedFilesHaveTheirExitCodesAndTexts) {
  CTempDir dir;
  RunResult usage = RunCli(L"--fit nonsense a.png", dir.Path());
  EXPECT_EQ(2u, usage.exitCode);
  EXPECT_NE(std::string::npos, usage.output.find("--fit"));

  RunResult missing = RunCli(L"--out out nothere.png", dir.Path());
  EXPECT_EQ(2u, missing.exitCode);
  EXPECT_NE(std::string::npos, missing.output.find(Utf8(L"ファイルが見つかりません\n\n" + dir / L"nothere.png")));
  EXPECT_FALSE(FileExists(dir / L"out"));

  ASSERT_TRUE(WriteBytes(dir / L"broken.jpg", "\xFF\xD8\xFF not a real picture"));
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(40, 30), dir / L"good.png"));
  RunResult failed = RunCli(L"--out out --threads 3 broken.jpg good.png good.png good.png", dir.Path());
  EXPECT_EQ(1u, failed.exitCode);
  EXPECT_NE(std::string::npos, failed.output.find(Utf8(L"画像の読み込みに失敗しました - ")));
  EXPECT_NE(std::string::npos, failed.output.find(Utf8(dir / L"broken.jpg")));
  EXPECT_FALSE(FileExists(dir / L"out\\broken.png"));
  EXPECT_FALSE(FileExists(dir / L"out\\good.png"));  // nothing after the failed file
  EXPECT_EQ(std::string::npos, failed.output.find(" / ")) << "no file was done";

  RunResult help = RunCli(L"--help", dir.Path());
  EXPECT_EQ(0u, help.exitCode);
  EXPECT_NE(std::string::npos, help.output.find("usage: kestrelle-cli"));

  // The version the resources and the about box show too, and no job even with files given.
  RunResult version = RunCli(L"--version --out versioned good.png", dir.Path());
  EXPECT_EQ(0u, version.exitCode);
  EXPECT_EQ(0u, version.output.find("kestrelle-cli " KESTRELLE_VERSION_TEXT "\n")) << version.output;
  EXPECT_FALSE(FileExists(dir / L"versioned"));
}

TEST(CliRun, AFolderStandsForItsPicturesAndTheirOutputsKeepItsStructure) {
  CTempDir dir;
  ASSERT_TRUE(MakeFolders(dir / L"旅行\\二日目\\夜"));
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(400, 300), dir / L"旅行\\海.png"));
  ASSERT_EQ(S_OK, CreateJpegSaver(90)->Save(*MakePhotoLike(300, 400), dir / L"旅行\\二日目\\山.JPG"));
  ASSERT_TRUE(SaveWithGdiplus(*MakePhotoLike(200, 200), dir / L"旅行\\二日目\\夜\\星.bmp", L"image/bmp"));
  ASSERT_TRUE(WriteBytes(dir / L"旅行\\メモ.txt", "not a picture"));
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(40, 30), dir / L"単独.png"));
  RunResult run = RunCli(L"--out out --prefix s_ --fit 100x100 単独.png 旅行", dir.Path());
  EXPECT_EQ(0u, run.exitCode) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("4 / 4\n"));
  EXPECT_EQ((std::vector<std::wstring>{L"s_単独.png", L"旅行\\s_海.png", L"旅行\\二日目\\s_山.png",
                                       L"旅行\\二日目\\夜\\s_星.png"}),
            FilesUnder(dir / L"out"));
  CDibPtr shrunk;
  ASSERT_EQ(S_OK, LoadDib(dir / L"out\\旅行\\二日目\\s_山.png", &shrunk));
  EXPECT_EQ(75, shrunk->Width());

  // Outputs in the subfolders are existing outputs like any other.
  RunResult again = RunCli(L"--out out --prefix s_ 旅行", dir.Path());
  EXPECT_EQ(2u, again.exitCode);
  EXPECT_NE(std::string::npos, again.output.find(Utf8(dir / L"out\\旅行\\二日目\\夜\\s_星.png\n"))) << again.output;

  // A file in the place of an output subfolder: the first output there fails, naming it.
  ASSERT_TRUE(MakeFolders(dir / L"taken"));
  ASSERT_TRUE(WriteBytes(dir / L"taken\\旅行", "a file"));
  RunResult blocked = RunCli(L"--out taken 旅行", dir.Path());
  EXPECT_EQ(1u, blocked.exitCode);
  EXPECT_NE(std::string::npos,
            blocked.output.find(Utf8(ResourceString(IDS_MSG_CREATE_FOLDER_FAILED) + L"\n\n" + dir / L"taken\\旅行\n")))
      << blocked.output;

  // A folder without a picture refuses the job by its own message; nothing there, by 1009's.
  ASSERT_TRUE(MakeFolders(dir / L"空"));
  ASSERT_TRUE(WriteBytes(dir / L"空\\メモ.txt", "not a picture"));
  RunResult empty = RunCli(L"--out empty 空", dir.Path());
  EXPECT_EQ(2u, empty.exitCode);
  std::wstring noPictures;
  FormatResourceString(&noPictures, IDS_MSG_FOLDER_HAS_NO_PICTURES, (dir / L"空").c_str());
  EXPECT_NE(std::string::npos, empty.output.find(Utf8(noPictures))) << empty.output;
  EXPECT_FALSE(FileExists(dir / L"empty"));
}

TEST(CliRun, UnusualNamesAndPathsPastTheOldLimitComeOutUnchanged) {
  CTempDir dir;
  // Japanese, a character outside the BMP (a surrogate pair), "%" with format letters, blanks
  // at both ends and several dots; sources and outputs in a tree of more than 300 characters.
  const std::wstring deep = DeepFolder(dir.Path(), 300);
  ASSERT_TRUE(MakeFolders(deep));
  const std::vector<std::wstring> names = {L"写真 \U00020BB7.png", L"100% 完了 %s %d.png",
                                           L" 前後に空白 .png", L"a.b..c.png"};
  std::wstring arguments = L"--out \"" + deep + L"\\出力\" --prefix \"%s_\" --fit 32x32";
  for (const std::wstring& name : names) {
    ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(64, 48), deep + L"\\" + name));
    arguments += L" \"" + deep + L"\\" + name + L"\"";
  }
  const std::string sources = ReadBytes(deep + L"\\" + names[0]);
  RunResult run = RunCli(arguments, dir.Path());
  EXPECT_EQ(0u, run.exitCode) << run.output;
  for (const std::wstring& name : names) {
    CDibPtr written;
    EXPECT_EQ(S_OK, LoadDib(deep + L"\\出力\\%s_" + name, &written)) << Utf8(name);
  }
  EXPECT_EQ(sources, ReadBytes(deep + L"\\" + names[0]));

  // A failed file's message shows its path as it is, "%" included.
  const std::wstring broken = deep + L"\\壊れた 50%d %s.png";
  ASSERT_TRUE(WriteBytes(broken, "\x89PNG\r\n\x1a\n"));
  RunResult failed = RunCli(L"--out \"" + deep + L"\\出力\" \"" + broken + L"\"", dir.Path());
  EXPECT_EQ(1u, failed.exitCode);
  EXPECT_NE(std::string::npos, failed.output.find(Utf8(L"\n\n" + broken))) << failed.output;
}

TEST(CliRun, HostileFilesEndInTheirMessagesWithNothingWrittenOrChanged) {
  std::wstring corpus;
  std::vector<HostileFile> files;
  std::string reason;
  ASSERT_TRUE(ReadHostileCorpus(&corpus, &files, &reason)) << reason;
  CTempDir dir;
  std::printf("%-20s %-12s %5s %8s  %s\n", "file", "outcome", "exit", "seconds", "message");
  for (const HostileFile& file : files) {
    SCOPED_TRACE(file.what);
    const std::wstring source = corpus + L"\\" + file.name;
    const std::string before = ReadBytes(source);
    const std::wstring out = dir / file.name.substr(0, file.name.find(L'.'));
    const auto start = std::chrono::steady_clock::now();
    RunResult run = RunCli(L"--out \"" + out + L"\" --fit 640x640 \"" + source + L"\"", dir.Path());
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // A guard against a hang, not a speed check: every file here takes well under a second or two.
    EXPECT_LT(seconds, 120.0);
    EXPECT_EQ(before, ReadBytes(source)) << "the source is never changed";
    const size_t message = run.output.find('\n');
    std::printf("%-20ls %-12s %5lu %8.2f  %s\n", file.name.c_str(), file.outcome.c_str(),
                run.exitCode, seconds,
                message == std::string::npos ? "" : run.output.substr(message + 1, 70).c_str());
    if (file.outcome == "ok") {
      EXPECT_EQ(0u, run.exitCode) << run.output;
      CDibPtr written;
      EXPECT_EQ(S_OK, LoadDib(out + L"\\" + file.name.substr(0, file.name.rfind(L'.')) + L".png",
                              &written));
      continue;
    }
    EXPECT_EQ(1u, run.exitCode) << run.output;
    const HRESULT failure = file.outcome == "budget" ? HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY)
                                                     : E_NOTIMPL;
    std::wstring expected;
    FormatResourceString(&expected, IDS_MSG_LOAD_FAILED, ReasonText(IDS_MSG_LOAD_FAILED, failure).c_str());
    EXPECT_NE(std::string::npos, run.output.find(Utf8(expected + L"\n\n" + source))) << run.output;
    // Nothing is written, not even under a temporary name.
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((out + L"\\*.*").c_str(), &found);
    int entries = 0;
    if (search != INVALID_HANDLE_VALUE) {
      do {
        entries += found.cFileName[0] != L'.' ? 1 : 0;
      } while (FindNextFileW(search, &found));
      FindClose(search);
    }
    EXPECT_EQ(0, entries);
  }
}

TEST(CliRun, NoOutputReachesOutOfItsFolderNorTakesAnotherSourcesName) {
  CTempDir dir;
  ASSERT_TRUE(MakeFolders(dir / L"src"));
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(40, 30), dir / L"src\\a.png"));
  ASSERT_EQ(S_OK, CreateSaver({1, 80})->Save(*MakePhotoLike(40, 30), dir / L"src\\a.jpg"));
  // Where "..\\" would have put the output: a file of the user's.
  ASSERT_TRUE(WriteBytes(dir / L"a.png", "planted"));
  RunResult outside = RunCli(L"--out out --prefix ..\\ --overwrite src\\a.png", dir.Path());
  EXPECT_EQ(2u, outside.exitCode);
  EXPECT_NE(std::string::npos,
            outside.output.find(Utf8(FormattedResourceString(IDS_MSG_PREFIX_FORBIDDEN, 1, L"..\\")))) << outside.output;
  EXPECT_EQ("planted", ReadBytes(dir / L"a.png"));
  EXPECT_FALSE(PathExists(dir / L"out"));

  // a.png and a.jpg both make out\\a.png: refused with both named, nothing written.
  RunResult twice = RunCli(L"--out out src\\a.png src\\a.jpg", dir.Path());
  EXPECT_EQ(2u, twice.exitCode);
  EXPECT_NE(std::string::npos, twice.output.find(Utf8(FormattedResourceString(
                                   IDS_MSG_OUTPUTS_COLLIDE, (dir / L"src\\a.png").c_str(),
                                   (dir / L"src\\a.jpg").c_str(), (dir / L"out\\a.png").c_str()))))
      << twice.output;
  EXPECT_FALSE(PathExists(dir / L"out"));
  // The same file given twice is one file.
  RunResult same = RunCli(L"--out out src\\a.png src\\..\\src\\a.png", dir.Path());
  EXPECT_EQ(0u, same.exitCode) << same.output;
  EXPECT_NE(std::string::npos, same.output.find("1 / 1\n"));
  EXPECT_EQ(1, CountEntries(dir / L"out"));
}

TEST(CliRun, AFolderInAnySpellingWritesUnderItsNameAndDeviceNamesNeverBecomeFiles) {
  CTempDir dir;
  ASSERT_TRUE(MakeFolders(dir / L"photos\\Trip"));
  ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(40, 30), dir / L"photos\\Trip\\a.png"));
  // Pictures from a disc or an archive made elsewhere, named like devices.
  ASSERT_TRUE(MakeFolders(dir / L"disc"));
  for (const wchar_t* name : {L"CON.png", L"aux.png", L"nul.png", L"COM1.png"}) {
    ASSERT_EQ(S_OK, CreatePngSaver()->Save(*MakePhotoLike(40, 30), dir / L"disc\\" + name)) << name;
  }
  // Where the spelling's last part, taken as a name, would have put the output.
  ASSERT_TRUE(WriteBytes(dir / L"a.png", "the user's"));
  RunResult up = RunCli(L"--out out photos\\Trip\\..", dir.Path());
  EXPECT_EQ(0u, up.exitCode) << up.output;
  RunResult dot = RunCli(L"--out out photos\\Trip.", dir.Path());
  EXPECT_EQ(0u, dot.exitCode) << dot.output;
  RunResult devices = RunCli(L"--out out disc", dir.Path());
  EXPECT_EQ(0u, devices.exitCode) << devices.output;
  EXPECT_EQ((std::vector<std::wstring>{L"Trip\\a.png", L"disc\\_COM1.png", L"disc\\_CON.png", L"disc\\_aux.png",
                                       L"disc\\_nul.png", L"photos\\Trip\\a.png"}),
            FilesUnder(dir / L"out"));
  EXPECT_EQ("the user's", ReadBytes(dir / L"a.png"));
}

TEST(CliRun, PhonePhotosAndPicturesFromTheWebAreShrunkLikeAnyOther) {
  // Files that Debian's HEIF, AVIF and WebP encoders made before the suite ran (96 x 64).
  wchar_t samples[MAX_PATH] = {};
  ASSERT_NE(0u, GetEnvironmentVariableW(L"KESTRELLE_CODEC_SAMPLES", samples, MAX_PATH));
  CTempDir dir;
  struct Sample {
    const wchar_t* name;
    int width, height;  // of the output fitted into 48 x 48
    bool translucent;
  };
  const Sample files[] = {{L"heic-8.heic", 48, 32, false},
                          {L"heic-alpha.heic", 48, 32, true},
                          {L"avif-10-alpha.avif", 48, 32, true},
                          {L"avif-transformed.avif", 36, 48, false},  // cropped and turned in the file
                          {L"avif-grid.avif", 48, 48, false},
                          {L"webp-lossy.webp", 48, 32, false},
                          {L"webp-alpha.webp", 48, 32, true},
                          {L"webp-anim.webp", 48, 32, false},
                          {L"webp-exif6.webp", 32, 48, false}};  // turned by its EXIF orientation
  std::wstring arguments = L"--out out --fit 48x48";
  for (const Sample& file : files) arguments += L" \"" + std::wstring(samples) + L"\\" + file.name + L"\"";
  RunResult run = RunCli(arguments, dir.Path());
  EXPECT_EQ(0u, run.exitCode) << run.output;
  for (const Sample& file : files) {
    SCOPED_TRACE(Utf8(file.name));
    const std::wstring name = file.name;
    CDibPtr written;
    ASSERT_EQ(S_OK, LoadDib(dir / (L"out\\" + name.substr(0, name.rfind(L'.')) + L".png"), &written));
    EXPECT_EQ(file.width, written->Width());
    EXPECT_EQ(file.height, written->Height());
    bool anyTranslucent = false;
    const PixelRows rows = written->Rows();
    for (uint32_t y = 0; y < rows.height; ++y) {
      for (uint32_t x = 0; x < rows.width; ++x) anyTranslucent |= rows.Row(y)[4 * x + 3] != 255;
    }
    EXPECT_EQ(file.translucent, anyTranslucent);
  }
}
