#include "AppsFixture.h"

namespace quillet::testing {
namespace {

constexpr DWORD kNotFound = 0x80070490;
constexpr DWORD kAccessDenied = 0x80070005;
constexpr DWORD kClassNotRegistered = 0x80040154;
constexpr DWORD kAlreadyStarted = 0xA0044011;
constexpr DWORD kAlreadyStopped = 0xA0044010;
constexpr DWORD kApplicationsAlreadyUninitialized = 0xA0044020;

const std::wstring kCannotStartClient = L"Cannot start Client to update Application status.\n";
const std::wstring kAlreadyUninitialized =
    L"Streaming Client COM calling UninitApplications when it has already been uninitialized.\n";

struct StartCase {
    const char* name;
    Scenario scenario;
    std::vector<std::string> trail;
    std::vector<std::wstring> trace;
    DWORD exitCode;
};

class ClientStart : public AppsTest, public ::testing::WithParamInterface<StartCase> {};

// The client start beneath every application command, seen through getIdList on a service without
// applications: the tolerated answers pass silently, every other failure is traced and ends the command.
TEST_P(ClientStart, StartsTheClientOrTracesWhy) {
    GetParam().scenario.Write();
    const RunResult result = Quillet({L"application", L"getIdList"});
    EXPECT_EQ(Trail(Journal(), result.processId), GetParam().trail);
    EXPECT_EQ(result.trace, GetParam().trace);
    EXPECT_EQ(result.exitCode, GetParam().exitCode);
    EXPECT_EQ(result.output, "");
}

const std::vector<std::string> kEmptyListTrail = {"create IStreamingApplication 2", "2 Initialize(pid)",
                                                  "2 GetApplicationList(-1)", "2 Uninitialize()",
                                                  "release 2"};

// The first client object's life with the calls between its Initialize and Uninitialize.
std::vector<std::string> ClientTrail(const std::vector<std::string>& calls) {
    std::vector<std::string> trail{"create IStreamingClient 1", "1 Initialize(pid)"};
    for (const std::string& call : calls) {
        trail.push_back("1 " + call);
    }
    trail.insert(trail.end(), {"1 Uninitialize()", "release 1"});
    return trail;
}

const std::vector<std::string> kAlreadyStartedTrail =
    ClientTrail({"StartClient() 0xA0044011", "InitApplications() 0xA0044021"});
// The administrator query's own object: no Uninitialize.
const std::vector<std::string> kAdminQueryTrail = {"create IStreamingClient 2", "2 Initialize(pid)",
                                                   "2 IsUserAdministrator()", "release 2"};

const std::vector<std::string> kStartedTrail = ClientTrail({"StartClient()", "InitApplications()"});

std::vector<std::string> Concat(std::vector<std::string> first, const std::vector<std::string>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// clang-format off
const StartCase kStartCases[] = {
    {"StoppedClientIsStarted", Scenario().Client(0), Concat(kStartedTrail, kEmptyListTrail), {}, 0},
    {"RunningClientAnswersAlreadyDoneSilently", Scenario().Client(4),
     Concat(kAlreadyStartedTrail, kEmptyListTrail), {}, 0},
    {"FailingStartClientSkipsInitApplications", Scenario().Fault("StartClient", kFail),
     ClientTrail({"StartClient() 0x80004005"}),
     {L"Failed to Start Client COM. [16389]\n", kCannotStartClient}, kFail},
    {"FailingInitApplications", Scenario().Fault("InitApplications", kNotFound),
     ClientTrail({"StartClient()", "InitApplications() 0x80070490"}),
     {L"Failed to initialize Streaming Client COM. [1168]\n", kCannotStartClient}, kFail},
    {"FailingInitializeIsNotUndone", Scenario().Fault("IStreamingClient.Initialize", kAccessDenied),
     {"create IStreamingClient 1", "1 Initialize(pid) 0x80070005", "release 1"},
     {L"Failed to Initialize Client COM [5].\n", kCannotStartClient}, kFail},
    {"RefusedClientObject", Scenario().Fault("IStreamingClient.CreateInstance", kClassNotRegistered),
     {"create IStreamingClient 0x80040154"}, {L"Failed to Create Client COM.\n", kCannotStartClient}, kFail},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Client, ClientStart, ::testing::ValuesIn(kStartCases),
                         [](const auto& instance) { return std::string(instance.param.name); });

struct ProbeCase {
    const char* name;
    const wchar_t* operation;
    Scenario scenario;
    std::vector<std::string> trail;
    std::vector<std::wstring> trace;
    const char* result;
};

class ClientProbe : public AppsTest, public ::testing::WithParamInterface<ProbeCase> {};

// ShutDownClient and QueryUserIsAdmin, run in a process of their own.
TEST_P(ClientProbe, CallsWhatTheClientStateAsksFor) {
    GetParam().scenario.Write();
    RunOptions options;
    options.program = BinDirectory() + L"\\quillet_client_probe.exe";
    const RunResult result = testing::Run({GetParam().operation}, options);
    EXPECT_EQ(Trail(Journal(), result.processId), GetParam().trail);
    EXPECT_EQ(result.trace, GetParam().trace);
    EXPECT_EQ(result.output, Crlf(GetParam().result));
    EXPECT_EQ(result.exitCode, 0u);
}

// clang-format off
const ProbeCase kProbeCases[] = {
    {"ShutDownInitialisedClient", L"shutdown", Scenario().Client(4),
     ClientTrail({"GetClientState()", "UninitApplications()", "GetClientState()", "StopClient()"}), {},
     "true\n"},
    {"ShutDownStoppedClientCallsNothing", L"shutdown", Scenario().Client(0),
     ClientTrail({"GetClientState()", "GetClientState()"}), {}, "true\n"},
    {"ShutDownOfflineClientStopsIt", L"shutdown", Scenario().Client(5),
     ClientTrail({"GetClientState()", "GetClientState()", "StopClient()"}), {}, "true\n"},
    {"ApplicationsAlreadyUninitialisedStillReadsTheState", L"shutdown",
     Scenario().Client(4).Fault("UninitApplications", kApplicationsAlreadyUninitialized),
     ClientTrail({"GetClientState()", "UninitApplications() 0xA0044020", "GetClientState()"}),
     {kAlreadyUninitialized}, "true\n"},
    {"ClientAlreadyStoppedIsSuccess", L"shutdown", Scenario().Client(2).Fault("StopClient", kAlreadyStopped),
     ClientTrail({"GetClientState()", "GetClientState()", "StopClient() 0xA0044010"}),
     {kAlreadyUninitialized}, "true\n"},
    {"FailingUninitApplicationsSkipsTheStop", L"shutdown",
     Scenario().Client(4).Fault("UninitApplications", kFail),
     ClientTrail({"GetClientState()", "UninitApplications() 0x80004005"}),
     {L"Failed to Uninitialize Streaming Client COM. [16389]\n"}, "false\n"},
    {"FailingStopClient", L"shutdown", Scenario().Client(2).Fault("StopClient", kFail),
     ClientTrail({"GetClientState()", "GetClientState()", "StopClient() 0x80004005"}),
     {L"Failed to Uninitialize Client COM. [16389]\n"}, "false\n"},
    {"AdministratorAskedWithoutUninitialize", L"admin", Scenario().Client(0).Admin(true),
     Concat(kStartedTrail, kAdminQueryTrail), {}, "true\n"},
    {"NoAdministrator", L"admin", Scenario().Client(4).Admin(false),
     Concat(kAlreadyStartedTrail, kAdminQueryTrail), {}, "false\n"},
    {"AdministratorQueryWhenTheClientCannotStart", L"admin",
     Scenario().Admin(true).Fault("StartClient", kAlreadyStopped),
     ClientTrail({"StartClient() 0xA0044010"}),
     {L"Failed to Start Client COM. [16400]\n", kCannotStartClient}, "false\n"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Client, ClientProbe, ::testing::ValuesIn(kProbeCases),
                         [](const auto& instance) { return std::string(instance.param.name); });

// A client that cannot be started ends every application command before any application object is made;
// the stop command names the client in its own words.
TEST_F(AppsTest, ClientThatCannotStartEndsEachApplicationCommand) {
    const struct {
        std::vector<std::wstring> args;
        const char* output;
    } cases[] = {
        {{L"start", kAlpha}, "Error: cannot start IStreamingClient to execute application command.\n"},
        {{L"remove", kAlpha}, "Error: cannot start IStreamingClient to execute application command.\n"},
        {{L"run-cmd", kAlpha, L"x.exe"},
         "Error: cannot start IStreamingClient to execute application command.\n"},
        {{L"stop", kAlpha}, "Error: cannot start IStreamingClient execute application command.\n"},
        {{L"add", L"http://127.0.0.1:1/t"},
         "Error: cannot start IStreamingClient to execute application command.\n"},
    };
    for (const auto& test : cases) {
        Scenario().App(kAlpha, L"Alpha", 16).Fault("StartClient", kFail).Write();
        emulator::ClearJournal();
        std::vector<std::wstring> args{L"application"};
        args.insert(args.end(), test.args.begin(), test.args.end());
        const RunResult result = Quillet(args);
        EXPECT_EQ(result.output, Crlf(test.output)) << ToUtf8(test.args[0]);
        EXPECT_EQ(result.exitCode, kFail);
        EXPECT_EQ(Trail(Journal(), result.processId),
                  (std::vector<std::string>{"create IStreamingClient 1", "1 Initialize(pid)",
                                            "1 StartClient() 0x80004005", "1 Uninitialize()", "release 1"}));
        EXPECT_EQ(AppState(kAlpha), 16);
    }
}

} // namespace
} // namespace quillet::testing
