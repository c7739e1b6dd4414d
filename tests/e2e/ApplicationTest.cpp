// The application commands as a user and a script meet them: the command line's messages, the state
// ladder and its trace, "all", the id list, add, and the client start beneath each of them, with the
// service calls that each run makes.
#include "Files.h"
#include "Row.h"
#include "win32/UniqueHandle.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace quillet::testing {
namespace {

const std::string kA = ToUtf8(kAlpha);
const std::wstring kAt = L" Application <" + std::wstring(kAlpha) + L">";
constexpr char kTokenFile[] =
    "Error: token file does not exist, or file is not a token. Use \"Quillet -h\" for more help.\n";
const CallFilter kLadder = {{"LoadApplication", "MountApplication", "RunApplicationCommand",
                             "StartApplication", "StartApplicationWithParameters", "StopApplication",
                             "UnmountApplication", "UnloadApplication", "RemoveApplication"}};

// Calls of the application object as the journal shows them: App({"MountApplication 0x80070057"}).
std::vector<std::string> App(const std::vector<std::string>& calls) {
    std::vector<std::string> lines;
    for (const std::string& call : calls) {
        lines.push_back("IStreamingApplication." + call);
    }
    return lines;
}

Scenario Alpha(long long state, int stopPolls = 0) {
    return Scenario().Client(4).App(kAlpha, L"Alpha", state, {.stopPolls = stopPolls});
}

std::wstring Querying(long long state) {
    return L"Querying app =<" + std::wstring(kAlpha) + L"> returns with status " + std::to_wstring(state) +
           L".\n";
}

// What tells the single-application commands apart, and the words after the guid.
struct Command {
    const wchar_t* word;
    std::string progress;
    int target;
    std::vector<std::wstring> more = {};
};
const Command kRemove{L"remove", "Removing application [Alpha]... ", 0};
const Command kStart{L"start", "Starting application [Alpha]... ", 64};
const Command kStop{L"stop", "Stopping application [Alpha]... ", 16};
const Command kRunCmd{L"run-cmd", "Running command for application [Alpha]... ", 16, {L"tool.exe"}};

Command With(Command command, std::vector<std::wstring> more) {
    command.more = std::move(more);
    return command;
}

std::vector<std::wstring> Words(const Command& command) {
    std::vector<std::wstring> words = {L"application", command.word, kAlpha};
    words.insert(words.end(), command.more.begin(), command.more.end());
    return words;
}

// A command on Alpha in state that succeeds with the ladder's steps: its trace tells the state read, the
// status read after a stop, and the change.
Row Climb(const Command& command, long long state, const std::vector<std::string>& steps) {
    std::vector<std::wstring> trace = {Querying(state)};
    if (std::ranges::find(steps, "StopApplication") != steps.end()) {
        trace.push_back(Querying(16));
    }
    trace.push_back(L"Modifying app =<" + std::wstring(kAlpha) + L"> from [" + std::to_wstring(state) +
                    L"] to [" + std::to_wstring(command.target) + L"] succeeded.\n");
    return {.name = ToUtf8(command.word) + " from " + std::to_string(state),
            .scenario = Alpha(state),
            .args = Words(command),
            .output = command.progress + "Success.\n",
            .calls = App(steps),
            .only = kLadder,
            .trace = trace};
}

// A code whose low 16 bits do not fit a short: the trace shows them as an unsigned number.
constexpr DWORD kStepFailed = 0x8004C350;
const std::wstring kStepCode = L" [50000].\n";

// The last step fails and ends the command with its HRESULT; the trace tells which and why.
Row Fail(const Command& command, long long state, std::vector<std::string> steps,
         const std::wstring& traced) {
    const std::string method = steps.back();
    steps.back() += " " + Hex(kStepFailed);
    return {.name = method + " fails: " + ToUtf8(command.word) + " from " + std::to_string(state),
            .scenario = Alpha(state).Fault(method, kStepFailed),
            .args = Words(command),
            .output = command.progress + "Failed.\n",
            .exitCode = kStepFailed,
            .calls = App(steps),
            .only = kLadder,
            .trace = std::vector{Querying(state), traced + kStepCode}};
}

// A wrong command line prints its one message and exits with E_INVALIDARG. These runs reach neither the
// service nor the trace, so they run beside the programs that do (CMakeLists.txt).
TEST(ApplicationCommandLine, WrongWordsPrintOneMessage) {
    const TempFolder folder;
    const std::string token = R"({"name":"Backup","guid":")" + ToUtf8(kGamma) + "\"}";
    const auto wrong = [](const char* name, std::vector<std::wstring> words, const char* message) {
        words.insert(words.begin(), L"application");
        return Row{.name = name, .args = words, .output = message, .exitCode = kInvalidArgument};
    };
    EXPECT_ROWS((std::vector<Row>{
        wrong("unknown command", {L"list"}, kInvalidArguments),
        wrong("add without source", {L"add"}, kIncorrectNumber),
        wrong("add with three words", {L"add", L"x.tok", L"a", L"b"}, kIncorrectNumber),
        wrong("add without .tok in the name", {L"add", folder.File(L"app.txt", token)}, kTokenFile),
        wrong("add .TOK in capitals", {L"add", folder.File(L"app.TOK", token)}, kTokenFile),
        wrong("add folder", {L"add", folder.Folder(L"folder.tok")}, kTokenFile),
        // The URL prefixes are case-sensitive: this is a path, and no such file exists.
        wrong("add HTTP in capitals", {L"add", L"HTTP://127.0.0.1/app.tok"}, kTokenFile),
        wrong("remove without guid", {L"remove"}, kIncorrectNumber),
        wrong("stop all and a guid", {L"stop", L"all", L"{B}"}, kIncorrectNumber),
        wrong("start without guid", {L"start"}, kIncorrectNumber),
        wrong("run-cmd without guid", {L"run-cmd"}, kIncorrectNumber),
        wrong("run-cmd without executable", {L"run-cmd", L"{A}"}, kIncorrectNumber),
        wrong("getIdList with an empty word", {L"getIdList", L""}, kIncorrectNumber),
    }));
}

// Every step is decided from the state read once at the start; the command prints its progress with the
// application's name and its outcome, the trace the state read and the change.
TEST(Application, LadderTakesTheStepsBetweenTheStateAndTheTarget) {
    const std::wstring to = L"Failed to ";
    const Command withExe = With(kRunCmd, {L"tool.exe", L"C:\\w", L"p"}),
                  twoWords = With(kStart, {L"x", L"y z"});
    EXPECT_ROWS((std::vector<Row>{
        Climb(kRemove, 64,
              {"StopApplication", "UnmountApplication", "UnloadApplication", "RemoveApplication"}),
        Climb(kRemove, 4, {"UnloadApplication", "RemoveApplication"}),
        Climb(kRemove, 1, {"RemoveApplication"}),
        // Above the highest known state: neither started nor stopped, but still taken down.
        Climb(kRemove, 128, {"UnmountApplication", "UnloadApplication", "RemoveApplication"}),
        Climb(kStop, 1, {"LoadApplication", "MountApplication"}),
        Climb(kStop, 16, {}),
        Climb(kStop, 64, {"StopApplication"}),
        Climb(kStart, 1, {"LoadApplication", "MountApplication", "StartApplication"}),
        // A running application is started again.
        Climb(kStart, 64, {"StartApplication"}),
        Climb(With(kStart, {L"x"}), 4, {"MountApplication", "StartApplicationWithParameters"}),
        Climb(kRunCmd, 64, {"RunApplicationCommand"}),
        // An empty executable only mounts.
        Climb(With(kRunCmd, {L""}), 1, {"LoadApplication", "MountApplication"}),
        Fail(kStart, 1, {"LoadApplication"}, to + L"load" + kAt),
        Fail(kStart, 1, {"LoadApplication", "MountApplication"}, to + L"mount" + kAt),
        Fail(withExe, 16, {"RunApplicationCommand"},
             to + L"run command on" + kAt +
                 L" with exe path <tool.exe>, working dir <C:\\w>, parameters <\"p\">"),
        Fail(twoWords, 16, {"StartApplicationWithParameters"},
             to + L"start" + kAt + L" with parameters <\"x\" \"y z\">"),
        Fail(kStop, 64, {"StopApplication"}, to + L"stop" + kAt),
        Fail(kRemove, 16, {"UnmountApplication", "UnloadApplication"}, to + L"unload" + kAt),
        Fail(kRemove, 1, {"RemoveApplication"}, to + L"remove" + kAt),
        // The third query of the state is the ladder's own.
        {.name = "status query fails",
         .scenario = Alpha(16).Fault("GetApplicationProperties", kStepFailed, {.skip = 2}),
         .args = Words(kStart),
         .output = "Starting application [Alpha]... Failed.\n",
         .exitCode = kStepFailed,
         .trace = std::vector{Querying(16), L"Cannot obtain" + kAt + L" status from COM" + kStepCode}},
    }));
}

// The wait after a stop asks for the state until the application no longer runs, stopping it again and
// pausing half a second between the questions, ten times at most; then the command goes on as if it had
// stopped (here the still running application refuses the unmount).
TEST(Application, StopWaitRunsOutAfterTenPasses) {
    std::vector<std::wstring> trace(11, Querying(64));
    trace.push_back(L"Failed to unmount" + kAt + L" [5023].\n");
    std::vector<std::string> calls(11, "StopApplication");
    calls.push_back("UnmountApplication 0x8007139F");
    const RunResult ranOut = EXPECT_ROW((Row{.name = "wait ran out",
                                             .scenario = Alpha(64, -1),
                                             .args = Words(kRemove),
                                             .output = "Removing application [Alpha]... Failed.\n",
                                             .exitCode = kInvalidState,
                                             .calls = App(calls),
                                             .only = kLadder,
                                             .trace = trace}));
    EXPECT_GE(ranOut.elapsedMs, 5000);
    EXPECT_LT(ranOut.elapsedMs, 8000);
}

// Command parameters reach the service quoted one by one, their own quotes and backslashes untouched
// (launch parameters alike); the guid, path and working directory go as typed, each in its place.
TEST(Application, ParametersReachTheServiceQuoted) {
    const Command command =
        With(kRunCmd, {L"C:\\app\\tool.exe", L"C:\\work dir", L"say \"hi\"", L"C:\\dir\\", L""});
    EXPECT_ROW((Row{
        .name = "run-cmd with every word",
        .scenario = Alpha(64),
        .args = Words(command),
        .output = command.progress + "Success.\n",
        .calls = App({"RunApplicationCommand(\"" + kA +
                      R"(","C:\\app\\tool.exe","C:\\work dir","\"say \"hi\"\" \"C:\\dir\\\" \"\"","",""))"}),
        .only = {{"RunApplicationCommand"}, true}}));
}

// "all" handles the listed applications in the list's order and stops at the first failure; an empty list
// has nothing to do.
TEST(Application, AllHandlesEachListedApplicationInTurn) {
    const Scenario three =
        Scenario().Client(4).App(kAlpha, L"Alpha", 64).App(kBeta, L"Beta", 16).App(kGamma, L"Gamma", 1);
    EXPECT_ROWS((std::vector<Row>{
        {.name = "remove none",
         .scenario = Scenario().Client(4),
         .args = {L"application", L"remove", L"ALL"},
         .output = "Unable to remove applications, as there are no applications to remove.\n"},
        {.name = "remove ends at the first failure",
         .scenario = Scenario(three).Fault("UnmountApplication", kNotFound, {.guid = kBeta}),
         .args = {L"application", L"remove", L"all"},
         .output = "Removing application [Alpha]... Success.\nRemoving application [Beta]... Failed.\n",
         .exitCode = kNotFound},
    }));
}

// getIdList lists in the service's order. Beneath it, as beneath every application command, the client is
// started; a failure is traced and ends the command, which exits with E_FAIL.
TEST(Application, IdListAndTheClientStartBeneathIt) {
    const std::vector<std::wstring> args = {L"application", L"GETIDLIST"};
    EXPECT_ROWS((std::vector<Row>{
        {.name = "three, not in the guids' order",
         .scenario =
             Scenario().Client(4).App(kGamma, L"Gamma", 1).App(kAlpha, L"Alpha", 64).App(kBeta, L"Beta", 16),
         .args = args,
         .output = "\nAppIdList: \n1 - " + ToUtf8(kGamma) + "\n2 - " + kA + "\n3 - " + ToUtf8(kBeta) + "\n"},
        {.name = "stopped client is started",
         .scenario = Scenario().Client(0),
         .args = args,
         .calls =
             Join({Life("IStreamingClient", {"StartClient()", "InitApplications()"}, {.arguments = true}),
                   Life("IStreamingApplication", {"GetApplicationList(-1)"}, {.arguments = true})}),
         .only = {{}, true}},
        {.name = "failed Initialize is not undone",
         .scenario = Scenario().Fault("IStreamingClient.Initialize", kAccessDenied),
         .args = args,
         .exitCode = kFail,
         .calls = {{"+IStreamingClient", "IStreamingClient.Initialize 0x80070005", "-IStreamingClient"}},
         .only = {{"IStreamingClient"}},
         .trace = std::vector<std::wstring>{L"Failed to Initialize Client COM [5].\n",
                                            L"Cannot start Client to update Application status.\n"}},
    }));
}

// One command, every object it makes, each initialised with Quillet's process id and released before the
// next: the client start (the answers "already done" pass silently), the existence check, the name, and
// the state change with a client start of its own.
TEST(Application, EachOperationHasAnObjectOfItsOwn) {
    const std::string alpha = "(\"" + kA + "\"";
    const auto object = [](const char* face, const std::vector<std::string>& calls) {
        return Life(face, calls, {.arguments = true});
    };
    const std::vector<std::string> client =
        object("IStreamingClient", {"StartClient() 0xA0044011", "InitApplications() 0xA0044021"});
    EXPECT_ROW((Row{
        .name = "start from added",
        .scenario = Alpha(1),
        .args = {L"application", L"start", kAlpha},
        .output = "Starting application [Alpha]... Success.\n",
        .calls = Join({client, object("IStreamingApplication", {"GetApplicationProperties" + alpha + ",1)"}),
                       object("IStreamingApplication", {"GetApplicationProperties" + alpha + ",2)"}), client,
                       object("IStreamingApplication",
                              {"GetApplicationProperties" + alpha + ",1)", "LoadApplication" + alpha + ")",
                               "MountApplication" + alpha + ")", "StartApplication" + alpha + ")"})}),
        .only = {{}, true}}));
}

// add hands the token source over (flagged as a URL or not), prints the new application's name and guid,
// and asks whether it needs a reboot.
TEST(Application, AddPrintsTheNewApplication) {
    const TempFolder folder;
    const auto token = [&](const wchar_t* name, const char* reboot) {
        return folder.File(name,
                           R"({"name":"Alpha","guid":")" + kA + R"(","requiresReboot":)" + reboot + "}");
    };
    const auto add = [](std::vector<std::wstring> words) {
        words.insert(words.begin(), {L"application", L"add"});
        return words;
    };
    const Scenario ready = Scenario().Client(4);
    const std::wstring alpha = token(L"alpha.tok", "false"), secure = L"https://127.0.0.1:1/t";
    const std::string added = "Adding application... Success.\nAppName: [Alpha]\nAppGuid: [" + kA + "]\n";
    EXPECT_ROWS((std::vector<Row>{
        {.name = "added",
         .scenario = Scenario().Client(0),
         .args = add({alpha}),
         .output = added,
         .calls = Life("IStreamingApplication",
                       {"AddApplication(" + nlohmann::json(ToUtf8(alpha)).dump() + ",0)",
                        "GetApplicationProperties(\"" + kA + "\",536870912)"},
                       {.arguments = true}),
         .only = {{"IStreamingApplication"}, true}},
        {.name = "requires a reboot",
         .scenario = ready,
         .args = add({token(L"reboot.tok", "true")}),
         .output =
             "Adding application... Success (Requires Reboot).\nAppName: [Alpha]\nAppGuid: [" + kA + "]\n"},
        // ".tok" anywhere in the path will do; a second word is ignored.
        {.name = ".tok inside the name",
         .scenario = ready,
         .args = add({token(L"a.tok.bak", "false"), L"x"}),
         .output = added},
        // A URL goes to the service as it is: no file is looked for, and no ".tok" asked for.
        {.name = "https URL",
         .scenario = ready,
         .args = add({secure}),
         .output = "Adding application... Failed\n",
         .exitCode = 0x80072EFD,
         .calls = App({"AddApplication(\"" + ToUtf8(secure) + "\",-1) 0x80072EFD"}),
         .only = {{"AddApplication"}, true}},
        {.name = "initialize fails",
         .scenario = Scenario(ready).Fault("IStreamingApplication.Initialize", kFail),
         .args = add({alpha}),
         .output = "Error initializing IStreamingApplication object.\n",
         .exitCode = kFail,
         .calls = {{"+IStreamingApplication", "IStreamingApplication.Initialize 0x80004005",
                    "-IStreamingApplication"}},
         .only = {{"IStreamingApplication"}}},
    }));

    // The token check opens the file without locking writers out, and is refused by a holder who locks
    // everyone out.
    const auto holding = [&](DWORD share, const Row& row) {
        const UniqueFile held(
            CreateFileW(alpha.c_str(), GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        EXPECT_ROW(row);
    };
    holding(FILE_SHARE_READ | FILE_SHARE_WRITE,
            {.name = "written to meanwhile", .scenario = ready, .args = add({alpha}), .output = added});
    holding(0, {.name = "locked", .args = add({alpha}), .output = kTokenFile, .exitCode = kInvalidArgument});
}

} // namespace
} // namespace quillet::testing
