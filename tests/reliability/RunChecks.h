#pragma once

// What the reliability tests check of a run beyond its output and exit code: how text looks once Quillet
// has encoded it, the trace line limit, which calls each process made, and which processes remain.

#include "Runner.h"

#include <windows.h>

#include <nlohmann/json.hpp>

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::testing::reliability {

// A trace line holds at most this many characters, time stamp included.
inline constexpr size_t kLongestTraceLine = 1299;

// The bytes that Quillet writes for text into a pipe: the console's output code page (the ANSI code page
// without a console), a character it lacks as the default character, and every line feed as CR LF.
std::string ConsoleBytes(std::wstring_view text);

// Text as the trace capture delivers it: the debugger-output channel carries ANSI text.
std::wstring AsTraced(std::wstring_view text);

size_t LongestTraceLine(const RunResult& result);

// The journal's calls grouped by the process that made them (the process id of each object's Initialize),
// each as "Interface.Method" followed by " 0x%08X" when it failed.
std::map<DWORD, std::vector<std::string>> CallsByProcess(const std::vector<nlohmann::ordered_json>& journal);

// Running processes whose image has this name (for example L"PlenumEmulator.exe"); with a parent, only
// those that it started.
int ProcessCount(std::wstring_view image, DWORD parent = 0);

// The emulator answers a call on a fresh object: S_OK, or the failing HRESULT.
HRESULT EmulatorAnswers();

// build/reports, next to the directory of the test programs; made when missing.
std::wstring ReportsDirectory();

// A path in the temporary folder, named after this process so that test programs never share it.
std::wstring TempPath(std::wstring_view name);

// A token file for Alpha that requires a reboot; the file goes with the object.
class AlphaToken {
public:
    AlphaToken();
    ~AlphaToken();
    AlphaToken(const AlphaToken&) = delete;
    AlphaToken& operator=(const AlphaToken&) = delete;
    const std::wstring& Path() const { return m_path; }

private:
    std::wstring m_path;
};

} // namespace quillet::testing::reliability
