// The application commands as a user and a script meet them: the command line's messages, the state
// ladder and its trace, "all", the id list, add, and the client start beneath each of them, with the
// service calls that each run makes.
#include "Files.h"
#include "LoopbackHttpServer.h"
#include "Row.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

#include <sstream>

namespace quillet::testing {
namespace {

const std::string kA = ToUtf8(kAlpha);
const std::wstring kAlphaText = kAlpha;
constexpr char kTokenFile[] =
    "Error: token file does not exist, or file is not a token. Use \"Quillet -h\" for more help.\n";
constexpr char kNoSuchApp[] = "Error: application does not exist.\n";
const std::wstring kNoClientTrace = L"Cannot start Client to update Application status.\n";
const std::vector<std::string> kLadder = {"LoadApplication",
                                          "MountApplication",
                                          "RunApplicationCommand",
                                          "StartApplication",
                                          "StartApplicationWithParameters",
                                          "StopApplication",
                                          "UnmountApplication",
                                          "UnloadApplication",
                                          "RemoveApplication"};

// The ladder's calls from "Load Mount=0x80070057": each word a step, after "=" the HRESULT it failed with.
std::vector<std::string> Steps(std::string_view steps) {
    std::istringstream words{std::string(steps)};
    std::vector<std::string> calls;
    for (std::string word; words >> word;) {
        const size_t failed = word.find('=');
        const std::string step = word.substr(0, failed);
        calls.push_back("IStreamingApplication." +
                        (step == "Run"         ? "RunApplicationCommand"
                         : step == "StartWith" ? "StartApplicationWithParameters"
                                               : step + "Application") +
                        (failed == std::string::npos ? "" : " " + word.substr(failed + 1)));
    }
    return calls;
}

std::string Repeat(std::string_view word, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += std::string(word) + " ";
    }
    return text;
}

// A row of the words after "application", run against a service in state (none: no state written).
struct AppRow : Row {
    AppRow(std::string rowName, std::optional<Scenario> state, std::vector<std::wstring> words,
           std::string out, DWORD code = 0) {
        name = std::move(rowName);
        scenario = std::move(state);
        args = {L"application"};
        args.insert(args.end(), words.begin(), words.end());
        output = std::move(out);
        exitCode = code;
        options.timeoutMs = 20000;
    }
    // The calls of the named interfaces or methods (all of them when none are named).
    AppRow Calls(std::vector<std::string> expected, std::vector<std::string> names = {},
                 bool arguments = false) && {
        calls = std::move(expected);
        only = {std::move(names), arguments};
        return std::move(*this);
    }
    AppRow Ladder(std::string_view steps) && { return std::move(*this).Calls(Steps(steps), kLadder); }
    AppRow Trace(std::vector<std::wstring> lines) && {
        trace = std::move(lines);
        return std::move(*this);
    }
};

Scenario Ready() {
    return Scenario().Client(4);
}
Scenario WithAlpha(long long state, int stopPolls = 0) {
    return Ready().App(kAlpha, L"Alpha", state, {.stopPolls = stopPolls});
}
Scenario Three() {
    return Ready().App(kAlpha, L"Alpha", 64).App(kBeta, L"Beta", 16).App(kGamma, L"Gamma", 1);
}

std::wstring Querying(long long state) {
    return L"Querying app =<" + kAlphaText + L"> returns with status " + std::to_wstring(state) + L".\n";
}

// What tells the single-application commands apart.
struct Command {
    const wchar_t* word;
    const char* progress;
    int target;
};
constexpr Command kRemove{L"remove", "Removing application [Alpha]... ", 0};
constexpr Command kStart{L"start", "Starting application [Alpha]... ", 64};
constexpr Command kStop{L"stop", "Stopping application [Alpha]... ", 16};
constexpr Command kRunCmd{L"run-cmd", "Running command for application [Alpha]... ", 16};

std::vector<std::wstring> Words(const Command& command, std::vector<std::wstring> more) {
    more.insert(more.begin(), {command.word, kAlpha});
    return more;
}

// A successful command on Alpha in state: its steps, and the trace of the state read, of the status read
// after a stop, and of the change.
AppRow Climb(const char* name, const Command& command, long long state, std::string_view steps,
             std::vector<std::wstring> more = {}) {
    std::vector<std::wstring> trace = {Querying(state)};
    if (steps.find("Stop") != std::string_view::npos) {
        trace.push_back(Querying(16));
    }
    trace.push_back(L"Modifying app =<" + kAlphaText + L"> from [" + std::to_wstring(state) + L"] to [" +
                    std::to_wstring(command.target) + L"] succeeded.\n");
    return AppRow(name, WithAlpha(state), Words(command, std::move(more)),
                  std::string(command.progress) + "Success.\n")
        .Ladder(steps)
        .Trace(trace);
}

// The first failing step ends the command with its HRESULT, its details in the trace with the code's low
// 16 bits.
AppRow Fail(const char* name, const Command& command, long long state, std::vector<std::wstring> more,
            const char* method, std::string_view steps, const std::wstring& failure,
            DWORD hr = kInvalidArgument, int skip = 0) {
    return AppRow(name, WithAlpha(state).Fault(method, hr, {.skip = skip}), Words(command, std::move(more)),
                  std::string(command.progress) + "Failed.\n", hr)
        .Ladder(steps)
        .Trace({Querying(state), failure + L" [" + std::to_wstring(hr & 0xFFFF) + L"].\n"});
}

// A wrong command line prints its one message and exits with E_INVALIDARG. These runs reach neither the
// service nor the trace, so they run beside the programs that do (CMakeLists.txt).
TEST(ApplicationCommandLine, WrongWordsPrintOneMessage) {
    const TempFolder folder;
    const std::string token = R"({"name":"Backup","guid":")" + ToUtf8(kGamma) + "\"}";
    const std::wstring bak = folder.File(L"app.tok.bak", token);
    const auto wrong = [](const char* name, std::vector<std::wstring> words, const char* message) {
        return AppRow(name, {}, std::move(words), message, kInvalidArgument);
    };
    // clang-format off
    EXPECT_ROWS((std::vector<AppRow>{
        wrong("no command word", {}, kIncorrectNumber),
        wrong("empty command word", {L""}, kInvalidArguments),
        wrong("unknown command", {L"list"}, kInvalidArguments),
        // Command words fold ASCII letters only.
        wrong("non-ASCII capital", {L"st\u00D6p", L"x"}, kInvalidArguments),
        wrong("command prefix", {L"star", L"{A}"}, kInvalidArguments),
        wrong("add without source", {L"add"}, kIncorrectNumber),
        wrong("add with three parameters", {L"add", bak, L"a", L"b"}, kIncorrectNumber),
        wrong("add missing file", {L"add", folder.Path() + L"\\missing.tok"}, kTokenFile),
        wrong("add without .tok in the name", {L"add", folder.File(L"app.txt", token)}, kTokenFile),
        wrong("add .TOK in capitals", {L"add", folder.File(L"app.TOK", token)}, kTokenFile),
        wrong("add folder", {L"add", folder.Folder(L"folder.tok")}, kTokenFile),
        wrong("add empty source", {L"add", L""}, kTokenFile),
        // The URL prefixes are case-sensitive: this is a path, and no such file exists.
        wrong("add HTTP in capitals", {L"add", L"HTTP://127.0.0.1/app.tok"}, kTokenFile),
        wrong("remove without guid", {L"remove"}, kIncorrectNumber),
        wrong("remove two guids", {L"remove", L"{A}", L"{B}"}, kIncorrectNumber),
        wrong("stop without guid", {L"stop"}, kIncorrectNumber),
        wrong("stop all and a guid", {L"stop", L"all", L"{B}"}, kIncorrectNumber),
        wrong("start without guid", {L"start"}, kIncorrectNumber),
        wrong("run-cmd without guid", {L"run-cmd"}, kIncorrectNumber),
        wrong("run-cmd without executable", {L"run-cmd", L"{A}"}, kIncorrectNumber),
        wrong("getIdList with a word", {L"getIdList", L"all"}, kIncorrectNumber),
        wrong("getIdList with an empty word", {L"getIdList", L""}, kIncorrectNumber),
    }));
    // clang-format on
}

// Every step is decided from the state read once at the start; the command prints its progress with the
// application's name and its outcome, the trace the state read and the change.
TEST(Application, LadderTakesTheStepsBetweenTheStateAndTheTarget) {
    const std::wstring at = L" Application <" + kAlphaText + L">";
    const std::wstring to = L"Failed to ";
    // clang-format off
    EXPECT_ROWS((std::vector<AppRow>{
        Climb("remove running", kRemove, 64, "Stop Unmount Unload Remove"),
        Climb("remove loaded", kRemove, 4, "Unload Remove"),
        Climb("remove added", kRemove, 1, "Remove"),
        // Above the highest known state: neither started nor stopped, but still taken down.
        Climb("remove above 64", kRemove, 128, "Unmount Unload Remove"),
        Climb("stop added loads and mounts", kStop, 1, "Load Mount"),
        Climb("stop mounted calls nothing", kStop, 16, ""),
        Climb("stop running", kStop, 64, "Stop"),
        Climb("stop above 64", kStop, 128, ""),
        Climb("start added", kStart, 1, "Load Mount Start"),
        Climb("start mounted", kStart, 16, "Start"),
        Climb("start running starts again", kStart, 64, "Start"),
        Climb("start above 64", kStart, 128, ""),
        Climb("start loaded with parameters", kStart, 4, "Mount StartWith", {L"x"}),
        Climb("run-cmd on running leaves it running", kRunCmd, 64, "Run", {L"tool.exe"}),
        Climb("run-cmd on added", kRunCmd, 1, "Load Mount Run", {L"tool.exe"}),
        Climb("run-cmd with empty executable only mounts", kRunCmd, 1, "Load Mount", {L""}),
        Fail("status query", kStart, 16, {}, "GetApplicationProperties", "",
             L"Cannot obtain" + at + L" status from COM", kInvalidArgument, 2),
        Fail("load", kStart, 1, {}, "LoadApplication", "Load=0x80070057", to + L"load" + at),
        Fail("mount leaves it loaded", kStart, 1, {}, "MountApplication", "Load Mount=0x80070057",
             to + L"mount" + at),
        Fail("run command", kRunCmd, 16, {L"tool.exe", L"C:\\w", L"p"}, "RunApplicationCommand", "Run=0x80070057",
             to + L"run command on" + at + L" with exe path <tool.exe>, working dir <C:\\w>, parameters <\"p\">"),
        Fail("start with parameters", kStart, 16, {L"x", L"y z"}, "StartApplicationWithParameters",
             "StartWith=0x80070057", to + L"start" + at + L" with parameters <\"x\" \"y z\">"),
        Fail("start", kStart, 16, {}, "StartApplication", "Start=0x80070057", to + L"start" + at),
        Fail("stop", kStop, 64, {}, "StopApplication", "Stop=0x80070057", to + L"stop" + at),
        Fail("unmount", kRemove, 16, {}, "UnmountApplication", "Unmount=0x80070057", to + L"unmount" + at),
        Fail("unload", kRemove, 16, {}, "UnloadApplication", "Unmount Unload=0x80070057", to + L"unload" + at),
        Fail("remove with a large code", kRemove, 1, {}, "RemoveApplication", "Remove=0x8004C350",
             to + L"remove" + at, 0x8004C350),
    }));
    // clang-format on
}

// The wait after a stop asks for the state until the application no longer runs, stopping it again and
// pausing half a second between the questions, ten times at most; then the command goes on as if it had
// stopped (here the still running application refuses the unmount).
TEST(Application, StopWaitRunsOutAfterTenPasses) {
    std::vector<std::wstring> trace(11, Querying(64));
    trace.push_back(L"Failed to unmount Application <" + kAlphaText + L"> [5023].\n");
    const RunResult ranOut = EXPECT_ROW(AppRow("wait ran out", WithAlpha(64, -1), Words(kRemove, {}),
                                               "Removing application [Alpha]... Failed.\n", kInvalidState)
                                            .Ladder(Repeat("Stop", 11) + "Unmount=0x8007139F")
                                            .Trace(trace));
    EXPECT_GE(ranOut.elapsedMs, 5000);
    EXPECT_LT(ranOut.elapsedMs, 8000);
}

// Launch and command parameters reach the service quoted one by one, their own quotes and backslashes
// untouched; the guid, path and working directory go as typed.
TEST(Application, ParametersReachTheServiceQuoted) {
    const auto launch = [](const char* name, const Command& command, std::vector<std::wstring> more,
                           const std::string& call) {
        return AppRow(name, WithAlpha(64), Words(command, std::move(more)),
                      std::string(command.progress) + "Success.\n")
            .Calls({"IStreamingApplication." + call},
                   {"StartApplication", "StartApplicationWithParameters", "RunApplicationCommand"}, true);
    };
    const std::string a = "(\"" + kA + "\"";
    // clang-format off
    EXPECT_ROWS((std::vector<AppRow>{
        launch("start with parameters", kStart, {L"-x", L"a b"},
               "StartApplicationWithParameters" + a + R"(,"\"-x\" \"a b\"",""))"),
        launch("quote, backslash and empty parameter", kStart, {L"say \"hi\"", L"C:\\dir\\", L""},
               "StartApplicationWithParameters" + a + R"(,"\"say \"hi\"\" \"C:\\dir\\\" \"\"",""))"),
        launch("run-cmd with parameters", kRunCmd, {L"C:\\app\\tool.exe", L"C:\\work dir", L"p", L"q r"},
               "RunApplicationCommand" + a + R"(,"C:\\app\\tool.exe","C:\\work dir","\"p\" \"q r\"","",""))"),
        launch("run-cmd with empty working directory", kRunCmd, {L"tool.exe", L"", L"p"},
               "RunApplicationCommand" + a + R"(,"tool.exe","","\"p\"","",""))"),
        launch("run-cmd with working directory only", kRunCmd, {L"tool.exe", L"C:\\w"},
               "RunApplicationCommand" + a + R"(,"tool.exe","C:\\w","","",""))"),
        launch("run-cmd with executable only", kRunCmd, {L"tool.exe"},
               "RunApplicationCommand" + a + R"(,"tool.exe","","","",""))"),
    }));
    // clang-format on
}

// Refusals before any step: an application the service does not know, a client that cannot be started
// (before any application object is made; stop names the client in its own words), and a properties reply
// of an odd shape (an element without a string is no name: the guid stands in; a reply without the element
// read ends the command).
TEST(Application, RefusalsComeBeforeAnyStep) {
    const std::vector<std::string> clientRefused = {"+IStreamingClient", "IStreamingClient.Initialize",
                                                    "IStreamingClient.StartClient 0x80004005",
                                                    "IStreamingClient.Uninitialize", "-IStreamingClient"};
    const auto noClient = [&](std::vector<std::wstring> words, const char* message = kCannotStartClient) {
        return AppRow("no client: " + ToUtf8(words[0]), WithAlpha(16).Fault("StartClient", kFail), words,
                      message, kFail)
            .Calls(clientRefused);
    };
    const auto unknown = [](std::vector<std::wstring> words) {
        return AppRow("unknown: " + ToUtf8(words[0]), WithAlpha(64), words, kNoSuchApp, kFail)
            .Ladder("")
            .Trace({});
    };
    const auto shape = [](const char* name, const std::string& output, DWORD code, std::string_view steps) {
        // The existence check and the name query get the odd reply.
        return AppRow(name, WithAlpha(16).Reply("GetApplicationProperties", name, 2), {L"start", kAlpha},
                      output, code)
            .Ladder(steps);
    };
    const std::string byGuid = "Starting application [" + kA + "]... Success.\n";
    // clang-format off
    EXPECT_ROWS((std::vector<AppRow>{
        unknown({L"remove", kUnknown}),
        unknown({L"run-cmd", kUnknown, L"tool.exe"}),
        noClient({L"start", kAlpha}),
        noClient({L"remove", kAlpha}),
        noClient({L"run-cmd", kAlpha, L"x.exe"}),
        noClient({L"stop", kAlpha}, "Error: cannot start IStreamingClient execute application command.\n"),
        noClient({L"add", L"http://127.0.0.1:1/t"}),
        shape("wrongTypes", byGuid, 0, "Start"),
        shape("nullStrings", byGuid, 0, "Start"),
        shape("short", "Error: unexpected failure 0x8002000B.\n", kBadIndex, ""),
        shape("scalar", "Error: unexpected failure 0x80020005.\n", kTypeMismatch, ""),
        shape("noArray", "Error: unexpected failure 0x80020005.\n", kTypeMismatch, ""),
    }));
    // clang-format on
}

// "all" handles the listed applications in the list's order and stops at the first failure; a list that
// cannot be fetched looks the same as an empty one.
TEST(Application, AllHandlesEachListedApplicationInTurn) {
    const auto all = [](const char* name, const wchar_t* command, Scenario state, const char* output,
                        DWORD code = 0) {
        return AppRow(name, state, {command, L"ALL"}, output, code);
    };
    Scenario running = Ready().App(kAlpha, L"Alpha", 64).App(kBeta, L"Beta", 64).App(kGamma, L"Gamma", 64);
    // clang-format off
    EXPECT_ROWS((std::vector<AppRow>{
        all("remove none", L"remove", Ready(), "Unable to remove applications, as there are no applications to remove.\n"),
        all("stop none", L"stop", Ready(), "Unable to stop applications, as there are no applications to stop.\n"),
        all("list fails", L"remove", Three().Fault("GetApplicationList", kFail),
            "Unable to remove applications, as there are no applications to remove.\n"),
        all("remove three", L"remove", Three(),
            "Removing application [Alpha]... Success.\nRemoving application [Beta]... Success.\n"
            "Removing application [Gamma]... Success.\n"),
        all("stop three", L"stop", Three(),
            "Stopping application [Alpha]... Success.\nStopping application [Beta]... Success.\n"
            "Stopping application [Gamma]... Success.\n"),
        all("remove ends at the second failure", L"remove", Three().Fault("UnmountApplication", kNotFound, {.guid = kBeta}),
            "Removing application [Alpha]... Success.\nRemoving application [Beta]... Failed.\n", kNotFound),
        all("stop ends at the second failure", L"stop", running.Fault("StopApplication", kNotFound, {.guid = kBeta}),
            "Stopping application [Alpha]... Success.\nStopping application [Beta]... Failed.\n", kNotFound),
    }));
    // clang-format on
}

// getIdList exits with 0 for a printed list and an empty one and with the failure otherwise, which only
// the trace explains. Beneath it, as beneath every application command, the client is started: the
// answers "already done" pass silently, every other failure is traced and ends the command.
TEST(Application, IdListAndTheClientStartBeneathIt) {
    const auto list = [](const char* name, Scenario state, std::string output, DWORD code,
                         std::vector<std::wstring> trace) {
        return AppRow(name, state, {L"GETIDLIST"}, std::move(output), code).Trace(std::move(trace));
    };
    const auto client = [&](const char* name, Scenario state, const std::vector<std::string>& calls,
                            std::vector<std::wstring> trace, DWORD code = kFail) {
        return list(name, state, "", code, std::move(trace)).Calls(calls, {"IStreamingClient"});
    };
    const auto failed = [](std::string call) { return Life("IStreamingClient", {call}); };
    // Listed in the service's order, which is not the guids' order.
    const Scenario three = Ready().App(kGamma, L"Gamma", 1).App(kAlpha, L"Alpha", 64).App(kBeta, L"Beta", 16);
    const auto listFails = [&](const char* method, DWORD hr) { return Scenario(three).Fault(method, hr); };
    // clang-format off
    EXPECT_ROWS((std::vector<AppRow>{
        list("three", three, "\nAppIdList: \n1 - " + ToUtf8(kGamma) + "\n2 - " + kA + "\n3 - " + ToUtf8(kBeta) + "\n", 0, {}),
        list("list fails", listFails("GetApplicationList", kInvalidArgument), "", kInvalidArgument,
             {L"Failed to call COM API to get Application List [87].\n"}),
        list("object refused", listFails("IStreamingApplication.CreateInstance", kClassNotRegistered), "",
             kClassNotRegistered, {L"Failed to get Application List .\n"}),
        list("initialize fails", listFails("IStreamingApplication.Initialize", kFail), "", kFail, {}),
        AppRow("stopped client is started", Scenario().Client(0), {L"getIdList"}, "")
            .Calls(Join({Life("IStreamingClient", {"StartClient()", "InitApplications()"}, {.arguments = true}),
                         Life("IStreamingApplication", {"GetApplicationList(-1)"}, {.arguments = true})}), {}, true),
        client("running client answers already done", Ready(),
               Life("IStreamingClient", {"StartClient 0xA0044011", "InitApplications 0xA0044021"}), {}, 0),
        client("StartClient fails", Scenario().Fault("StartClient", kFail), failed("StartClient 0x80004005"),
               {L"Failed to Start Client COM. [16389]\n", kNoClientTrace}),
        client("InitApplications fails", Scenario().Fault("InitApplications", kNotFound),
               Life("IStreamingClient", {"StartClient", "InitApplications 0x80070490"}),
               {L"Failed to initialize Streaming Client COM. [1168]\n", kNoClientTrace}),
        client("failed Initialize is not undone", Scenario().Fault("IStreamingClient.Initialize", kAccessDenied),
               {"+IStreamingClient", "IStreamingClient.Initialize 0x80070005", "-IStreamingClient"},
               {L"Failed to Initialize Client COM [5].\n", kNoClientTrace}),
        client("client object refused", Scenario().Fault("IStreamingClient.CreateInstance", kClassNotRegistered),
               {"!IStreamingClient 0x80040154"}, {L"Failed to Create Client COM.\n", kNoClientTrace}),
    }));
    // clang-format on
}

// One command, every object it makes, each initialised with Quillet's process id and released before the
// next: the client start, the existence check, the name, and the state change with a client start of its
// own.
TEST(Application, EachOperationHasAnObjectOfItsOwn) {
    const std::string alpha = "(\"" + kA + "\"";
    const std::vector<std::string> client =
        Life("IStreamingClient", {"StartClient() 0xA0044011", "InitApplications() 0xA0044021"}, {.arguments = true});
    EXPECT_ROW(
        AppRow("start from added", WithAlpha(1), {L"start", kAlpha},
               "Starting application [Alpha]... Success.\n")
            .Calls(Join({client,
                         Life("IStreamingApplication", {"GetApplicationProperties" + alpha + ",1)"}, {.arguments = true}),
                         Life("IStreamingApplication", {"GetApplicationProperties" + alpha + ",2)"}, {.arguments = true}),
                         client,
                         Life("IStreamingApplication",
                              {"GetApplicationProperties" + alpha + ",1)", "LoadApplication" + alpha + ")",
                               "MountApplication" + alpha + ")", "StartApplication" + alpha + ")"},
                              {.arguments = true})}),
                   {}, true));
}

// add hands the token source over (flagged as a URL or not), prints the new application's name and guid,
// and asks whether it needs a reboot; only VARIANT_TRUE itself means one.
TEST(Application, AddPrintsTheNewApplication) {
    const TempFolder folder;
    const auto token = [&](const wchar_t* name, const wchar_t* guid, const char* reboot = "false") {
        return folder.File(name, R"({"name":"Alpha","guid":")" + ToUtf8(guid) + R"(","requiresReboot":)" +
                                     reboot + "}");
    };
    const std::wstring alpha = token(L"alpha.tok", kAlpha);
    const std::wstring reboot = token(L"reboot.tok", kAlpha, "true");
    const std::string added = "Adding application... Success.\nAppName: [Alpha]\nAppGuid: [" + kA + "]\n";
    const std::string rebootAdded =
        "Adding application... Success (Requires Reboot).\nAppName: [Alpha]\nAppGuid: [" + kA + "]\n";
    const auto add = [](const char* name, Scenario state, std::vector<std::wstring> words, std::string output,
                        DWORD code = 0) {
        words.insert(words.begin(), L"add");
        return AppRow(name, state, std::move(words), std::move(output), code);
    };
    // The add call as the journal shows it: its source and URL flag.
    const auto adding = [](const std::wstring& source, int isUrl, const std::string& hr = "") {
        return "AddApplication(" + nlohmann::json(ToUtf8(source)).dump() + "," + std::to_string(isUrl) + ")" +
               hr;
    };
    LoopbackHttpServer server(200, R"({"name":"Alpha","guid":")" + kA + "\"}");
    const std::wstring url = server.Url(L"/no/such/file.txt");
    const std::wstring secure = L"https://127.0.0.1:1/t.tok";
    const std::wstring bak = token(L"alpha.tok.bak", kAlpha);
    // Longer than MAX_PATH, which the manifests lift; made through \\?\, since the test program has none.
    const std::wstring deep = folder.Path() + L"\\" + std::wstring(240, L'd'), longPath = deep + L"\\a.tok";
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    CopyFileW(alpha.c_str(), (L"\\\\?\\" + longPath).c_str(), FALSE);
    // clang-format off
    EXPECT_ROWS((std::vector<AppRow>{
        add("added", Scenario().Client(0), {alpha}, added)
            .Calls(Life("IStreamingApplication", {adding(alpha, 0), "GetApplicationProperties(\"" + kA + "\",536870912)"},
                        {.arguments = true}), {"IStreamingApplication"}, true),
        add("requires reboot", Ready(), {reboot}, rebootAdded),
        add("path longer than MAX_PATH", Ready(), {longPath}, added),
        add("reboot flag other than true", Ready().Reply("GetApplicationProperties", "wrongTypes"), {reboot}, added),
        // The application is added and reported, but the command fails with the query's code.
        add("reboot query fails", Ready().Fault("GetApplicationProperties", kNotFound), {reboot}, added, kNotFound),
        add("refused", WithAlpha(1), {alpha}, "Adding application... Failed\n", kAlreadyExists)
            .Calls(Life("IStreamingApplication", {"AddApplication 0x800700B7"}), {"IStreamingApplication"}),
        add("object refused", Ready().Fault("IStreamingApplication.CreateInstance", kClassNotRegistered), {alpha},
            "Error calling CoCreateInstance().\n", kClassNotRegistered)
            .Calls({"!IStreamingApplication 0x80040154"}, {"IStreamingApplication"}),
        add("initialize fails", Ready().Fault("IStreamingApplication.Initialize", kFail), {alpha},
            "Error initializing IStreamingApplication object.\n", kFail)
            .Calls({"+IStreamingApplication", "IStreamingApplication.Initialize 0x80004005", "-IStreamingApplication"},
                   {"IStreamingApplication"}),
        // ".tok" anywhere in the path will do; a second word is ignored.
        add(".tok inside the name", Ready(), {bak, L"extra"}, added).Calls({"IStreamingApplication." + adding(bak, 0)}, {"AddApplication"}, true),
        // A URL goes to the service as it is, and no file is looked for.
        add("http URL", Ready(), {url}, added).Calls({"IStreamingApplication." + adding(url, -1)}, {"AddApplication"}, true),
        add("https URL", Ready(), {secure}, "Adding application... Failed\n", 0x80072EFD)
            .Calls({"IStreamingApplication." + adding(secure, -1, " 0x80072EFD")}, {"AddApplication"}, true),
    }));
    // clang-format on
    EXPECT_EQ(server.LastRequestLine(), "GET /no/such/file.txt HTTP/1.1");
    DeleteFileW((L"\\\\?\\" + longPath).c_str());
    RemoveDirectoryW((L"\\\\?\\" + deep).c_str());

    // The token check opens the file without locking writers out, and is refused by a holder who locks
    // everyone out.
    const auto holding = [&](DWORD share, const AppRow& row) {
        const UniqueFile held(
            CreateFileW(alpha.c_str(), GENERIC_WRITE, share, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        EXPECT_ROW(row);
    };
    holding(FILE_SHARE_READ | FILE_SHARE_WRITE, add("written to meanwhile", Ready(), {alpha}, added));
    holding(0, add("locked", {}, {alpha}, kTokenFile, kInvalidArgument));
}

} // namespace
} // namespace quillet::testing
