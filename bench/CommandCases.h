#pragma once

#include "Scenario.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace quillet::bench {

// Files that the commands of the benchmark name: a token to add, a token of many keys, a multisource
// source file and a second cache folder, in a directory of the benchmark's own.
struct BenchFiles {
    std::wstring directory;
    std::wstring tokenPath;
    std::wstring largeTokenPath;
    size_t largeTokenBytes = 0;
    std::wstring sourcePath;
    std::wstring cacheFolder;
};

// The keys of the large token besides its name and guid.
inline constexpr int kLargeTokenKeys = 80000;

// Creates the files in %ProgramData%\QuilletBench. Throws std::runtime_error when they cannot be written.
BenchFiles PrepareBenchFiles();

// Deletes them again, together with the copy that multisource add left in the benchmark's folder.
void RemoveBenchFiles(const BenchFiles& files);

// One command as the benchmark runs it: its arguments, what the emulator holds before each sample, and
// what a correct run ends with. A sample that ends otherwise is reported as a failure, not as a time.
struct CommandCase {
    std::string label;     // the command line as the report shows it
    std::string situation; // what the service holds, as the report shows it
    std::vector<std::wstring> args;
    std::optional<testing::Scenario> scenario; // none: the command never reaches the service
    DWORD expectedExitCode = 0;
    std::string expectedOutput; // must appear in the output
    int applications = 0;       // how many the service holds, for a scale series
    double limitMs = 0;         // a target of its own: a median below this; 0 when none
    // A file that the previous sample made and that would be in the way of the next (multisource add
    // copies its file, and the emulator never replaces a file that its state does not list).
    std::wstring leftover;
};

// Every command of the program once, in the order of the report.
std::vector<CommandCase> CommandCatalogue(const BenchFiles& files);

// The scale series: the id list with count applications, and remove all with count applications.
CommandCase IdListCase(int count);
CommandCase RemoveAllCase(int count);

// Large service states, each with a target of its own: an add from the large token, and the removal of
// one application among count.
CommandCase LargeTokenCase(const BenchFiles& files);
CommandCase RemoveAmongCase(int count);

} // namespace quillet::bench
