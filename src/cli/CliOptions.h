// The command line of kestrelle-cli: options, files, and the profile they describe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "job/ShrinkProfile.h"

struct CliOptions {
  bool help = false;
  bool version = false;
  bool overwrite = false;
  // Any of the profile options below was given: one profile built from them replaces the stored
  // ones.
  bool ownProfile = false;
  std::wstring out;
  std::wstring prefix;
  bool fit = false;
  int32_t fitWidth = 0;
  int32_t fitHeight = 0;
  // The format of the last --KEYWORD[=Q] (a keyword of the output format table), with the last
  // quality given; without one, a profile's defaults (PNG, quality 80).
  SaveFormat format;
  int32_t maxKilobytes = 0;
  bool keepDate = false;     // --keep-date: the date taken and the file's time go to the outputs  // --max-kb: the output's size limit in kilobytes; 0 for none
  bool background = false;
  uint32_t backgroundColor = 0xFFFFFF;
  int32_t threads = 0;  // --threads: threads that load and shrink; 0 for the number of processors
  std::vector<std::wstring> files;
};

// False with a one-line reason for unknown options, missing or malformed values and a missing
// file list (unless --help or --version).
bool ParseCliArguments(const std::vector<std::wstring>& args, CliOptions* options, std::wstring* error);

// The single profile the options describe; `currentFolder` stands in for a missing --out.
ShrinkProfile ProfileFromOptions(const CliOptions& options, const std::wstring& currentFolder);

// The text of --help.
std::wstring CliUsage();

// The text of --version: "kestrelle-cli VERSION" on the first line, then the copyright and where
// the licences are.
std::wstring CliVersion();
