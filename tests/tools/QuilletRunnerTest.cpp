#include "QuilletRunner.h"
#include "win32/Stopwatch.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <string>

namespace quillet::testing {
namespace {

RunOptions ProbeOptions() {
    RunOptions options;
    options.program = BinDirectory() + L"\\quillet_cli_probe.exe";
    options.captureTrace = false;
    return options;
}

TEST(QuilletRunner, KeepsStandardOutputAndErrorApartByteForByte) {
    const RunResult result =
        RunQuillet({L"exit", L"0x80004005", L"out\r\nline\n", L"err \u00e9"}, ProbeOptions());
    EXPECT_EQ(result.exitCode, 0x80004005u);
    EXPECT_EQ(result.output, "out\r\nline\n");
    EXPECT_EQ(result.errors, "err \xC3\xA9");
    EXPECT_NE(result.processId, 0u);
    EXPECT_GT(result.elapsedMs, 0.0);
}

TEST(QuilletRunner, StartsTheChildInTheGivenWorkingDirectory) {
    RunOptions options = ProbeOptions();
    options.workingDirectory = BinDirectory();
    const RunResult result = RunQuillet({L"cwd"}, options);
    EXPECT_EQ(CompareStringOrdinal(std::wstring(result.output.begin(), result.output.end()).c_str(), -1,
                                   BinDirectory().c_str(), -1, TRUE),
              CSTR_EQUAL)
        << result.output;
}

// A process that the child leaves behind may hold the child's output pipe for a long time (a server that
// a command started); the run still ends with the child.
TEST(QuilletRunner, DoesNotWaitForProcessesTheChildLeftBehind) {
    const Stopwatch started;
    const RunResult result = RunQuillet({L"spawn", L"3000"}, ProbeOptions());
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_LT(started.ElapsedMs(), 1500.0);
}

TEST(QuilletRunner, KillsAChildThatRunsTooLongAndFailsTheTest) {
    static RunResult result;
    static RunOptions options;
    options = ProbeOptions();
    options.timeoutMs = 500;
    EXPECT_NONFATAL_FAILURE(result = RunQuillet({L"sleep", L"60000"}, options), "Timed out after 500 ms");
    EXPECT_EQ(result.exitCode, static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_TIMEOUT)));
    EXPECT_LT(result.elapsedMs, 10000.0);
}

TEST(QuilletRunner, FailsTheTestForAProgramThatCannotStart) {
    static RunOptions options;
    options = ProbeOptions();
    options.program = BinDirectory() + L"\\no-such-program.exe";
    EXPECT_NONFATAL_FAILURE(RunQuillet({}, options), "Cannot start");
}

// On Windows the child then owns its console window. Wine without a display starts it with no usable
// console at all (no code page, no window): a command that looks for a console of its own finds none.
TEST(QuilletRunner, GivesTheChildAConsoleOfItsOwnOnRequest) {
    RunOptions options = ProbeOptions();
    options.newConsole = true;
    const RunResult result = RunQuillet({L"console"}, options);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.exitCode, RunningUnderWine() ? 0u : 1u)
        << "0: no console, 1: own window, 2: window of another process, 3: console without a window";
}

TEST(QuilletRunner, QuotesArgumentsSoThatTheChildSeesThemExactly) {
    const std::wstring arguments[] = {L"", L"a b", L"\"", L"\\\\x\\\"", L"end\\"};
    RunResult result = RunQuillet(
        {L"args", arguments[0], arguments[1], arguments[2], arguments[3], arguments[4]}, ProbeOptions());
    const std::string expectedArguments = "<>\n<a b>\n<\">\n<\\\\x\\\">\n<end\\>\n";
    ASSERT_GE(result.output.size(), expectedArguments.size());
    EXPECT_EQ(result.output.substr(result.output.size() - expectedArguments.size()), expectedArguments);
}

TEST(QuilletRunner, StripsOnlyATimeStampFromTraceMessages) {
    RunResult result;
    result.trace = {L"[2024-01-05 09:03:07.042] text\n", L"[2024-01-05 09:03:07.042]text\n", L"no stamp\n",
                    L"[2024-01-05 9:03:07.042] x\n"};
    EXPECT_EQ(result.TraceMessages(),
              (std::vector<std::wstring>{L"text\n", L"[2024-01-05 09:03:07.042]text\n", L"no stamp\n",
                                         L"[2024-01-05 9:03:07.042] x\n"}));
    EXPECT_EQ(Crlf("a\nb\r\n"), "a\r\nb\r\r\n");
}

} // namespace
} // namespace quillet::testing
