// Argument parsing of kestrelle-cli.
#include "cli/CliOptions.h"

#include "base/OutputQuality.h"
#include "base/ValueText.h"
#include "image/encode/SaveFormat.h"
#include "res/Version.h"

namespace {

bool ParsePositive(const std::wstring& text, int32_t* value) {
  if (text.empty() || text.find_first_not_of(L"0123456789") != std::wstring::npos) return false;
  return ParseFixedPoint(text, 0, value) && *value > 0;
}

// "WxH" (or "W×H") with two positive whole numbers.
bool ParseBox(const std::wstring& text, int32_t* width, int32_t* height) {
  size_t x = text.find_first_of(L"xX\u00D7");
  if (x == std::wstring::npos) return false;
  return ParsePositive(text.substr(0, x), width) && ParsePositive(text.substr(x + 1), height);
}

// A quality number on the scale, in ASCII digits only.
bool ParseQuality(const std::wstring& text, int32_t* quality) {
  if (text.empty() || text.find_first_not_of(L"0123456789") != std::wstring::npos) return false;
  int32_t value = 0;
  if (!ParseFixedPoint(text, 0, &value) || !IsOutputQuality(value)) return false;
  *quality = value;
  return true;
}

// The row an option "--KEYWORD" chooses, or "--KEYWORD=..." for a row that uses a quality.
const OutputFormat* FormatOption(const std::wstring& arg) {
  if (arg.compare(0, 2, L"--") != 0) return nullptr;
  const size_t equals = arg.find(L'=');
  const bool quality = equals != std::wstring::npos;
  const OutputFormat* format = FindOutputFormatByKeyword(arg.substr(2, quality ? equals - 2 : std::wstring::npos));
  return format && (!quality || format->usesQuality) ? format : nullptr;
}

}  // namespace

bool ParseCliArguments(const std::vector<std::wstring>& args, CliOptions* options, std::wstring* error) {
  *options = CliOptions();
  bool filesOnly = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& arg = args[i];
    if (filesOnly || arg.empty() || arg[0] != L'-' || arg == L"-") {
      options->files.push_back(arg);
      continue;
    }
    if (arg == L"--") {
      filesOnly = true;
      continue;
    }
    auto value = [&](std::wstring* out) {
      if (i + 1 >= args.size()) {
        *error = arg + L" needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    std::wstring text;
    if (arg == L"--help" || arg == L"-h" || arg == L"/?") {
      options->help = true;
    } else if (arg == L"--version") {
      options->version = true;
    } else if (arg == L"--overwrite") {
      options->overwrite = true;
    } else if (arg == L"--threads") {
      if (!value(&text)) return false;
      if (!ParsePositive(text, &options->threads)) {
        *error = L"--threads takes a positive whole number, not \"" + text + L"\"";
        return false;
      }
    } else if (arg == L"--out") {
      if (!value(&options->out)) return false;
      if (options->out.empty()) {
        *error = L"--out needs a folder";
        return false;
      }
      options->ownProfile = true;
    } else if (arg == L"--prefix") {
      if (!value(&options->prefix)) return false;
      options->ownProfile = true;
    } else if (arg == L"--fit") {
      if (!value(&text)) return false;
      if (!ParseBox(text, &options->fitWidth, &options->fitHeight)) {
        *error = L"--fit takes WxH with two positive whole numbers, not \"" + text + L"\"";
        return false;
      }
      options->fit = options->ownProfile = true;
    } else if (const OutputFormat* format = FormatOption(arg)) {
      options->format.Type = format->type;
      options->ownProfile = true;
      const size_t equals = arg.find(L'=');
      if (equals != std::wstring::npos) {
        text = arg.substr(equals + 1);
        if (!ParseQuality(text, &options->format.JpegQuality)) {
          *error = arg.substr(0, equals) + L"=Q takes a quality from " + std::to_wstring(kLowestOutputQuality) +
                   L" to " + std::to_wstring(kHighestOutputQuality) + L", not \"" + text + L"\"";
          return false;
        }
      }
    } else if (arg == L"--keep-date") {
      options->keepDate = options->ownProfile = true;
    } else if (arg == L"--max-kb") {
      if (!value(&text)) return false;
      if (text.empty() || text.find_first_not_of(L"0123456789") != std::wstring::npos ||
          !ParseFixedPoint(text, 0, &options->maxKilobytes)) {
        *error = L"--max-kb takes a whole number of kilobytes (0: no limit), not \"" + text + L"\"";
        return false;
      }
      options->ownProfile = true;
    } else if (arg == L"--background") {
      if (!value(&text)) return false;
      if (!ParseHexColor(text, &options->backgroundColor)) {
        *error = L"--background takes 1, 2 or 6 hexadecimal digits, not \"" + text + L"\"";
        return false;
      }
      options->background = options->ownProfile = true;
    } else {
      *error = L"unknown option " + arg;
      return false;
    }
  }
  if (!options->help && !options->version && options->files.empty()) {
    *error = L"no files given";
    return false;
  }
  return true;
}

ShrinkProfile ProfileFromOptions(const CliOptions& options, const std::wstring& currentFolder) {
  ShrinkProfile profile;
  profile.Use = true;
  profile.Folder = options.out.empty() ? currentFolder : options.out;
  profile.Prefix = options.prefix;
  profile.ShrinkType = static_cast<int32_t>(options.fit ? ShrinkMethod::Custom : ShrinkMethod::None);
  if (options.fit) {
    profile.CustomWidth = options.fitWidth;
    profile.CustomHeight = options.fitHeight;
  }
  profile.SaveFormat = options.format;
  profile.MaxKilobytes = options.maxKilobytes;
  profile.KeepDate = options.keepDate;
  profile.Transparent = !options.background;
  profile.BkColor = options.background ? options.backgroundColor : 0xFFFFFF;
  return profile;
}

std::wstring CliUsage() {
  return L"usage: kestrelle-cli [options] FILE|FOLDER...\n"
         L"Shrinks pictures as dropping them on Kestrelle does: with the stored profiles, or with\n"
         L"one profile made of these options. A folder stands for the pictures in it and in its\n"
         L"subfolders; their outputs go to a folder of its name, in the same structure.\n"
         L"  --out DIR          output folder (default: the current folder)\n"
         L"  --prefix TEXT      file-name prefix (default: none)\n"
         L"  --fit WxH          shrink within W x H pixels (default: no shrink)\n"
         L"  --jpeg[=Q]         JPEG at quality Q, 0 to 100 (default 80); without it or\n"
         L"                     --webp, PNG\n"
         L"  --webp[=Q]         WebP at quality Q, 0 to 100 (default 80), keeping transparency\n"
         L"  --max-kb N         keep every output within N kilobytes of 1,024 bytes: the\n"
         L"                     highest quality that fits, then a smaller picture (default:\n"
         L"                     no limit)\n"
         L"  --keep-date        keep the photo's date taken (EXIF, nothing else) and the\n"
         L"                     source file's modification time in every output\n"
         L"  --background HEX   put this colour (1, 2 or 6 hex digits) behind transparency\n"
         L"  --overwrite        delete existing outputs first instead of refusing the job\n"
         L"  --threads N        threads that load and shrink pictures (default: one per\n"
         L"                     processor; 1 loads every picture on the writing thread)\n"
         L"  --help             this text\n"
         L"  --version          the program's version\n"
         L"Exit code: 0 every output written, 1 a file failed, 2 usage error or start refused.\n";
}

std::wstring CliVersion() {
  return L"kestrelle-cli " KESTRELLE_VERSION_TEXT L"\n"
         L"" KESTRELLE_COPYRIGHT L". MIT License (LICENSE.txt); the licences of the libraries\n"
         L"built into it are in " KESTRELLE_NOTICES_FILE L".\n";
}
