// client start and client stop: nothing on the console, 0 or 0x80004005, the calls that the client's
// state asks for, and failure details in the trace only.
#include "CommandTest.h"

namespace quillet::testing {
namespace {

constexpr wchar_t kAlreadyUninitialized[] =
    L"Streaming Client COM calling UninitApplications when it has already been uninitialized.\n";
constexpr char kStartSteps[] = "+ Initialize StartClient InitApplications Uninitialize -";
constexpr char kStopSteps[] = "+ Initialize GetClientState GetClientState StopClient Uninitialize -";
constexpr char kFullStopSteps[] =
    "+ Initialize GetClientState UninitApplications GetClientState StopClient Uninitialize -";

struct ClientCase {
    const char* name;
    const wchar_t* command;
    int state;
    const char* faults;
    DWORD exitCode;
    const char* clientSteps;
    std::vector<std::wstring> trace;
    int finalState;
};

class ClientCommandTest : public CommandTest, public ::testing::WithParamInterface<ClientCase> {};

TEST_P(ClientCommandTest, Runs) {
    const ClientCase& c = GetParam();
    Scenario(R"({"client": {"state": )" + std::to_string(c.state) + R"(}, "faults": )" + c.faults + "}");
    const RunResult result = Run({L"client", c.command});
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.exitCode, c.exitCode);
    EXPECT_EQ(Steps("IStreamingClient"), c.clientSteps);
    EXPECT_EQ(result.trace, c.trace);
    EXPECT_EQ(State().at("client").at("state"), c.finalState);
}

INSTANTIATE_TEST_SUITE_P(
    Start, ClientCommandTest,
    ::testing::Values(
        ClientCase{"FromStopped", L"start", 0, "[]", 0, kStartSteps, {}, 4},
        ClientCase{"FromStarted", L"start", 2, "[]", 0, kStartSteps, {}, 4},
        ClientCase{"FromReady", L"START", 4, "[]", 0, kStartSteps, {}, 4},
        ClientCase{"FromOffline",
                   L"start",
                   5,
                   "[]",
                   kFailure,
                   kStartSteps,
                   {L"Failed to initialize Streaming Client COM. [2250]\n"},
                   5},
        ClientCase{
            "ToleratedCodes",
            L"start",
            0,
            R"([{"method": "StartClient", "hr": "0xA0044011"}, {"method": "InitApplications", "hr": "0xA0044021"}])",
            0,
            kStartSteps,
            {},
            0},
        ClientCase{"StartClientFails",
                   L"start",
                   0,
                   R"([{"method": "StartClient", "hr": "0x80004005"}])",
                   kFailure,
                   "+ Initialize StartClient Uninitialize -",
                   {L"Failed to Start Client COM. [16389]\n"},
                   0},
        ClientCase{"ObjectNotCreated",
                   L"start",
                   0,
                   R"([{"method": "IStreamingClient.CreateInstance", "hr": "0x80080005"}])",
                   kFailure,
                   "!",
                   {L"Failed to Create Client COM.\n"},
                   0}),
    RowName<ClientCase>);

INSTANTIATE_TEST_SUITE_P(
    Stop, ClientCommandTest,
    ::testing::Values(ClientCase{"FromStopped",
                                 L"stop",
                                 0,
                                 "[]",
                                 0,
                                 "+ Initialize GetClientState GetClientState Uninitialize -",
                                 {},
                                 0},
                      ClientCase{"FromStarted", L"stop", 2, "[]", 0, kStopSteps, {}, 0},
                      ClientCase{"FromReady", L"Stop", 4, "[]", 0, kFullStopSteps, {}, 0},
                      ClientCase{"FromOffline", L"stop", 5, "[]", 0, kStopSteps, {}, 0},
                      ClientCase{
                          "ApplicationsAlreadyUninitialized",
                          L"stop",
                          4,
                          R"([{"method": "UninitApplications", "hr": "0xA0044020"}])",
                          0,
                          "+ Initialize GetClientState UninitApplications GetClientState Uninitialize -",
                          {kAlreadyUninitialized},
                          4},
                      ClientCase{"ClientAlreadyStopped",
                                 L"stop",
                                 2,
                                 R"([{"method": "StopClient", "hr": "0xA0044010"}])",
                                 0,
                                 kStopSteps,
                                 {kAlreadyUninitialized},
                                 2},
                      ClientCase{"UninitApplicationsFails",
                                 L"stop",
                                 4,
                                 R"([{"method": "UninitApplications", "hr": "0x80070005"}])",
                                 kFailure,
                                 "+ Initialize GetClientState UninitApplications Uninitialize -",
                                 {L"Failed to Uninitialize Streaming Client COM. [5]\n"},
                                 4},
                      ClientCase{"StopClientFails",
                                 L"stop",
                                 2,
                                 R"([{"method": "StopClient", "hr": "0x80070005"}])",
                                 kFailure,
                                 kStopSteps,
                                 {L"Failed to Uninitialize Client COM. [5]\n"},
                                 2}),
    RowName<ClientCase>);

// From a shell (here the test with its pipes) the console is not the program's own: no detaching and no
// lingering after the start.
TEST_F(CommandTest, ClientStartFromAnExistingConsoleReturnsAtOnce) {
    const RunResult result = Run({L"client", L"start"});
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_LT(result.elapsedMs, 10000.0);
}

} // namespace
} // namespace quillet::testing
