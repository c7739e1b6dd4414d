#include "Runner.h"
#include "win32/Stopwatch.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <string>

namespace quillet::testing {
namespace {

RunOptions ProbeOptions() {
    RunOptions options;
    options.program = BinDirectory() + L"\\quillet_probe.exe";
    options.captureTrace = false;
    return options;
}

TEST(QuilletRunner, KeepsStandardOutputAndErrorApartByteForByte) {
    const RunResult result =
        testing::Run({L"exit", L"0x80004005", L"out\r\nline\n", L"err \u00e9"}, ProbeOptions());
    EXPECT_EQ(result.exitCode, 0x80004005u);
    EXPECT_EQ(result.output, "out\r\nline\n");
    EXPECT_EQ(result.errors, "err \xC3\xA9");
    EXPECT_NE(result.processId, 0u);
    EXPECT_GT(result.elapsedMs, 0.0);
}

// A process that the child leaves behind may hold the child's standard handles for a long time (a server
// that a command started); the run still ends with the child.
TEST(QuilletRunner, DoesNotWaitForProcessesTheChildLeftBehind) {
    const Stopwatch started;
    const RunResult result = testing::Run({L"spawn", L"3000"}, ProbeOptions());
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_LT(started.ElapsedMs(), 1500.0);
}

TEST(QuilletRunner, KillsAChildThatRunsTooLongAndFailsTheTest) {
    static RunResult result;
    static RunOptions options;
    options = ProbeOptions();
    options.timeoutMs = 500;
    EXPECT_NONFATAL_FAILURE(result = testing::Run({L"sleep", L"60000"}, options), "Timed out after 500 ms");
    EXPECT_EQ(result.exitCode, static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_TIMEOUT)));
    EXPECT_LT(result.elapsedMs, 10000.0);
}

TEST(QuilletRunner, FailsTheTestForAProgramThatCannotStart) {
    static RunOptions options;
    options = ProbeOptions();
    options.program = BinDirectory() + L"\\no-such-program.exe";
    EXPECT_NONFATAL_FAILURE(testing::Run({}, options), "Cannot start");
}

TEST(QuilletRunner, QuotesArgumentsSoThatTheChildSeesThemExactly) {
    const std::wstring arguments[] = {L"", L"a b", L"\"", L"\\\\x\\\"", L"end\\"};
    RunResult result = testing::Run(
        {L"args", arguments[0], arguments[1], arguments[2], arguments[3], arguments[4]}, ProbeOptions());
    const std::string expectedArguments = "<>\r\n<a b>\r\n<\">\r\n<\\\\x\\\">\r\n<end\\>\r\n";
    ASSERT_GE(result.output.size(), expectedArguments.size());
    EXPECT_EQ(result.output.substr(result.output.size() - expectedArguments.size()), expectedArguments);
}

TEST(QuilletRunner, KnowsATimeStampByItsShape) {
    EXPECT_TRUE(HasTracePrefix(L"[2024-01-05 09:03:07.042] text\n"));
    for (const wchar_t* line :
         {L"[2024-01-05 09:03:07.042]text\n", L"no stamp\n", L"[2024-01-05 9:03:07.042] x\n"}) {
        EXPECT_FALSE(HasTracePrefix(line));
    }
    EXPECT_EQ(Crlf("a\nb\r\n"), "a\r\nb\r\r\n");
}

} // namespace
} // namespace quillet::testing
