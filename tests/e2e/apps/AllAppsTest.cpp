#include "AppsFixture.h"

namespace quillet::testing {
namespace {

constexpr DWORD kNotFound = 0x80070490;

struct AllCase {
    const char* name;
    const wchar_t* command;
    Scenario scenario;
    const char* output;
    DWORD exitCode;
    std::vector<long long> finalStates; // Alpha, Beta, Gamma; -1 for gone
};

class AllApplications : public AppsTest, public ::testing::WithParamInterface<AllCase> {};

// "all" handles the listed applications in the list's order and stops at the first failure.
TEST_P(AllApplications, HandlesEachListedApplicationInTurn) {
    GetParam().scenario.Write();
    const RunResult result = Quillet({L"application", GetParam().command, L"ALL"});
    EXPECT_EQ(result.output, Crlf(GetParam().output));
    EXPECT_EQ(result.exitCode, GetParam().exitCode);
    EXPECT_EQ((std::vector<long long>{AppState(kAlpha), AppState(kBeta), AppState(kGamma)}),
              GetParam().finalStates);
}

Scenario Three() {
    return Scenario().Client(4).App(kAlpha, L"Alpha", 64).App(kBeta, L"Beta", 16).App(kGamma, L"Gamma", 1);
}

Scenario ThreeRunning() {
    return Scenario().Client(4).App(kAlpha, L"Alpha", 64).App(kBeta, L"Beta", 64).App(kGamma, L"Gamma", 64);
}

// clang-format off
const AllCase kAllCases[] = {
    {"RemoveNone", L"remove", Scenario().Client(4),
     "Unable to remove applications, as there are no applications to remove.\n", 0, {-1, -1, -1}},
    {"StopNone", L"stop", Scenario().Client(4),
     "Unable to stop applications, as there are no applications to stop.\n", 0, {-1, -1, -1}},
    // A list that cannot be fetched looks the same as an empty one.
    {"RemoveWhenTheListFails", L"remove", Three().Fault("GetApplicationList", kFail),
     "Unable to remove applications, as there are no applications to remove.\n", 0, {64, 16, 1}},
    {"RemoveThree", L"remove", Three(),
     "Removing application [Alpha]... Success.\n"
     "Removing application [Beta]... Success.\n"
     "Removing application [Gamma]... Success.\n", 0, {-1, -1, -1}},
    {"StopThree", L"stop", Three(),
     "Stopping application [Alpha]... Success.\n"
     "Stopping application [Beta]... Success.\n"
     "Stopping application [Gamma]... Success.\n", 0, {16, 16, 16}},
    {"RemoveStopsAtTheSecondFailure", L"remove", Three().Fault("UnmountApplication", kNotFound, 0, 1, kBeta),
     "Removing application [Alpha]... Success.\n"
     "Removing application [Beta]... Failed.\n", kNotFound,
     {-1, 16, 1}},
    {"StopStopsAtTheSecondFailure", L"stop",
     ThreeRunning().Fault("StopApplication", kNotFound, 0, 1, kBeta),
     "Stopping application [Alpha]... Success.\n"
     "Stopping application [Beta]... Failed.\n", kNotFound,
     {16, 64, 64}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Application, AllApplications, ::testing::ValuesIn(kAllCases),
                         [](const auto& instance) { return std::string(instance.param.name); });

} // namespace
} // namespace quillet::testing
