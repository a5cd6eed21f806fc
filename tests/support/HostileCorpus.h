// The hostile corpus that scripts/hostile-corpus writes before the tests run (CTest passes its
// folder in KESTRELLE_HOSTILE): each file with what the program must make of it.
#pragma once

#include <string>
#include <vector>

struct HostileFile {
  std::wstring name;
  std::string outcome;  // "ok", "unreadable" or "budget"
  std::string what;
};

// Reads the corpus's list; false with a reason when the corpus is not there.
bool ReadHostileCorpus(std::wstring* folder, std::vector<HostileFile>* files, std::string* reason);
