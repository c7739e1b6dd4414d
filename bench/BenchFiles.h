#pragma once

#include "CommandCases.h"

#include <string>

namespace quillet::bench {

// Creates the files that the commands name, in %ProgramData%\QuilletBench: a token for add, a large token,
// a small multisource source file and an empty folder for the cache location change. Throws
// std::runtime_error when they cannot be written.
BenchFiles PrepareBenchFiles();

// Deletes them again, together with the copies that multisource add left in the emulator's cache folder.
void RemoveBenchFiles(const BenchFiles& files, const std::wstring& cacheFolder);

} // namespace quillet::bench
