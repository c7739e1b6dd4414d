#pragma once

#include "Emulator.h"
#include "Runner.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace quillet::testing {

inline constexpr DWORD kInvalidArgument = 0x80070057;
inline constexpr DWORD kFailure = 0x80004005;
inline constexpr wchar_t kAppA[] = L"{0A0A0A0A-0000-4000-8000-00000000000A}";
inline constexpr wchar_t kAppB[] = L"{0B0B0B0B-0000-4000-8000-00000000000B}";

// A JSON string literal (quoted and escaped) of a wide text, for scenarios and journal arguments.
std::string JsonString(std::wstring_view text);

// Table rows carry the name of their test case.
template <class Row> std::string RowName(const ::testing::TestParamInfo<Row>& row) {
    return row.param.name;
}

// A black-box run of Quillet.exe against the resident emulator. Every test starts from the emulator's
// defaults with an empty journal, and has an empty folder of its own for files.
class CommandTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void Scenario(std::string_view stateJson) { emulator::WriteScenario(stateJson); }
    nlohmann::ordered_json State() { return emulator::ReadState(); }
    RunResult Run(const std::vector<std::wstring>& args) { return testing::Run(args); }

    // What the journal shows of one interface, in order and separated by blanks: "+" for an object
    // created, "!" for a creation refused, "-" for an object released, and the name of each call.
    std::string Steps(std::string_view interfaceName);
    // How often "Interface.Method" was called; the arguments (compact JSON) and the HRESULT ("0x%08X")
    // of its only call, which fail the test when there was not exactly one.
    size_t CallCount(std::string_view method);
    std::string ArgumentsOf(std::string_view method);
    std::string ResultOf(std::string_view method);

    const std::wstring& Folder() const { return m_folder; }
    std::wstring MakeFile(std::wstring_view name, std::string_view bytes);
    std::wstring MakeFolder(std::wstring_view name);

private:
    std::vector<nlohmann::ordered_json> Calls(std::string_view method);
    std::wstring m_folder;
};

} // namespace quillet::testing
