#include "support/HostileCorpus.h"

#include <windows.h>

#include <cstdlib>
#include <sstream>

#include "support/TempDir.h"

bool ReadHostileCorpus(std::wstring* folder, std::vector<HostileFile>* files, std::string* reason) {
  const wchar_t* where = _wgetenv(L"KESTRELLE_HOSTILE");
  if (!where || !*where) {
    *reason = "KESTRELLE_HOSTILE names no folder: run the tests through ctest, which makes it";
    return false;
  }
  *folder = where;
  const std::string listing = ReadBytes(*folder + L"\\expected.tsv");
  std::istringstream lines(listing);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t first = line.find('\t'), second = line.find('\t', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    HostileFile file;
    const std::string name = line.substr(0, first);
    file.name.resize(name.size());
    file.name.resize(static_cast<size_t>(MultiByteToWideChar(
        CP_UTF8, 0, name.data(), static_cast<int>(name.size()), &file.name[0],
        static_cast<int>(file.name.size()))));
    file.outcome = line.substr(first + 1, second - first - 1);
    file.what = line.substr(second + 1);
    files->push_back(file);
  }
  if (files->empty()) *reason = "the corpus list is empty or missing";
  return !files->empty();
}
