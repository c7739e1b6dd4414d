#include "QuilletRunner.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillet::testing {
namespace {

std::wstring ProbePath() {
    return BinDirectory() + L"\\quillet_cli_probe.exe";
}

RunOptions LauncherOptions() {
    RunOptions options;
    options.program = BinDirectory() + L"\\QuilletLaunch.exe";
    options.captureTrace = false;
    return options;
}

// What the probe prints for "args": its command line, then each argument after "args" as <argument>.
std::string EchoOf(const std::wstring& commandLine, const std::vector<std::wstring>& arguments) {
    std::string echo = ToUtf8(commandLine) + "\n";
    for (const auto& argument : arguments) {
        echo += "<" + ToUtf8(argument) + ">\n";
    }
    return echo;
}

struct ArgumentsCase {
    const char* name;
    std::vector<std::wstring> arguments;
};

class LaunchArguments : public ::testing::TestWithParam<ArgumentsCase> {};

// The launcher hands its command line on untouched, so the program sees exactly the arguments typed.
TEST_P(LaunchArguments, ReachTheProgramUnchanged) {
    std::vector<std::wstring> launched = {ProbePath(), L"args"};
    launched.insert(launched.end(), GetParam().arguments.begin(), GetParam().arguments.end());
    const RunResult result = RunQuillet(launched, LauncherOptions());

    std::wstring childCommandLine = QuoteArgument(ProbePath());
    for (size_t i = 1; i < launched.size(); ++i) {
        childCommandLine += L" " + QuoteArgument(launched[i]);
    }
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(result.output, EchoOf(childCommandLine, GetParam().arguments));
    EXPECT_EQ(result.errors, "");
}

const ArgumentsCase kArgumentsCases[] = {
    {"None", {}},
    {"Plain", {L"application", L"start", L"{guid}"}},
    {"Blanks", {L"a b", L" leading", L"trailing ", L"\t"}},
    {"EmptyArguments", {L"", L"x", L""}},
    {"QuotationMarks", {L"\"", L"say \"hi\"", L"a\"b", L"\"\""}},
    {"Backslashes", {L"C:\\dir\\", L"\\\\server\\share", L"a\\\\\"b", L"end\\\\"}},
    {"NonAscii", {L"caf\u00e9", L"\u0416\u0443\u043a"}},
};

INSTANTIATE_TEST_SUITE_P(QuilletLaunch, LaunchArguments, ::testing::ValuesIn(kArgumentsCases),
                         [](const auto& instance) { return std::string(instance.param.name); });

// Quoting that the runner would never produce still reaches the program character for character.
TEST(QuilletLaunch, PassesUnusualQuotingVerbatim) {
    const std::wstring tails[] = {
        L"args a\"b c\"d",
        L"args  two  blanks  ",
        L"args \"\" \"\"\"\"",
        L"args \\\"x\\\\\"",
    };
    for (const std::wstring& tail : tails) {
        SCOPED_TRACE(ToUtf8(tail));
        const RunResult result = RunCommandLine(QuoteArgument(ProbePath()) + L" " + tail, LauncherOptions());
        const std::string expected = ToUtf8(QuoteArgument(ProbePath()) + L" " + tail) + "\n";
        EXPECT_EQ(result.output.substr(0, result.output.find('\n') + 1), expected);
    }
}

struct ExitCase {
    DWORD code;
    const char* reported;
};

// Only the low 8 bits reach a Linux shell, so every other code is also printed in full.
TEST(QuilletLaunch, ExitsWithTheFullCodeAndReportsIt) {
    const ExitCase cases[] = {
        {0, ""},
        {1, "Exit code: 0x00000001 (1)\r\n"},
        {1603, "Exit code: 0x00000643 (1603)\r\n"},
        {0x80070057, "Exit code: 0x80070057 (2147942487)\r\n"},
        {0x80004005, "Exit code: 0x80004005 (2147500037)\r\n"},
        {0xFFFFFFFF, "Exit code: 0xFFFFFFFF (4294967295)\r\n"},
    };
    for (const ExitCase& test : cases) {
        SCOPED_TRACE(test.code);
        const RunResult result =
            RunQuillet({ProbePath(), L"exit", std::to_wstring(test.code), L"to stdout", L"to stderr"},
                       LauncherOptions());
        EXPECT_EQ(result.exitCode, test.code);
        EXPECT_EQ(result.output, "to stdout");
        EXPECT_EQ(result.errors, std::string("to stderr") + test.reported);
    }
}

TEST(QuilletLaunch, ReportsAProgramThatCannotStart) {
    const std::wstring missing = BinDirectory() + L"\\no-such-program.exe";
    const RunResult result = RunQuillet({missing, L"x"}, LauncherOptions());
    EXPECT_EQ(result.exitCode, 0x80070002u);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.errors,
              "QuilletLaunch: cannot start \"" + ToUtf8(missing) + "\" (error 0x80070002).\r\n");
}

TEST(QuilletLaunch, WithoutAProgramPrintsItsUsage) {
    const RunResult result = RunQuillet({}, LauncherOptions());
    EXPECT_EQ(result.exitCode, 0x80070057u);
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.errors.rfind("Usage: QuilletLaunch <program> [arguments...]\r\n", 0), 0u)
        << result.errors;
}

// bin/quillet names the program by its Unix path; under Wine the launcher converts it.
TEST(QuilletLaunch, AcceptsTheUnixPathOfTheProgramUnderWine) {
    using UnixFileName = char*(CDECL*)(LPCWSTR);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC address = GetProcAddress(kernel, "wine_get_unix_file_name");
    if (address == nullptr) {
        GTEST_SKIP() << "not running under Wine";
    }
    const auto toUnix = reinterpret_cast<UnixFileName>(reinterpret_cast<void (*)()>(address));
    char* unixPath = toUnix(ProbePath().c_str());
    ASSERT_NE(unixPath, nullptr);
    const std::string path(unixPath);
    HeapFree(GetProcessHeap(), 0, unixPath);
    ASSERT_EQ(path.front(), '/');

    const RunResult result =
        RunQuillet({std::wstring(path.begin(), path.end()), L"exit", L"0x80070057"}, LauncherOptions());
    EXPECT_EQ(result.exitCode, 0x80070057u);
}

} // namespace
} // namespace quillet::testing
