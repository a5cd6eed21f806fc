// The release package as a user meets it, unpacked by tests/package/check-package into a folder
// whose name has a space and Japanese characters (KESTRELLE_PACKAGE): both programs carry the
// project's version in their version resource and manifest, with the Japanese language block,
// as reproducible 32-bit images; the unpacked command line reports the same version and shrinks
// a file. The programs run only where 32-bit code runs (KESTRELLE_PACKAGE_RUN32=1).
#include <windows.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "image/decode/LoadDib.h"
#include "res/Version.h"
#include "support/TempDir.h"
#include "support/TestFiles.h"

namespace {

std::wstring Environment(const wchar_t* name) {
  wchar_t value[1024] = {};
  DWORD length = GetEnvironmentVariableW(name, value, 1024);
  return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

std::wstring PackageFolder() { return Environment(L"KESTRELLE_PACKAGE"); }

bool Runs32Bit() { return Environment(L"KESTRELLE_PACKAGE_RUN32") == L"1"; }

std::wstring Widen(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                   static_cast<int>(wide.size()));
  wide.resize(length > 0 ? length : 0);
  return wide;
}

// The version resource as Explorer's Details page reads it.
class CVersionInfo {
public:
  explicit CVersionInfo(const std::wstring& path) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return;
    m_data.resize(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, &m_data[0])) m_data.clear();
  }
  bool Loaded() const { return !m_data.empty(); }
  const VS_FIXEDFILEINFO* Fixed() const { return static_cast<const VS_FIXEDFILEINFO*>(Query(L"\\")); }
  // The first language and code page of the translation table, as 0xLLLLCCCC.
  DWORD Translation() const {
    const WORD* pair = static_cast<const WORD*>(Query(L"\\VarFileInfo\\Translation"));
    return pair ? MAKELONG(pair[1], pair[0]) : 0;
  }
  std::wstring Text(const std::wstring& block, const std::wstring& name) const {
    const wchar_t* text = static_cast<const wchar_t*>(Query(L"\\StringFileInfo\\" + block + L"\\" + name));
    return text ? text : L"<missing>";
  }

private:
  const void* Query(const std::wstring& path) const {
    void* value = nullptr;
    UINT length = 0;
    if (m_data.empty() || !VerQueryValueW(m_data.data(), path.c_str(), &value, &length) || length == 0) {
      return nullptr;
    }
    return value;
  }
  std::string m_data;
};

// One run of a packaged program with its standard output caught in a file; -1 when it did not
// end within the hang guard.
DWORD RunProgram(const std::wstring& program, const std::wstring& arguments, const std::wstring& output,
                 std::string* printed) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out == INVALID_HANDLE_VALUE) return static_cast<DWORD>(-1);
  std::wstring line = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = out;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  // No CREATE_NO_WINDOW: under Wine a 32-bit console program started with it from a 64-bit one
  // now and then came up without the standard handles it was given.
  const BOOL started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  CloseHandle(out);
  if (!started) return static_cast<DWORD>(-1);
  DWORD code = static_cast<DWORD>(-1);
  // A hang guard only: the run takes a second or two.
  if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  } else {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 30000);
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  *printed = ReadBytes(output);
  return code;
}

class PackagedProgramTest : public ::testing::TestWithParam<const wchar_t*> {
protected:
  void SetUp() override {
    ASSERT_FALSE(PackageFolder().empty()) << "KESTRELLE_PACKAGE names no unpacked package";
  }
  std::wstring Path() const { return PackageFolder() + L"\\" + GetParam(); }
};

}  // namespace

TEST_P(PackagedProgramTest, VersionResourceAndManifestCarryTheProjectVersion) {
  CVersionInfo info(Path());
  ASSERT_TRUE(info.Loaded()) << "no version resource";
  EXPECT_EQ(0x041104B0u, info.Translation());
  const std::wstring block = L"041104B0";
  const std::wstring version = L"" KESTRELLE_VERSION_TEXT;
  EXPECT_EQ(version, info.Text(block, L"FileVersion"));
  EXPECT_EQ(version, info.Text(block, L"ProductVersion"));
  EXPECT_EQ(L"Kestrelle", info.Text(block, L"ProductName"));
  EXPECT_EQ(L"Orvandel", info.Text(block, L"CompanyName"));
  EXPECT_EQ(GetParam(), info.Text(block, L"OriginalFilename"));
  EXPECT_EQ(0u, info.Text(block, L"FileDescription").find(L"Kestrelle "));
  EXPECT_NE(std::wstring::npos, info.Text(block, L"LegalCopyright").find(L"© "));
  const VS_FIXEDFILEINFO* fixed = info.Fixed();
  ASSERT_NE(nullptr, fixed);
  EXPECT_EQ(static_cast<DWORD>(MAKELONG(KESTRELLE_VERSION_MINOR, KESTRELLE_VERSION_MAJOR)), fixed->dwFileVersionMS);
  EXPECT_EQ(static_cast<DWORD>(MAKELONG(KESTRELLE_VERSION_TWEAK, KESTRELLE_VERSION_PATCH)), fixed->dwFileVersionLS);
  EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
  EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
  EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

  // The loader's view: a 32-bit image without a link time (the same sources give the same bytes),
  // whose manifest names the same version.
  HMODULE image = LoadLibraryExW(Path().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(nullptr, image);
  const auto* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(image) & ~ULONG_PTR(3));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* header = reinterpret_cast<const IMAGE_FILE_HEADER*>(base + dos->e_lfanew + 4);
  EXPECT_EQ(IMAGE_FILE_MACHINE_I386, header->Machine);
  EXPECT_EQ(0u, header->TimeDateStamp);
  HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(nullptr, found);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(image, found))),
                             SizeofResource(image, found));
  FreeLibrary(image);
  char identity[128];
  std::snprintf(identity, sizeof identity, "name=\"Orvandel.Kestrelle\" version=\"%d.%d.%d.%d\"",
                KESTRELLE_VERSION_MAJOR, KESTRELLE_VERSION_MINOR, KESTRELLE_VERSION_PATCH,
                KESTRELLE_VERSION_TWEAK);
  EXPECT_NE(std::string::npos, manifest.find(identity)) << identity;
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, PackagedProgramTest,
                         ::testing::Values(L"Kestrelle.exe", L"kestrelle-cli.exe"));

TEST(PackagedCommandLine, ReportsTheResourceVersionAndShrinksAFileInTheUnpackedFolder) {
  const std::wstring folder = PackageFolder();
  ASSERT_FALSE(folder.empty());
  if (!Runs32Bit()) {
    GTEST_SKIP() << "32-bit programs cannot run on this machine: the packaged kestrelle-cli.exe "
                    "was checked but not run";
  }
  const std::wstring program = folder + L"\\kestrelle-cli.exe";
  CVersionInfo info(program);
  std::string printed;
  ASSERT_EQ(0u, RunProgram(program, L"--version", folder + L"\\バージョン 出力.txt", &printed)) << printed;
  const std::wstring firstLine = Widen(printed.substr(0, printed.find_first_of("\r\n")));
  EXPECT_EQ(L"kestrelle-cli " + info.Text(L"041104B0", L"FileVersion"), firstLine);
  EXPECT_NE(std::string::npos, printed.find(KESTRELLE_NOTICES_FILE));

  // One picture beside the programs, shrunk into a new folder, as a user would try it first.
  const std::wstring input = folder + L"\\写真 フォルダ";
  ASSERT_TRUE(MakeFolders(input));
  TestPng png;
  png.width = 40;
  png.height = 30;
  png.colorType = 2;  // RGB
  png.rows.assign(30, std::vector<uint8_t>(40 * 3, 0x80));
  ASSERT_TRUE(WriteBytes(input + L"\\夕焼け 1.png", EncodeTestPng(png)));
  const std::wstring output = folder + L"\\縮小 結果";
  const DWORD code = RunProgram(program, L"--out \"" + output + L"\" --fit 16x16 --jpeg=90 \"" + input +
                                             L"\\夕焼け 1.png\"",
                                folder + L"\\ジョブ 出力.txt", &printed);
  ASSERT_EQ(0u, code) << printed;
  CDibPtr shrunk;
  ASSERT_EQ(S_OK, LoadDib(output + L"\\夕焼け 1.jpg", &shrunk)) << printed;
  EXPECT_EQ(16, shrunk->Width());
  EXPECT_EQ(12, shrunk->Height());
}
