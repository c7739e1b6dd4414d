#include "AppsFixture.h"

namespace quillet::testing {
namespace {

constexpr DWORD kInvalidState = 0x8007139F;

const std::wstring kAlphaText = kAlpha;

std::vector<std::wstring> Application(std::vector<std::wstring> args) {
    args.insert(args.begin(), L"application");
    return args;
}

struct LadderCase {
    const char* name;
    std::vector<std::wstring> args;
    long long state;
    std::vector<std::string> calls;
    const char* output;
    long long finalState;
};

class Ladder : public AppsTest, public ::testing::WithParamInterface<LadderCase> {};

// Every step is decided from the state read once at the start, and each command prints its progress with
// the application's name and its outcome.
TEST_P(Ladder, TakesTheStepsBetweenTheStateAndTheTarget) {
    Scenario().Client(4).App(kAlpha, L"Alpha", GetParam().state).Write();
    const RunResult result = Quillet(Application(GetParam().args));
    EXPECT_EQ(LadderCalls(Journal()), GetParam().calls);
    EXPECT_EQ(result.output, Crlf(GetParam().output));
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(AppState(kAlpha), GetParam().finalState);
}

constexpr char kRemoving[] = "Removing application [Alpha]... Success.\n";
constexpr char kStopping[] = "Stopping application [Alpha]... Success.\n";
constexpr char kStarting[] = "Starting application [Alpha]... Success.\n";
constexpr char kRunning[] = "Running command for application [Alpha]... Success.\n";

// clang-format off
const LadderCase kLadderCases[] = {
    {"RemoveRunning", {L"remove", kAlpha}, 64,
     {"StopApplication", "UnmountApplication", "UnloadApplication", "RemoveApplication"}, kRemoving, -1},
    {"RemoveMounted", {L"remove", kAlpha}, 16,
     {"UnmountApplication", "UnloadApplication", "RemoveApplication"}, kRemoving, -1},
    {"RemoveLoaded", {L"remove", kAlpha}, 4, {"UnloadApplication", "RemoveApplication"}, kRemoving, -1},
    {"RemoveAdded", {L"remove", kAlpha}, 1, {"RemoveApplication"}, kRemoving, -1},
    {"StopAddedLoadsAndMounts", {L"stop", kAlpha}, 1, {"LoadApplication", "MountApplication"}, kStopping, 16},
    {"StopMountedCallsNothing", {L"stop", kAlpha}, 16, {}, kStopping, 16},
    {"StopRunning", {L"stop", kAlpha}, 64, {"StopApplication"}, kStopping, 16},
    {"StartAdded", {L"start", kAlpha}, 1, {"LoadApplication", "MountApplication", "StartApplication"},
     kStarting, 64},
    {"StartMounted", {L"start", kAlpha}, 16, {"StartApplication"}, kStarting, 64},
    {"StartRunningStartsAgain", {L"start", kAlpha}, 64, {"StartApplication"}, kStarting, 64},
    {"StartLoadedWithParameters", {L"start", kAlpha, L"x"}, 4,
     {"MountApplication", "StartApplicationWithParameters"}, kStarting, 64},
    {"RunCmdOnRunningLeavesItRunning", {L"run-cmd", kAlpha, L"tool.exe"}, 64, {"RunApplicationCommand"},
     kRunning, 64},
    {"RunCmdOnAdded", {L"run-cmd", kAlpha, L"tool.exe"}, 1,
     {"LoadApplication", "MountApplication", "RunApplicationCommand"}, kRunning, 16},
    {"RunCmdWithEmptyExecutableOnlyMounts", {L"run-cmd", kAlpha, L""}, 1,
     {"LoadApplication", "MountApplication"}, kRunning, 16},
    // A state above the highest known one is neither started nor stopped, but still taken down.
    {"StartAbove64", {L"start", kAlpha}, 128, {}, kStarting, 128},
    {"StopAbove64", {L"stop", kAlpha}, 128, {}, kStopping, 128},
    {"RemoveAbove64", {L"remove", kAlpha}, 128,
     {"UnmountApplication", "UnloadApplication", "RemoveApplication"}, kRemoving, -1},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Application, Ladder, ::testing::ValuesIn(kLadderCases),
                         [](const auto& instance) { return std::string(instance.param.name); });

struct FailingCase {
    const char* name;
    std::vector<std::wstring> args;
    long long state;
    const char* method;
    int skip;
    DWORD hr;
    std::vector<std::string> calls;
    std::wstring trace;
    const char* output;
    long long finalState;
};

class FailingStep : public AppsTest, public ::testing::WithParamInterface<FailingCase> {};

// The first failing step ends the command with its HRESULT: "Failed." on the console, the details in the
// trace with the low 16 bits of the code, and nothing undone.
TEST_P(FailingStep, EndsTheLadderWithItsHresult) {
    const FailingCase& test = GetParam();
    Scenario().Client(4).App(kAlpha, L"Alpha", test.state).Fault(test.method, test.hr, test.skip).Write();
    const RunResult result = Quillet(Application(test.args));
    EXPECT_EQ(LadderCalls(Journal()), test.calls);
    EXPECT_EQ(result.trace,
              (std::vector<std::wstring>{L"Querying app =<" + kAlphaText + L"> returns with status " +
                                             std::to_wstring(test.state) + L".\n",
                                         test.trace}));
    EXPECT_EQ(result.output, Crlf(test.output));
    EXPECT_EQ(result.exitCode, test.hr);
    EXPECT_EQ(AppState(kAlpha), test.finalState);
}

const std::wstring kAt = L"Application <" + kAlphaText + L">";

// clang-format off
const FailingCase kFailingCases[] = {
    {"StatusQuery", {L"start", kAlpha}, 16, "GetApplicationProperties", 2, kInvalidArgument, {},
     L"Cannot obtain " + kAt + L" status from COM [87].\n", "Starting application [Alpha]... Failed.\n", 16},
    {"Load", {L"start", kAlpha}, 1, "LoadApplication", 0, kInvalidArgument, {"LoadApplication 0x80070057"},
     L"Failed to load " + kAt + L" [87].\n", "Starting application [Alpha]... Failed.\n", 1},
    {"MountLeavesTheApplicationLoaded", {L"start", kAlpha}, 1, "MountApplication", 0, kInvalidArgument,
     {"LoadApplication", "MountApplication 0x80070057"}, L"Failed to mount " + kAt + L" [87].\n",
     "Starting application [Alpha]... Failed.\n", 4},
    {"RunCommand", {L"run-cmd", kAlpha, L"tool.exe", L"C:\\w", L"p"}, 16, "RunApplicationCommand", 0,
     kInvalidArgument, {"RunApplicationCommand 0x80070057"},
     L"Failed to run command on " + kAt +
         L" with exe path <tool.exe>, working dir <C:\\w>, parameters <\"p\"> [87].\n",
     "Running command for application [Alpha]... Failed.\n", 16},
    {"StartWithParameters", {L"start", kAlpha, L"x", L"y z"}, 16, "StartApplicationWithParameters", 0,
     kInvalidArgument, {"StartApplicationWithParameters 0x80070057"},
     L"Failed to start " + kAt + L" with parameters <\"x\" \"y z\"> [87].\n",
     "Starting application [Alpha]... Failed.\n", 16},
    {"Start", {L"start", kAlpha}, 16, "StartApplication", 0, kInvalidArgument,
     {"StartApplication 0x80070057"}, L"Failed to start " + kAt + L" [87].\n",
     "Starting application [Alpha]... Failed.\n", 16},
    {"Stop", {L"stop", kAlpha}, 64, "StopApplication", 0, kInvalidArgument, {"StopApplication 0x80070057"},
     L"Failed to stop " + kAt + L" [87].\n", "Stopping application [Alpha]... Failed.\n", 64},
    {"Unmount", {L"remove", kAlpha}, 16, "UnmountApplication", 0, kInvalidArgument,
     {"UnmountApplication 0x80070057"}, L"Failed to unmount " + kAt + L" [87].\n",
     "Removing application [Alpha]... Failed.\n", 16},
    {"Unload", {L"remove", kAlpha}, 16, "UnloadApplication", 0, kInvalidArgument,
     {"UnmountApplication", "UnloadApplication 0x80070057"}, L"Failed to unload " + kAt + L" [87].\n",
     "Removing application [Alpha]... Failed.\n", 4},
    // The low 16 bits are shown unsigned.
    {"RemoveWithALargeCode", {L"remove", kAlpha}, 1, "RemoveApplication", 0, 0x8004C350,
     {"RemoveApplication 0x8004C350"}, L"Failed to remove " + kAt + L" [50000].\n",
     "Removing application [Alpha]... Failed.\n", 1},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Application, FailingStep, ::testing::ValuesIn(kFailingCases),
                         [](const auto& instance) { return std::string(instance.param.name); });

std::wstring Querying(long long state) {
    return L"Querying app =<" + kAlphaText + L"> returns with status " + std::to_wstring(state) + L".\n";
}

std::wstring Modified(long long from, long long to) {
    return L"Modifying app =<" + kAlphaText + L"> from [" + std::to_wstring(from) + L"] to [" +
           std::to_wstring(to) + L"] succeeded.\n";
}

// The wait after a stop asks for the state until the application no longer runs, stopping it again
// between the questions.
TEST_F(AppsTest, StopWaitEndsOnceTheApplicationStops) {
    Scenario().Client(4).App(kAlpha, L"Alpha", 64, 2).Write();
    const RunResult result = Quillet(Application({L"stop", kAlpha}));
    EXPECT_EQ(LadderCalls(Journal()),
              (std::vector<std::string>{"StopApplication", "StopApplication", "StopApplication"}));
    EXPECT_EQ(result.trace, (std::vector<std::wstring>{Querying(64), Querying(64), Querying(64), Querying(16),
                                                       Modified(64, 16)}));
    EXPECT_EQ(result.output, Crlf(kStopping));
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_GE(result.elapsedMs, 1000);
    EXPECT_LT(result.elapsedMs, 3000);
}

// An application that never stops: ten passes of half a second, then the command goes on as if it had.
TEST_F(AppsTest, StopWaitRunsOutAfterTenPasses) {
    Scenario().Client(4).App(kAlpha, L"Alpha", 64, -1).Write();
    const RunResult result = Quillet(Application({L"stop", kAlpha}));
    EXPECT_EQ(LadderCalls(Journal()), std::vector<std::string>(11, "StopApplication"));
    std::vector<std::wstring> trace(11, Querying(64));
    trace.push_back(Modified(64, 16));
    EXPECT_EQ(result.trace, trace);
    EXPECT_EQ(result.output, Crlf(kStopping));
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_GE(result.elapsedMs, 5000);
    EXPECT_LT(result.elapsedMs, 8000);
}

// After a wait that ran out, remove goes on with the unmount, which the still running application refuses.
TEST_F(AppsTest, RemoveAfterAStopWaitThatRanOut) {
    Scenario().Client(4).App(kAlpha, L"Alpha", 64, -1).Write();
    const RunResult result = Quillet(Application({L"remove", kAlpha}));
    std::vector<std::string> calls(11, "StopApplication");
    calls.push_back("UnmountApplication 0x8007139F");
    EXPECT_EQ(LadderCalls(Journal()), calls);
    EXPECT_EQ(result.trace.back(), L"Failed to unmount " + kAt + L" [5023].\n");
    EXPECT_EQ(result.output, Crlf("Removing application [Alpha]... Failed.\n"));
    EXPECT_EQ(result.exitCode, kInvalidState);
}

TEST_F(AppsTest, UnknownApplicationIsRefusedBeforeAnyStep) {
    Scenario().Client(4).App(kAlpha, L"Alpha", 64).Write();
    for (const wchar_t* command : {L"remove", L"start", L"stop"}) {
        emulator::ClearJournal();
        const RunResult result = Quillet(Application({command, kUnknown}));
        EXPECT_EQ(result.output, Crlf("Error: application does not exist.\n")) << ToUtf8(command);
        EXPECT_EQ(result.exitCode, kFail);
        EXPECT_EQ(LadderCalls(Journal()), std::vector<std::string>{});
        EXPECT_EQ(result.trace, std::vector<std::wstring>{});
    }
    const RunResult result = Quillet(Application({L"run-cmd", kUnknown, L"tool.exe"}));
    EXPECT_EQ(result.output, Crlf("Error: application does not exist.\n"));
    EXPECT_EQ(result.exitCode, kFail);
}

struct ReplyCase {
    const char* name;
    const char* shape;
    std::string output;
    DWORD exitCode;
    std::vector<std::string> calls;
};

class PropertiesReply : public AppsTest, public ::testing::WithParamInterface<ReplyCase> {};

// An element without a string is no name: the guid stands in for it. A reply without the element read
// ends the command with the failure of the element access, before any step.
TEST_P(PropertiesReply, OfAnOddShapeNeverCrashesTheCommand) {
    // The first two property queries (the existence check and the name) get the odd reply.
    Scenario()
        .Client(4)
        .App(kAlpha, L"Alpha", 16)
        .Reply("GetApplicationProperties", GetParam().shape, 2)
        .Write();
    const RunResult result = Quillet(Application({L"start", kAlpha}));
    EXPECT_EQ(result.output, Crlf(GetParam().output));
    EXPECT_EQ(result.exitCode, GetParam().exitCode);
    EXPECT_EQ(LadderCalls(Journal()), GetParam().calls);
}

const std::string kStartingGuid = "Starting application [" + ToUtf8(kAlpha) + "]... Success.\n";
const std::vector<std::string> kStarted = {"StartApplication"};

// clang-format off
const ReplyCase kReplyCases[] = {
    {"WrongTypes", "wrongTypes", kStartingGuid, 0, kStarted},
    {"NullStrings", "nullStrings", kStartingGuid, 0, kStarted},
    {"Short", "short", "Error: unexpected failure 0x8002000B.\n", 0x8002000B, {}},
    {"Scalar", "scalar", "Error: unexpected failure 0x80020005.\n", kTypeMismatch, {}},
    {"NoArray", "noArray", "Error: unexpected failure 0x80020005.\n", kTypeMismatch, {}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Application, PropertiesReply, ::testing::ValuesIn(kReplyCases),
                         [](const auto& instance) { return std::string(instance.param.name); });

} // namespace
} // namespace quillet::testing
