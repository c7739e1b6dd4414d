#include "common/CommandLine.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

namespace quillet::tools {
namespace {

std::string Printable(std::wstring_view text) {
    return std::string(text.begin(), text.end());
}

// The system's own parser must read every quoted argument back unchanged.
TEST(QuoteArgument, RoundTripsThroughTheSystemParser) {
    const std::wstring arguments[] = {
        L"plain",
        L"",
        L"two words",
        L"\t",
        L"\"",
        L"a\"b",
        L"\\",
        L"a\\",
        L"a\\\\",
        L"a\\\"b",
        L"a\\\\\"b",
        L"C:\\dir name\\",
        L"\\\\server\\share",
        L"\"\"",
        L"new\nline",
        L"caf\u00e9",
    };
    for (const std::wstring& argument : arguments) {
        SCOPED_TRACE(Printable(argument));
        const std::wstring commandLine = L"program.exe " + QuoteArgument(argument) + L" next";
        int count = 0;
        LPWSTR* argv = CommandLineToArgvW(commandLine.c_str(), &count);
        ASSERT_NE(argv, nullptr);
        ASSERT_EQ(count, 3);
        EXPECT_EQ(std::wstring(argv[1]), argument);
        EXPECT_EQ(std::wstring(argv[2]), L"next");
        LocalFree(argv);
    }
}

TEST(QuoteArgument, LeavesSimpleArgumentsAlone) {
    EXPECT_EQ(QuoteArgument(L"C:\\dir\\file.exe"), L"C:\\dir\\file.exe");
    EXPECT_EQ(QuoteArgument(L"{A1}"), L"{A1}");
}

struct SplitCase {
    const wchar_t* commandLine;
    const wchar_t* program;
    const wchar_t* tail;
};

TEST(SplitLaunchCommandLine, FindsTheProgramAndKeepsTheRestAsTyped) {
    const SplitCase cases[] = {
        {L"launch.exe prog.exe a b", L"prog.exe", L"a b"},
        {L"\"C:\\my dir\\launch.exe\" \"C:\\x y\\prog.exe\" \"a b\"  c ", L"C:\\x y\\prog.exe",
         L"\"a b\"  c "},
        {L"launch.exe   prog.exe", L"prog.exe", L""},
        {L"launch.exe\tprog.exe\t\tx", L"prog.exe", L"x"},
        {L"launch.exe pr\"og ram\".exe a\"b c\"d", L"prog ram.exe", L"a\"b c\"d"},
        {L"launch.exe \"a\\\"b\" rest", L"a\"b", L"rest"},
        {L"launch.exe C:\\dir\\\\prog.exe \"\"", L"C:\\dir\\\\prog.exe", L"\"\""},
        {L"\"launch.exe\"prog.exe x", L"prog.exe", L"x"},
    };
    for (const SplitCase& test : cases) {
        SCOPED_TRACE(Printable(test.commandLine));
        const auto split = SplitLaunchCommandLine(test.commandLine);
        ASSERT_TRUE(split.has_value());
        EXPECT_EQ(split->program, test.program);
        EXPECT_EQ(split->tail, test.tail);
    }
}

TEST(SplitLaunchCommandLine, RejectsAMissingOrEmptyProgram) {
    for (const wchar_t* commandLine :
         {L"launch.exe", L"launch.exe   ", L"\"launch.exe\"", L"launch.exe \"\" x", L""}) {
        SCOPED_TRACE(Printable(commandLine));
        EXPECT_FALSE(SplitLaunchCommandLine(commandLine).has_value());
    }
}

} // namespace
} // namespace quillet::tools
