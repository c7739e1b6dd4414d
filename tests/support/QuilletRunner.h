#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace quillet::testing {

struct RunOptions {
    std::wstring program;          // empty: Quillet.exe next to the test program (build/bin)
    std::wstring workingDirectory; // empty: inherit
    DWORD timeoutMs = 120000;      // the child is killed and the test fails after it
    bool captureTrace = true;      // capture the child's OutputDebugString lines
    bool newConsole = false;       // CREATE_NEW_CONSOLE instead of pipes (output and errors stay empty)
};

struct RunResult {
    std::string output; // exact stdout bytes (stderr is separate)
    std::string errors; // exact stderr bytes
    DWORD exitCode = 0; // full 32-bit exit code (GetExitCodeProcess)
    DWORD processId = 0;
    std::vector<std::wstring> trace;                 // the child's trace lines in order, each exactly as sent
                                                     // (time-stamp prefix and line feed included)
    std::vector<std::wstring> TraceMessages() const; // the same without the "[...] " time-stamp prefix
    double elapsedMs = 0;                            // from the start of the child to its exit
    std::wstring commandLine;                        // the command line the child was started with
};

// Runs the program with the given arguments, quoted so that the child's argv is exactly args.
// A child that cannot be started or does not end in time fails the current test (it is killed then).
RunResult RunQuillet(const std::vector<std::wstring>& args, const RunOptions& options = {});

// Runs the program with a command line of the program's quoted path, a blank and argumentText exactly as
// given (no blank when it is empty): for tests of the quoting itself.
RunResult RunCommandLine(std::wstring_view argumentText, const RunOptions& options = {});

std::wstring BinDirectory();                   // the directory of the running test program
std::wstring QuoteArgument(std::wstring_view); // CommandLineToArgvW-exact quoting
std::string Crlf(std::string_view text);       // "\n" -> "\r\n", as the console output has it
bool RunningUnderWine();                       // for the few facts in which Wine differs from Windows
void WriteBytes(const std::wstring& path, std::string_view bytes); // creates or replaces; fails the test

// The length of the trace time-stamp prefix "[yyyy-mm-dd hh:mm:ss.mmm] ", and whether a line starts with
// one of that shape.
inline constexpr size_t kTracePrefixLength = 26;
bool HasTracePrefix(std::wstring_view line);

} // namespace quillet::testing
