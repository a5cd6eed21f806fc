// Writing text to the console or to a redirected stream, always as UTF-8.
#pragma once

#include <windows.h>

#include <string>

std::string ToUtf8(const std::wstring& text);

// Writes `text` (line feeds as they are) to the standard output or error stream as UTF-8 bytes.
void WriteOut(const std::wstring& text);
void WriteErr(const std::wstring& text);
