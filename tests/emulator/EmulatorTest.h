#pragma once

#include "Emulator.h"
#include "InProcess.h"
#include "Runner.h"
#include "StreamingService.h"
#include "service/Bstr.h"
#include "service/ComPtr.h"
#include "win32/UniqueVariant.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace quillet::testing {

inline constexpr wchar_t kAppA[] = L"{0A0A0A0A-0000-4000-8000-00000000000A}";
inline constexpr wchar_t kAppB[] = L"{0B0B0B0B-0000-4000-8000-00000000000B}";
inline constexpr wchar_t kUnknownApp[] = L"{DEADBEEF-0000-4000-8000-000000000000}";

inline UniqueBstr Bstr(std::wstring_view text) {
    return UniqueBstr::Copy(text);
}

// Every emulator test starts from the defaults, with an empty journal, in an apartment of its own.
class EmulatorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void Scenario(std::string_view json) { emulator::WriteScenario(json); }

    // Objects created in the emulator and initialised with this process's id.
    ComPtr<IStreamingClient> Client();
    ComPtr<IStreamingApplication> Application();
    ComPtr<IStreamingCache> Cache();

    // What state.json says now.
    nlohmann::ordered_json State() { return emulator::ReadState(); }
    long long ApplicationState(std::wstring_view guid);
    long long ClientState();
    size_t ApplicationCount();

    static DWORD ProcessId() { return GetCurrentProcessId(); }

private:
    bool m_apartment = false;
};

} // namespace quillet::testing
