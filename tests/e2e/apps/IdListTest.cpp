#include "AppsFixture.h"

namespace quillet::testing {
namespace {

constexpr DWORD kClassNotRegistered = 0x80040154;

struct IdListCase {
    const char* name;
    Scenario scenario;
    std::string output;
    DWORD exitCode;
    std::vector<std::wstring> trace;
};

class IdList : public AppsTest, public ::testing::WithParamInterface<IdListCase> {};

// getIdList exits with 0 for a printed list and for an empty one, and with the failure otherwise.
TEST_P(IdList, PrintsTheIdsOrTellsTheFailureByItsExitCode) {
    GetParam().scenario.Write();
    const RunResult result = Quillet({L"application", L"GETIDLIST"});
    EXPECT_EQ(result.output, Crlf(GetParam().output));
    EXPECT_EQ(result.exitCode, GetParam().exitCode);
    EXPECT_EQ(result.trace, GetParam().trace);
}

Scenario Three() {
    // Listed in the service's order, which is not the guids' order.
    return Scenario().Client(4).App(kGamma, L"Gamma", 1).App(kAlpha, L"Alpha", 64).App(kBeta, L"Beta", 16);
}

const std::string kThreeListed =
    "\nAppIdList: \n1 - " + ToUtf8(kGamma) + "\n2 - " + ToUtf8(kAlpha) + "\n3 - " + ToUtf8(kBeta) + "\n";

// Replies of the wrong shape go through getIdList in the reliability matrix.
// clang-format off
const IdListCase kIdListCases[] = {
    {"ThreeApplications", Three(), kThreeListed, 0, {}},
    {"NoApplication", Scenario().Client(4), "", 0, {}},
    {"ListFails", Three().Fault("GetApplicationList", kInvalidArgument), "", kInvalidArgument,
     {L"Failed to call COM API to get Application List [87].\n"}},
    {"ObjectRefused", Three().Fault("IStreamingApplication.CreateInstance", kClassNotRegistered), "",
     kClassNotRegistered, {L"Failed to get Application List .\n"}},
    {"InitializeFails", Three().Fault("IStreamingApplication.Initialize", kFail), "", kFail, {}},
    {"ClientCannotStart", Three().Fault("StartClient", kFail), "", kFail,
     {L"Failed to Start Client COM. [16389]\n", L"Cannot start Client to update Application status.\n"}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Application, IdList, ::testing::ValuesIn(kIdListCases),
                         [](const auto& instance) { return std::string(instance.param.name); });

} // namespace
} // namespace quillet::testing
