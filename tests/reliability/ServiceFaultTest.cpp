// The service dying inside a call, and refusing to create its objects, under every command family: what
// Quillet prints and returns, that it ends promptly, and that nothing is left behind.
#include "Emulator.h"
#include "Files.h"
#include "MatrixReport.h"
#include "RunChecks.h"
#include "Codes.h"

#include "win32/UniqueHandle.h"

#include <gtest/gtest.h>

namespace quillet::testing::reliability {
namespace {

constexpr DWORD kAccessDenied = 0x80070005;
// A run that takes longer than this has waited for something that will not come.
constexpr double kPromptMs = 10000;
constexpr DWORD kRunTimeoutMs = 30000;

constexpr char kCannotStartClient[] =
    "Error: cannot start IStreamingClient to execute application command.\n";
constexpr char kNotAdministrator[] = "Error: user is not an administrator, operation cannot be executed.\n";
constexpr char kCreateFailed[] = "Error: failed to call CoCreateInstance().\n";

struct FaultRow {
    std::string fault; // as the report shows it
    Scenario scenario;
    std::vector<std::wstring> args;
    std::string output;
    DWORD exitCode;
    std::wstring traced = {}; // a trace message that the run must have written
};

class FaultMatrix : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(emulator::EnsureResident(), S_OK); }

    // Runs one row against a fresh journal and checks what every row shares.
    RunResult Run(const FaultRow& row) {
        emulator::ClearJournal();
        row.scenario.Write();
        RunOptions options;
        options.timeoutMs = kRunTimeoutMs;
        const RunResult result = testing::Run(row.args, options);
        EXPECT_EQ(result.output, ConsoleBytes(Widen(row.output)));
        EXPECT_EQ(result.exitCode, row.exitCode) << std::hex << result.exitCode;
        EXPECT_LT(result.elapsedMs, kPromptMs);
        if (!row.traced.empty()) {
            const std::vector<std::wstring> messages = result.trace;
            EXPECT_NE(std::find(messages.begin(), messages.end(), row.traced), messages.end())
                << ToUtf8(row.traced);
        }
        EXPECT_EQ(ProcessCount(L"Quillet.exe", GetCurrentProcessId()), 0);
        return result;
    }

    static std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

    AlphaToken m_alpha;
};

// The one call that the crash fault ended, from the journal.
std::string CrashedCall() {
    std::string crashed;
    for (const nlohmann::ordered_json& line : emulator::ReadJournal()) {
        if (line.value("fault", "") == "crash") {
            EXPECT_EQ(crashed, "") << "more than one crash";
            // A creation that crashed is journalled as an event, without a method.
            crashed = line.at("interface").get<std::string>() + "." + line.value("method", "CreateInstance");
        }
    }
    return crashed;
}

Scenario Crash(std::string_view method, int skip = 0) {
    // The code is the dying emulator's exit code; the caller never sees it.
    return Scenario().Client(4).Admin(true).Crash(method, skip);
}

std::wstring Traced(const std::string& format, DWORD hr) {
    std::wstring text(format.begin(), format.end());
    const size_t at = text.find(L"[%d]");
    return at == std::wstring::npos ? text : text.replace(at, 4, L"[" + std::to_wstring(hr & 0xFFFF) + L"]");
}

TEST_F(FaultMatrix, ServiceDiesInsideACall) {
    const std::wstring alpha = kAlpha;
    const std::string a = ToUtf8(kAlpha);
    const std::vector<std::wstring> start = {L"application", L"start", alpha};
    const std::string added = "AppName: [Alpha]\nAppGuid: [" + a + "]\n";
    const std::vector<FaultRow> rows = {
        // The application commands: client start, existence check, name, ladder, list, add.
        {"crash in `StartClient`", Crash("StartClient").App(kAlpha, L"Alpha", 1), start, kCannotStartClient,
         kFail, Traced("Failed to Start Client COM. [%d]\n", kCallFailed)},
        {"crash in `GetApplicationProperties` (status)",
         Crash("GetApplicationProperties").App(kAlpha, L"Alpha", 1), start,
         "Error: application does not exist.\n", kFail},
        // The name query dies; the next activation starts the service again and the command goes on.
        {"crash in `GetApplicationProperties` (name)",
         Crash("GetApplicationProperties", 1).App(kAlpha, L"Alpha", 1), start,
         "Starting application [" + a + "]... Success.\n", 0},
        {"crash in `LoadApplication`", Crash("LoadApplication").App(kAlpha, L"Alpha", 1), start,
         "Starting application [Alpha]... Failed.\n", kCallFailed,
         Traced("Failed to load Application <" + a + "> [%d].\n", kCallFailed)},
        {"crash in `StopApplication`",
         Crash("StopApplication").App(kAlpha, L"Alpha", 64),
         {L"application", L"stop", alpha},
         "Stopping application [Alpha]... Failed.\n",
         kCallFailed,
         Traced("Failed to stop Application <" + a + "> [%d].\n", kCallFailed)},
        {"crash in `StopApplication`",
         Crash("StopApplication").App(kAlpha, L"Alpha", 64).App(kBeta, L"Beta", 64),
         {L"application", L"stop", L"all"},
         "Stopping application [Alpha]... Failed.\n",
         kCallFailed},
        {"crash in `RemoveApplication`",
         Crash("RemoveApplication").App(kAlpha, L"Alpha", 1),
         {L"application", L"remove", alpha},
         "Removing application [Alpha]... Failed.\n",
         kCallFailed,
         Traced("Failed to remove Application <" + a + "> [%d].\n", kCallFailed)},
        {"crash in `RunApplicationCommand`",
         Crash("RunApplicationCommand").App(kAlpha, L"Alpha", 16),
         {L"application", L"run-cmd", alpha, L"tool.exe"},
         "Running command for application [Alpha]... Failed.\n",
         kCallFailed,
         Traced("Failed to run command on Application <" + a +
                    "> with exe path <tool.exe>, working dir <>, parameters <> [%d].\n",
                kCallFailed)},
        {"crash in `GetApplicationList`",
         Crash("GetApplicationList").App(kAlpha, L"Alpha", 1),
         {L"application", L"getIdList"},
         "",
         kCallFailed,
         Traced("Failed to call COM API to get Application List [%d].\n", kCallFailed)},
        // remove all cannot tell a failed list from an empty one: it says so and exits with 0.
        {"crash in `GetApplicationList`",
         Crash("GetApplicationList").App(kAlpha, L"Alpha", 1),
         {L"application", L"remove", L"all"},
         "Unable to remove applications, as there are no applications to remove.\n",
         0},
        {"crash in `AddApplication`",
         Crash("AddApplication"),
         {L"application", L"add", m_alpha.Path()},
         "Adding application... Failed\n",
         kCallFailed},
        {"crash in `GetApplicationProperties` (reboot)",
         Crash("GetApplicationProperties"),
         {L"application", L"add", m_alpha.Path()},
         "Adding application... Success.\n" + added,
         kCallFailed},
        // The cache commands.
        {"crash in `IStreamingCache.CreateInstance`",
         Crash("IStreamingCache.CreateInstance"),
         {L"cache", L"size"},
         kCreateFailed,
         kCallFailed},
        {"crash in `IStreamingCache.Initialize`",
         Crash("IStreamingCache.Initialize"),
         {L"cache", L"size"},
         "Error: failed to intialize IStreamingCache object.\n",
         kCallFailed},
        {"crash in `GetCacheLocation`",
         Crash("GetCacheLocation"),
         {L"cache", L"size"},
         "Error: call to IStreamingCache::GetCacheLocation() failed.\n",
         kCallFailed},
        {"crash in `GetCacheLocation`",
         Crash("GetCacheLocation"),
         {L"cache", L"location"},
         "Error: call to IStreamingCache::GetCacheLocation() failed.\n",
         kCallFailed},
        {"crash in `IsUserAdministrator`",
         Crash("IsUserAdministrator"),
         {L"cache", L"size", L"4096"},
         kNotAdministrator,
         kFail},
        {"crash in `SetCacheSettings`",
         Crash("SetCacheSettings"),
         {L"cache", L"size", L"4096"},
         "Changing cache size... Failed.\n",
         kCallFailed},
        {"crash in `SetCacheSettings`",
         Crash("SetCacheSettings"),
         {L"cache", L"location", L"C:\\windows"},
         "Changing cache location... Failed.\n",
         kCallFailed},
        {"crash in `ClearCache`",
         Crash("ClearCache"),
         {L"cache", L"clear"},
         "Invalid operation: Cannot clear cache while working offline or having running apps.\n",
         kCallFailed},
        {"crash in `AddMultiSourceFile`",
         Crash("AddMultiSourceFile").App(kAlpha, L"Alpha", 1),
         {L"cache", L"multisource", L"add", alpha + L"|C:\\src.stc| |TRUE"},
         "Adding multisource file...Failed.\n",
         kCallFailed},
        {"crash in `DeleteMultiSourceFile`",
         Crash("DeleteMultiSourceFile").App(kAlpha, L"Alpha", 1),
         {L"cache", L"multisource", L"delete", alpha},
         "Deleting multisource file...Failed.\n",
         kCallFailed},
        {"crash in `GetMultiSourceFileInfo`",
         Crash("GetMultiSourceFileInfo").App(kAlpha, L"Alpha", 1),
         {L"cache", L"multisource", L"getInfo", alpha},
         "Getting multisource file info...Failed.\n",
         kCallFailed},
        {"crash in `GetMultiSourceFileIdList`",
         Crash("GetMultiSourceFileIdList"),
         {L"cache", L"multisource", L"getIdList"},
         "Getting multisource file id list...Failed.\n",
         kCallFailed},
        // The client commands print nothing and return their fixed code.
        {"crash in `StartClient`",
         Crash("StartClient").Client(0),
         {L"client", L"start"},
         "",
         kFail,
         Traced("Failed to Start Client COM. [%d]\n", kCallFailed)},
        {"crash in `InitApplications`",
         Crash("InitApplications").Client(2),
         {L"client", L"start"},
         "",
         kFail,
         Traced("Failed to initialize Streaming Client COM. [%d]\n", kCallFailed)},
        {"crash in `UninitApplications`",
         Crash("UninitApplications").Client(4),
         {L"client", L"stop"},
         "",
         kFail,
         Traced("Failed to Uninitialize Streaming Client COM. [%d]\n", kCallFailed)},
        {"crash in `StopClient`",
         Crash("StopClient").Client(2),
         {L"client", L"stop"},
         "",
         kFail,
         Traced("Failed to Uninitialize Client COM. [%d]\n", kCallFailed)},
    };
    MatrixSection report("crash");
    report.Abbreviate(m_alpha.Path(), L"<token>");
    for (const FaultRow& row : rows) {
        SCOPED_TRACE(row.fault + " / " + ToUtf8(row.args[0] + L" " + row.args[1]));
        const RunResult result = Run(row);
        const std::string method = row.fault.substr(row.fault.find('`') + 1);
        const std::string crashed = CrashedCall();
        EXPECT_NE(crashed, "");
        EXPECT_TRUE(crashed.ends_with(method.substr(0, method.find('`')))) << crashed;
        report.Add(row.fault, row.args, result);
        ASSERT_EQ(emulator::RecoverAfterCrash(), S_OK);
        EXPECT_EQ(EmulatorAnswers(), S_OK);
        // The dead instance is gone; the one that answers is the only one.
        int emulators = ProcessCount(L"PlenumEmulator.exe");
        for (int wait = 0; wait < 50 && emulators != 1; ++wait) {
            Sleep(100);
            emulators = ProcessCount(L"PlenumEmulator.exe");
        }
        EXPECT_EQ(emulators, 1);
    }
    report.Write();
}

Scenario Refuse(std::string_view className) {
    return Scenario()
        .Client(4)
        .Admin(true)
        .App(kAlpha, L"Alpha", 16)
        .Fault(std::string(className) + ".CreateInstance", kAccessDenied, 0, -1);
}

TEST_F(FaultMatrix, ServiceRefusesToCreateAnObject) {
    const std::wstring alpha = kAlpha;
    const std::vector<std::wstring> start = {L"application", L"start", alpha};
    const std::vector<FaultRow> rows = {
        {"`IStreamingClient` refused", Refuse("IStreamingClient"), start, kCannotStartClient, kFail,
         L"Failed to Create Client COM.\n"},
        {"`IStreamingClient` refused",
         Refuse("IStreamingClient"),
         {L"application", L"stop", alpha},
         "Error: cannot start IStreamingClient execute application command.\n",
         kFail},
        {"`IStreamingClient` refused",
         Refuse("IStreamingClient"),
         {L"application", L"add", m_alpha.Path()},
         kCannotStartClient,
         kFail},
        {"`IStreamingClient` refused",
         Refuse("IStreamingClient"),
         {L"application", L"getIdList"},
         "",
         kFail,
         L"Cannot start Client to update Application status.\n"},
        {"`IStreamingClient` refused", Refuse("IStreamingClient"), {L"cache", L"size"}, "2048\n", 0},
        {"`IStreamingClient` refused",
         Refuse("IStreamingClient"),
         {L"cache", L"size", L"4096"},
         kNotAdministrator,
         kFail},
        {"`IStreamingClient` refused",
         Refuse("IStreamingClient"),
         {L"cache", L"clear"},
         "Error: user is not an administrator. Operation cannot be executed.\n",
         kFail},
        {"`IStreamingClient` refused", Refuse("IStreamingClient"), {L"client", L"start"}, "", kFail},
        {"`IStreamingClient` refused", Refuse("IStreamingClient"), {L"client", L"stop"}, "", kFail},
        // The existence check cannot tell a refused object from an unknown application.
        {"`IStreamingApplication` refused", Refuse("IStreamingApplication"), start,
         "Error: application does not exist.\n", kFail},
        {"`IStreamingApplication` refused",
         Refuse("IStreamingApplication"),
         {L"application", L"add", m_alpha.Path()},
         "Error calling CoCreateInstance().\n",
         kAccessDenied},
        {"`IStreamingApplication` refused",
         Refuse("IStreamingApplication"),
         {L"application", L"getIdList"},
         "",
         kAccessDenied,
         L"Failed to get Application List .\n"},
        {"`IStreamingApplication` refused",
         Refuse("IStreamingApplication"),
         {L"application", L"remove", L"all"},
         "Unable to remove applications, as there are no applications to remove.\n",
         0},
        {"`IStreamingCache` refused",
         Refuse("IStreamingCache"),
         {L"cache", L"size"},
         kCreateFailed,
         kAccessDenied},
        {"`IStreamingCache` refused",
         Refuse("IStreamingCache"),
         {L"cache", L"location", L"C:\\windows"},
         kCreateFailed,
         kAccessDenied},
        {"`IStreamingCache` refused",
         Refuse("IStreamingCache"),
         {L"cache", L"clear"},
         kCreateFailed,
         kAccessDenied},
        {"`IStreamingCache` refused",
         Refuse("IStreamingCache"),
         {L"cache", L"multisource", L"add", alpha + L"|C:\\src.stc| |TRUE"},
         kCreateFailed,
         kAccessDenied},
        {"`IStreamingCache` refused",
         Refuse("IStreamingCache"),
         {L"cache", L"multisource", L"delete", alpha},
         kCreateFailed,
         kAccessDenied},
        {"`IStreamingCache` refused",
         Refuse("IStreamingCache"),
         {L"cache", L"multisource", L"getInfo", alpha},
         kCreateFailed,
         kAccessDenied},
        {"`IStreamingCache` refused",
         Refuse("IStreamingCache"),
         {L"cache", L"multisource", L"getIdList"},
         kCreateFailed,
         kAccessDenied},
    };
    MatrixSection report("create");
    report.Abbreviate(m_alpha.Path(), L"<token>");
    for (const FaultRow& row : rows) {
        SCOPED_TRACE(row.fault + " / " + ToUtf8(row.args[0] + L" " + row.args[1]));
        const RunResult result = Run(row);
        report.Add(row.fault, row.args, result);
    }
    report.Write();
}

// Runs Quillet with its standard output on a pipe whose reading end is closed: every write fails.
RunResult RunIntoClosedPipe(const std::vector<std::wstring>& args) {
    RunResult result;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, &inheritable, 0));
    CloseHandle(readEnd);
    const UniqueHandle output(writeEnd);
    std::wstring commandLine = QuoteArgument(BinDirectory() + L"\\Quillet.exe");
    for (const std::wstring& arg : args) {
        commandLine += L" " + QuoteArgument(arg);
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output.get();
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        ADD_FAILURE() << "cannot start Quillet.exe: " << GetLastError();
        return result;
    }
    const UniqueHandle child(process.hProcess);
    const UniqueHandle thread(process.hThread);
    EXPECT_EQ(WaitForSingleObject(child.get(), kRunTimeoutMs), WAIT_OBJECT_0);
    GetExitCodeProcess(child.get(), &result.exitCode);
    return result;
}

// Text from the service prints without its control characters and without look-alikes, so that it can
// pass neither for a line of Quillet's own nor for another guid; output that cannot be written fails a
// command that would have succeeded.
TEST_F(FaultMatrix, ServiceTextCannotForgeOutputAndUnwrittenOutputFails) {
    const std::wstring alpha = kAlpha;
    const std::wstring wideGuid =
        L"{\uFF21\uFF21\uFF21\uFF21\uFF21\uFF21\uFF21\uFF21-0000-4000-8000-0000000000A1}";
    const std::wstring forged = TempPath(L"forged.tok");
    WriteBytes(forged, R"({"name":"Mallory\r\nAppGuid: [{FAKE}]","guid":")" + ToUtf8(kAlpha) + R"("})");
    // A write to the closed pipe fails with the pipe's own error.
    constexpr DWORD kClosedPipe = 0x800700E8;
    struct Row {
        std::string fault;
        Scenario scenario;
        std::vector<std::wstring> args;
        std::wstring output;
        DWORD exitCode;
        bool closedOutput = false;
    };
    const std::vector<Row> rows = {
        {"name holds CR LF and a line of its own",
         Scenario().Client(4),
         {L"application", L"add", forged},
         L"Adding application... Success.\nAppName: [Mallory\uFFFD\uFFFDAppGuid: [{FAKE}]]\nAppGuid: [" +
             alpha + L"]\n",
         0},
        {"name holds an escape sequence and a NUL",
         Scenario().Client(4).App(kAlpha, std::wstring(L"\x1b[2J\0hidden", 11), 16),
         {L"application", L"start", alpha},
         L"Starting application [\uFFFD[2J\uFFFDhidden]... Success.\n",
         0},
        {"location holds a line feed",
         Scenario().Client(4).Cache(L"C:\\Cache\nC:\\Other", 2048),
         {L"cache", L"location"},
         L"C:\\Cache\uFFFDC:\\Other\n",
         0},
        {"guid in fullwidth letters",
         Scenario().Client(4).App(wideGuid, L"Wide", 1),
         {L"application", L"getIdList"},
         L"\nAppIdList: \n1 - " + wideGuid + L"\n",
         0},
        {"standard output is a closed pipe",
         Scenario().Client(4).App(kAlpha, L"Alpha", 1),
         {L"application", L"getIdList"},
         L"",
         kClosedPipe,
         true},
        {"standard output is a closed pipe", Scenario(), {L"-h"}, L"", kClosedPipe, true},
        // A command that failed keeps its own code.
        {"standard output is a closed pipe, the application does not exist",
         Scenario().Client(4),
         {L"application", L"remove", alpha},
         L"",
         kFail,
         true},
    };
    MatrixSection report("output");
    report.Abbreviate(forged, L"<token>");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault + " / " + ToUtf8(row.args[0]));
        row.scenario.Write();
        const RunResult result = row.closedOutput ? RunIntoClosedPipe(row.args) : testing::Run(row.args);
        EXPECT_EQ(result.output, ConsoleBytes(row.output));
        EXPECT_EQ(result.exitCode, row.exitCode) << std::hex << result.exitCode;
        report.Add(row.fault, row.args, result);
    }
    DeleteFileW(forged.c_str());
    report.Write();
}

} // namespace
} // namespace quillet::testing::reliability
