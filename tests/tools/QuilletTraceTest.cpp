#include "Runner.h"
#include "dbwin/DbwinMonitor.h"
#include "win32/UniqueHandle.h"

#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

namespace quillet::testing {
namespace {

RunOptions TraceToolOptions() {
    RunOptions options;
    options.program = BinDirectory() + L"\\QuilletTrace.exe";
    options.captureTrace = false;
    options.timeoutMs = 30000;
    return options;
}

// Runs the probe's trace-lines; its lines go to whatever monitor owns the channel.
RunResult ProbeLines(int count) {
    RunOptions options;
    options.program = BinDirectory() + L"\\quillet_probe.exe";
    options.captureTrace = false;
    return testing::Run({L"trace-lines", std::to_wstring(count)}, options);
}

// Waits until some monitor has set up the channel.
bool ChannelIsUp() {
    for (int i = 0; i < 1000; ++i) {
        if (UniqueHandle(OpenFileMappingW(FILE_MAP_READ, FALSE, L"DBWIN_BUFFER"))) {
            return true;
        }
        Sleep(10);
    }
    return false;
}

// QuilletTrace running in the background until it has printed its count of lines.
std::future<RunResult> StartTraceTool(std::vector<std::wstring> arguments) {
    return std::async(std::launch::async,
                      [arguments] { return testing::Run(arguments, TraceToolOptions()); });
}

std::string Line(DWORD processId, const std::string& text) {
    return "[" + std::to_string(processId) + "] " + text + "\r\n";
}

TEST(QuilletTrace, ShowsOnlyTheProcessesOfTheGivenName) {
    auto tool = StartTraceTool({L"-n", L"QUILLET_PROBE", L"-c", L"3"});
    ASSERT_TRUE(ChannelIsUp());
    OutputDebugStringA("not the probe\n");
    const RunResult probe = ProbeLines(3);
    const RunResult shown = tool.get();

    EXPECT_EQ(shown.exitCode, 0u);
    EXPECT_EQ(shown.errors, "Capturing debug output; press Ctrl+C to stop.\r\n");
    ASSERT_EQ(shown.output.size(), 3 * Line(probe.processId, "[yyyy-mm-dd hh:mm:ss.mmm] line 0").size());
    for (int i = 0; i < 3; ++i) {
        const std::string expectedStart = "[" + std::to_string(probe.processId) + "] [";
        const std::string expectedEnd = "] line " + std::to_string(i) + "\r\n";
        const size_t lineLength = shown.output.size() / 3;
        const std::string line = shown.output.substr(i * lineLength, lineLength);
        EXPECT_EQ(line.substr(0, expectedStart.size()), expectedStart) << line;
        EXPECT_EQ(line.substr(line.size() - expectedEnd.size()), expectedEnd) << line;
    }
}

TEST(QuilletTrace, ShowsOnlyTheGivenProcessIdAndEndsEachLine) {
    auto tool = StartTraceTool({L"-p", std::to_wstring(GetCurrentProcessId()), L"-c", L"2"});
    ASSERT_TRUE(ChannelIsUp());
    OutputDebugStringA("one");
    ProbeLines(2);
    OutputDebugStringA("two\n");
    const RunResult shown = tool.get();
    EXPECT_EQ(shown.exitCode, 0u);
    EXPECT_EQ(shown.output, Line(GetCurrentProcessId(), "one") + Line(GetCurrentProcessId(), "two"));
}

TEST(QuilletTrace, RefusesToRunBesideAnotherMonitor) {
    dbwin::DbwinMonitor monitor;
    ASSERT_HRESULT_SUCCEEDED(monitor.Start(nullptr));
    const RunResult shown = testing::Run({L"-c", L"1"}, TraceToolOptions());
    EXPECT_EQ(shown.exitCode, static_cast<DWORD>(dbwin::kChannelBusy));
    EXPECT_EQ(shown.output, "");
    EXPECT_EQ(shown.errors,
              "QuilletTrace: Another debug-output monitor is already running in this session.\r\n");
}

TEST(QuilletTrace, RejectsUnknownOptionsAndMissingValues) {
    const struct {
        std::vector<std::wstring> arguments;
        const char* message;
    } cases[] = {
        {{L"-x"}, "QuilletTrace: invalid option \"-x\". Use -h for help.\r\n"},
        {{L"-p", L"twelve"}, "QuilletTrace: invalid option \"twelve\". Use -h for help.\r\n"},
        {{L"-n"}, "QuilletTrace: option -n needs a value. Use -h for help.\r\n"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.message);
        const RunResult shown = testing::Run(test.arguments, TraceToolOptions());
        EXPECT_EQ(shown.exitCode, static_cast<DWORD>(E_INVALIDARG));
        EXPECT_EQ(shown.errors, test.message);
    }
}

} // namespace
} // namespace quillet::testing
