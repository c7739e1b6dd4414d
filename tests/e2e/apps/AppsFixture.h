#pragma once

// Scenarios for the application commands: a service state written into the emulator, Quillet run against
// it through the black-box runner, and the emulator's journal read back in a compact text form.

#include "Emulator.h"
#include "Scenario.h"
#include "win32/Utf8.h"
#include "Runner.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace quillet::testing {

inline constexpr wchar_t kAlpha[] = L"{A1A1A1A1-0000-4000-8000-0000000000A1}";
inline constexpr wchar_t kBeta[] = L"{B2B2B2B2-0000-4000-8000-0000000000B2}";
inline constexpr wchar_t kGamma[] = L"{C3C3C3C3-0000-4000-8000-0000000000C3}";
inline constexpr wchar_t kUnknown[] = L"{DEADBEEF-0000-4000-8000-000000000000}";

inline constexpr DWORD kInvalidArgument = 0x80070057;
// A service answer that holds no array where a list or record was expected.
inline constexpr DWORD kTypeMismatch = 0x80020005;
inline constexpr DWORD kFail = 0x80004005;

// The journal as text, one entry a line:
//   "create IStreamingClient 1", "release 1", "1 Initialize(pid)", "2 LoadApplication(\"{...}\") 0x8007139F"
// Arguments are JSON; the process id of the run is written as pid; a call's HRESULT is shown unless 0.
std::vector<std::string> Trail(const std::vector<nlohmann::ordered_json>& journal, DWORD processId);

// The application's ladder calls in order (load, mount, run, start, stop, unmount, unload, remove), with a
// failing HRESULT after the name.
std::vector<std::string> LadderCalls(const std::vector<nlohmann::ordered_json>& journal);

// Every call of one method, in order: its arguments.
std::vector<nlohmann::ordered_json> ArgumentsOf(const std::vector<nlohmann::ordered_json>& journal,
                                                std::string_view method);

// Whether the journal holds a call of method.
bool Called(const std::vector<nlohmann::ordered_json>& journal, std::string_view method);

// The application's state in the emulator now; -1 when it no longer exists.
long long AppState(std::wstring_view guid);

// Every test starts from a stopped client, no applications and an empty journal, with the emulator
// resident.
class AppsTest : public ::testing::Test {
protected:
    void SetUp() override;

    RunResult Quillet(const std::vector<std::wstring>& args) { return testing::Run(args); }
    std::vector<nlohmann::ordered_json> Journal() const { return emulator::ReadJournal(); }
};

} // namespace quillet::testing
