#pragma once

// Runs a program as a user or a script would (Quillet.exe next to the test program unless told
// otherwise) and gives everything it left behind: the full exit code, the exact bytes of its standard
// output and error, its trace, and the service calls it made as the emulator's journal shows them.

#include "Journal.h"
#include "common/CommandLine.h"
#include "win32/UniqueHandle.h"
#include "win32/Wine.h"

#include <windows.h>

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::testing {

struct RunOptions {
    std::wstring program;                  // empty: Quillet.exe in the test program's directory
    std::optional<std::wstring> arguments; // the command line after the program exactly so, for the args
    DWORD timeoutMs = 120000;              // then the child is killed and the test fails
    bool captureTrace = true;              // takes the session's one debugger-output channel
    bool closedOutput = false;             // standard output is a pipe whose reader has gone
    bool journal = true; // off for runs beside other tests, whose service calls would interleave
};

struct RunResult {
    DWORD exitCode = 0;
    std::string output;                          // standard output, byte for byte
    std::string errors;                          // standard error
    std::vector<std::wstring> trace;             // the child's trace messages, without the time stamp
    std::vector<std::wstring> traceLines;        // the same as the channel carried them
    std::vector<nlohmann::ordered_json> journal; // the journal lines added while the child ran
    DWORD processId = 0;
    double elapsedMs = 0; // from the child's start to its end

    // The journal lines in their text form (Journal.h), the child's own process id shown as pid.
    std::vector<std::string> Calls(const CallFilter& filter = {}) const {
        return CallView(journal, processId, filter);
    }
};

// Runs the program with args quoted so that its argv holds them exactly. A child that cannot be started
// or has not ended in time fails the test.
RunResult Run(const std::vector<std::wstring>& args = {}, const RunOptions& options = {});

// A standard stream of a child: an inheritable temporary file, deleted when closed, read once the child has
// ended. A file and not a pipe, so that a process the child leaves behind (a server it started) cannot hold
// up the run. ReadStream gives all that it holds.
UniqueFile TemporaryStream();
std::string ReadStream(HANDLE file);

using tools::QuoteArgument;
std::wstring BinDirectory();             // the directory of the running test program
std::string Crlf(std::string_view text); // "\n" -> "\r\n", as redirected output has it
using quillet::RunningUnderWine;         // for the few facts in which Wine differs from Windows
// Text as redirected output carries it: in the console's output code page (the ANSI code page without a
// console), a character that the code page lacks as its default character, never as a look-alike.
std::string InOutputCodePage(std::wstring_view text);

// The trace's time stamp "[yyyy-mm-dd hh:mm:ss.mmm] ": its length, and whether a line starts with one.
inline constexpr size_t kTracePrefixLength = 26;
bool HasTracePrefix(std::wstring_view line);

} // namespace quillet::testing
