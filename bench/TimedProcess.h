#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quillet::bench {

struct TimedRun {
    bool started = false;  // false: CreateProcess failed (error in exitCode)
    bool timedOut = false; // the child ran past its time and was killed
    DWORD exitCode = 0;    // full 32-bit exit code
    double milliseconds = 0;
    std::string output; // what the child wrote to standard output and error, as bytes
};

// Runs program with args (quoted so that the child's argv is exactly args), its standard output and error
// going into one pipe that the driver reads as it fills, as a script that captures a command's output has
// it, and its standard input from the null device. Timed from just before CreateProcess until the
// process's end is seen, with the performance counter. The child inherits the caller's console
// situation, as a program started from a script does.
TimedRun RunTimed(const std::wstring& program, const std::vector<std::wstring>& args, DWORD timeoutMs);

} // namespace quillet::bench
