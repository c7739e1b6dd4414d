// cache size and cache location against a cache at C:\PlenumCache of 2048 MB with 100 MB in use: showing
// for everyone, changing for administrators, and the settings array handed back with only the changed
// elements different.
#include "CommandTest.h"

namespace quillet::testing {
namespace {

constexpr char kNotAdministrator[] = "Error: user is not an administrator, operation cannot be executed.\n";
constexpr char kReadFailed[] = "Error: call to IStreamingCache::GetCacheLocation() failed.\n";
// Never an Uninitialize on these commands.
constexpr char kReadSteps[] = "+ Initialize GetCacheLocation -";
constexpr char kChangeSteps[] = "+ Initialize GetCacheLocation SetCacheSettings -";

// The settings array as the emulator hands it out (layout version 1, 6 elements, ..., megabytes in use
// last), with element 2, the location and the size as given.
std::string Settings(int firstCharacter, std::wstring_view location, int sizeMB) {
    return R"([[{"vt":3,"value":1},{"vt":3,"value":6},{"vt":16,"value":)" + std::to_string(firstCharacter) +
           R"(},{"vt":8,"value":)" + JsonString(location) + R"(},{"vt":3,"value":)" + std::to_string(sizeMB) +
           R"(},{"vt":3,"value":100}]])";
}

struct SettingsCase {
    const char* name;
    bool isAdmin;
    std::vector<std::wstring> args;
    std::string output;
    DWORD exitCode;
    const char* cacheSteps;
    std::string sent;      // the SetCacheSettings argument, when it was called
    const char* more = ""; // further members of state.json: faults, replies
};

class CacheSettingsTest : public CommandTest, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(CacheSettingsTest, Runs) {
    const SettingsCase& c = GetParam();
    Scenario(std::string(R"({"client": {"isAdmin": )") + (c.isAdmin ? "true" : "false") +
             R"(}, "cache": {"location": "C:\\PlenumCache", "sizeMB": 2048, "usedMB": 100})" + c.more + "}");
    const RunResult result = Run(c.args);
    EXPECT_EQ(result.output, Crlf(c.output));
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_EQ(Steps("IStreamingCache"), c.cacheSteps);
    if (!c.sent.empty()) {
        EXPECT_EQ(ArgumentsOf("IStreamingCache.SetCacheSettings"), c.sent);
    }
}

constexpr char kReadFault[] = R"(, "faults": [{"method": "GetCacheLocation", "hr": "0x8007001F"}])";
const wchar_t kWindows[] = L"C:\\windows";
const wchar_t kWideFirst[] = L"\u01E9:\\Cache"; // low byte 0xE9, as a signed byte -23

INSTANTIATE_TEST_SUITE_P(
    Cache, CacheSettingsTest,
    ::testing::Values(
        SettingsCase{"ShowSizeAsNoAdministrator", false, {L"cache", L"size"}, "2048\n", 0, kReadSteps, ""},
        SettingsCase{"ShowLocationAsNoAdministrator",
                     false,
                     {L"cache", L"Location"},
                     "C:\\PlenumCache\n",
                     0,
                     kReadSteps,
                     ""},
        SettingsCase{"ChangeSizeAsNoAdministrator",
                     false,
                     {L"cache", L"size", L"4096"},
                     kNotAdministrator,
                     kFailure,
                     "",
                     ""},
        SettingsCase{"ChangeLocationAsNoAdministrator",
                     false,
                     {L"cache", L"location", kWindows},
                     kNotAdministrator,
                     kFailure,
                     "",
                     ""},
        SettingsCase{"SizeAccepted",
                     true,
                     {L"cache", L"size", L"4096"},
                     "Changing cache size... Success.\n",
                     0,
                     kChangeSteps,
                     Settings('C', L"C:\\PlenumCache", 4096)},
        SettingsCase{"SizeBelowUseRefused",
                     true,
                     {L"cache", L"size", L"50"},
                     "Changing cache size... Failed.\n",
                     0x80070070,
                     kChangeSteps,
                     Settings('C', L"C:\\PlenumCache", 50)},
        SettingsCase{"LocationAccepted",
                     true,
                     {L"cache", L"location", kWindows},
                     "Changing cache location... Success.\n",
                     0,
                     kChangeSteps,
                     Settings('C', kWindows, 2048)},
        SettingsCase{"EmptyLocation",
                     true,
                     {L"cache", L"location", L""},
                     "Changing cache location... Failed.\n",
                     0x800700A1,
                     kChangeSteps,
                     Settings(0, L"", 2048)},
        SettingsCase{"LocationBeyondLatin1",
                     true,
                     {L"cache", L"location", kWideFirst},
                     "Changing cache location... Failed.\n",
                     0x80070003,
                     kChangeSteps,
                     Settings(-23, kWideFirst, 2048)},
        SettingsCase{"ReadFailsDuringSizeChange",
                     true,
                     {L"cache", L"size", L"4096"},
                     kReadFailed,
                     0x8007001F,
                     kReadSteps,
                     "",
                     kReadFault},
        SettingsCase{"ReadFailsDuringLocationChange",
                     true,
                     {L"cache", L"location", kWindows},
                     kReadFailed,
                     0x8007001F,
                     kReadSteps,
                     "",
                     kReadFault}),
    RowName<SettingsCase>);

} // namespace
} // namespace quillet::testing
