// cache clear, carried out by the executor itself: administrators only, one cache object without
// Uninitialize, and the HRESULT of the last call as the exit code.
#include "CommandTest.h"

namespace quillet::testing {
namespace {

struct ClearCase {
    const char* name;
    const char* scenario;
    const char* output;
    DWORD exitCode;
    const char* cacheSteps;
};

class CacheClearTest : public CommandTest, public ::testing::WithParamInterface<ClearCase> {};

TEST_P(CacheClearTest, Runs) {
    Scenario(GetParam().scenario);
    const RunResult result = Run({L"cache", L"Clear"});
    EXPECT_EQ(result.output, Crlf(GetParam().output));
    EXPECT_EQ(result.exitCode, GetParam().exitCode);
    EXPECT_EQ(Steps("IStreamingCache"), GetParam().cacheSteps);
}

INSTANTIATE_TEST_SUITE_P(
    Cache, CacheClearTest,
    ::testing::Values(
        ClearCase{"Cleared", R"({"client": {"isAdmin": true}, "cache": {"usedMB": 500}})",
                  "Cache successfully cleared!\n", 0, "+ Initialize ClearCache -"},
        ClearCase{"NoAdministrator", R"({"client": {"isAdmin": false}})",
                  "Error: user is not an administrator. Operation cannot be executed.\n", kFailure, ""},
        ClearCase{"RefusedWhileAnApplicationRuns",
                  R"({"client": {"isAdmin": true},
                      "applications": [{"guid": "{0A0A0A0A-0000-4000-8000-00000000000A}", "state": 64}]})",
                  "Invalid operation: Cannot clear cache while working offline or having running apps.\n",
                  0x800700AA, "+ Initialize ClearCache -"},
        ClearCase{"ObjectNotCreated",
                  R"({"client": {"isAdmin": true},
                      "faults": [{"method": "IStreamingCache.CreateInstance", "hr": "0x80080005"}]})",
                  "Error: failed to call CoCreateInstance().\n", 0x80080005, "!"},
        ClearCase{"InitializeFailed",
                  R"({"client": {"isAdmin": true},
                      "faults": [{"method": "IStreamingCache.Initialize", "hr": "0x80070005"}]})",
                  "Error: failed to intialize IStreamingCache object.\n", 0x80070005, "+ Initialize -"}),
    RowName<ClearCase>);

} // namespace
} // namespace quillet::testing
