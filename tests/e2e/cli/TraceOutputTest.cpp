#include "QuilletRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillet::testing {
namespace {

// A trace line holds 1299 characters at most, time stamp included.
constexpr size_t kLongestLine = 1299;
constexpr size_t kLongestMessage = kLongestLine - kTracePrefixLength;

RunOptions ProbeOptions() {
    RunOptions options;
    options.program = BinDirectory() + L"\\quillet_cli_probe.exe";
    return options;
}

// One TracePrint call in the probe: the format and its arguments as s:<text>, d:<int> or u:<unsigned>.
RunResult Trace(const std::wstring& format, std::vector<std::wstring> arguments = {}) {
    arguments.insert(arguments.begin(), {L"trace", format});
    return RunQuillet(arguments, ProbeOptions());
}

struct TraceCase {
    const char* name;
    std::wstring format;
    std::vector<std::wstring> arguments;
    std::vector<std::wstring> expectedMessages;
};

class TraceLine : public ::testing::TestWithParam<TraceCase> {};

TEST_P(TraceLine, ArrivesAsOneStampedMessage) {
    const TraceCase& test = GetParam();
    const RunResult result = Trace(test.format, test.arguments);
    ASSERT_EQ(result.exitCode, 0u) << "probe usage";
    EXPECT_EQ(result.TraceMessages(), test.expectedMessages);
    for (const auto& line : result.trace) {
        EXPECT_TRUE(HasTracePrefix(line));
        EXPECT_LE(line.size(), kLongestLine);
    }
    EXPECT_EQ(result.output, "");
}

const TraceCase kTraceCases[] = {
    {"FormatWithoutLineFeedGetsOne", L"x", {}, {L"x\n"}},
    {"FormatWithLineFeedKeepsOnlyIt", L"x\n", {}, {L"x\n"}},
    {"ArgumentLineFeedDoesNotCount", L"%s", {L"s:a\n"}, {L"a\n\n"}},
    {"EmptyFormatWritesNothing", L"", {}, {}},
    {"WideStringArgument",
     L"Name=<%s>",
     {L"s:several wide characters"},
     {L"Name=<several wide characters>\n"}},
    {"MixedArguments",
     L"Modifying app =<%s> from [%d] to [%u] %d%%",
     {L"s:{A1}", L"d:-4", L"u:4294967295", L"d:7"},
     {L"Modifying app =<{A1}> from [-4] to [4294967295] 7%\n"}},
    {"LatinLetterOfTheCodePage", L"%s", {L"s:caf\u00e9"}, {L"caf\u00e9\n"}},
    {"LongestMessageWithItsLineFeed",
     std::wstring(kLongestMessage - 1, L'a'),
     {},
     {std::wstring(kLongestMessage - 1, L'a') + L"\n"}},
    {"OneCharacterMoreLosesTheLineFeed",
     std::wstring(kLongestMessage, L'b'),
     {},
     {std::wstring(kLongestMessage, L'b')}},
    {"LongFormatIsCut", std::wstring(3000, L'c'), {}, {std::wstring(kLongestMessage, L'c')}},
    {"LongArgumentIsCut",
     L"<%s>",
     {L"s:" + std::wstring(2000, L'd')},
     {L"<" + std::wstring(kLongestMessage - 1, L'd')}},
};

INSTANTIATE_TEST_SUITE_P(Trace, TraceLine, ::testing::ValuesIn(kTraceCases),
                         [](const auto& instance) { return std::string(instance.param.name); });

ULONGLONG Ticks(const FILETIME& time) {
    return (ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

// The stamp is the UTC time of the call: [yyyy-mm-dd hh:mm:ss.mmm], zero-padded.
TEST(TraceStamp, IsTheCurrentUtcTime) {
    FILETIME before;
    FILETIME after;
    GetSystemTimeAsFileTime(&before);
    const RunResult result = Trace(L"stamp");
    GetSystemTimeAsFileTime(&after);
    ASSERT_EQ(result.trace.size(), 1u);
    const std::wstring& line = result.trace[0];
    ASSERT_TRUE(HasTracePrefix(line)) << std::string(line.begin(), line.end());

    const auto number = [&](size_t at, size_t digits) {
        return static_cast<WORD>(std::stoi(line.substr(at, digits)));
    };
    SYSTEMTIME stamp = {};
    stamp.wYear = number(1, 4);
    stamp.wMonth = number(6, 2);
    stamp.wDay = number(9, 2);
    stamp.wHour = number(12, 2);
    stamp.wMinute = number(15, 2);
    stamp.wSecond = number(18, 2);
    stamp.wMilliseconds = number(21, 3);
    FILETIME stampTime;
    ASSERT_TRUE(SystemTimeToFileTime(&stamp, &stampTime));
    // The clock is read once more by the child; a second of slack either way (in 100 ns ticks).
    constexpr ULONGLONG kSlack = 10'000'000;
    EXPECT_GE(Ticks(stampTime) + kSlack, Ticks(before));
    EXPECT_LE(Ticks(stampTime), Ticks(after) + kSlack);
}

// The writer does not wait for the reader to take its last line: lines written just before the child
// ends must still all arrive, in order.
TEST(TraceCapture, KeepsEveryLineOfAChildThatExitsRightAway) {
    constexpr int kLines = 300;
    const RunResult result = RunQuillet({L"trace-lines", std::to_wstring(kLines)}, ProbeOptions());
    ASSERT_EQ(result.exitCode, 0u);
    std::vector<std::wstring> expected;
    for (int i = 0; i < kLines; ++i) {
        expected.push_back(L"line " + std::to_wstring(i) + L"\n");
    }
    EXPECT_EQ(result.TraceMessages(), expected);
    RecordProperty("elapsedMs", std::to_string(static_cast<int>(result.elapsedMs)));
}

} // namespace
} // namespace quillet::testing
