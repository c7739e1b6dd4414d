#pragma once

#include "CommandCases.h"

#include <string>
#include <string_view>

namespace quillet::bench {

// Creates the files that the commands name, in %ProgramData%\QuilletBench: a token for add, a small
// multisource source file and an empty folder for the cache location change. Throws std::runtime_error
// when they cannot be written.
BenchFiles PrepareBenchFiles();

// Deletes them again, together with the copies that multisource add left in the emulator's cache folder.
void RemoveBenchFiles(const BenchFiles& files, const std::wstring& cacheFolder);

// The whole file as bytes; empty when it cannot be read.
std::string ReadText(const std::wstring& path);

// Replaces the file with text; false when it cannot be written whole.
bool WriteText(const std::wstring& path, std::string_view text);

} // namespace quillet::bench
