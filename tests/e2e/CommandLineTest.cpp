// The command line as a user and a script meet it, before any service call: which component the first
// word selects, the executor's and the client parser's messages; and QuilletLaunch, through which
// bin/quillet runs Quillet.
#include "Row.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

namespace quillet::testing {
namespace {

// A wrong first word or count of words prints one message and exits with E_INVALIDARG. Only the letters A
// to Z fold, and a word must match in full.
TEST(CommandLine, WrongWordsPrintOneMessageAndExitWithInvalidArgument) {
    const auto wrong = [](const char* name, std::vector<std::wstring> args, const char* message) {
        return Row{.name = name, .args = args, .output = message, .exitCode = kInvalidArgument};
    };
    EXPECT_ROWS((std::vector<Row>{
        wrong("not a component", {L"--help"}, kInvalidArguments),
        wrong("-h with more letters", {L"-hx"}, kInvalidArguments),
        wrong("component with a trailing blank", {L"application "}, kInvalidArguments),
        wrong("prefix of a component", {L"cach"}, kInvalidArguments),
        // The dotless i is no i, although its upper case is I.
        wrong("dotless i", {L"appl\u0131cation"}, kInvalidArguments),
        wrong("component alone", {L"application"}, kIncorrectNumber),
        wrong("upper case component", {L"CLIENT"}, kIncorrectNumber),
        // SIZE is the size command, with a word too many.
        wrong("upper case Z", {L"cache", L"SIZE", L"1", L"2"}, kIncorrectNumber),
        wrong("unknown client command", {L"client", L"restart"}, kInvalidArguments),
        // The number of words is checked before the word.
        wrong("unknown client command with a word", {L"client", L"restart", L"now"}, kIncorrectNumber),
    }));
}

// bin/quillet runs Quillet through QuilletLaunch: the arguments must arrive exactly as typed, and the full
// exit code, which a Linux shell cuts to 8 bits, is also printed.
TEST(QuilletLaunch, PassesTheCommandLineOnAndReportsTheFullExitCode) {
    const std::wstring probe = BinDirectory() + L"\\quillet_probe.exe";
    const std::wstring missing = BinDirectory() + L"\\no-such-program.exe";
    const RunOptions launch = {.program = BinDirectory() + L"\\QuilletLaunch.exe", .captureTrace = false};
    const std::vector<std::wstring> odd = {L"a b",      L" lead",   L"\t",        L"",
                                           L"\"",       L"a\"b",    L"\"\"",      L"C:\\dir\\",
                                           L"a\\\\\"b", L"end\\\\", L"caf\u00e9", L"\u0416\u0443\u043a"};
    std::vector<std::wstring> oddArgs = {probe, L"args"};
    std::wstring echoed = QuoteArgument(probe) + L" args";
    std::string echo;
    for (const std::wstring& argument : odd) {
        oddArgs.push_back(argument);
        echoed += L" " + QuoteArgument(argument);
        echo += "<" + ToUtf8(argument) + ">\n";
    }
    const auto verbatim = [&](const char* name, const std::wstring& tail, const std::string& arguments) {
        RunOptions options = launch;
        options.arguments = QuoteArgument(probe) + L" args" + tail;
        return Row{.name = name, .output = ToUtf8(*options.arguments) + "\n" + arguments, .options = options};
    };
    const auto exit = [&](const char* name, std::vector<std::wstring> args, DWORD code, std::string errors) {
        return Row{.name = name, .args = args, .exitCode = code, .errors = errors, .options = launch};
    };
    std::vector<Row> rows = {
        {.name = "arguments unchanged",
         .args = oddArgs,
         .output = ToUtf8(echoed) + "\n" + echo,
         .options = launch},
        verbatim("quoting as typed", L" a\"b c\"d", "<ab cd>\n"),
        verbatim("blanks as typed", L"  two  blanks  ", "<two>\n<blanks>\n"),
        exit("exit 1603", {probe, L"exit", L"1603", L"", L"err"}, 1603, "errExit code: 0x00000643 (1603)\n"),
        exit("exit 0xFFFFFFFF", {probe, L"exit", L"0xFFFFFFFF"}, 0xFFFFFFFF,
             "Exit code: 0xFFFFFFFF (4294967295)\n"),
        // The program is searched for as a command line's first word is: beside the launcher, without .exe.
        exit("name alone", {L"quillet_probe", L"exit", L"3"}, 3, "Exit code: 0x00000003 (3)\n"),
        exit("no such program", {missing, L"x"}, 0x80070002,
             "QuilletLaunch: cannot start \"" + ToUtf8(missing) + "\" (error 0x80070002).\n"),
        exit("no program", {}, kInvalidArgument,
             "Usage: QuilletLaunch <program> [arguments...]\n"
             "Runs the program with the arguments as typed and exits with its exit code.\n"),
    };
    // bin/quillet names the program by its Unix path; under Wine the launcher converts it.
    if (const std::string unixPath = UnixPath(probe); !unixPath.empty()) {
        rows.push_back(
            exit("unix path", {FromUtf8(unixPath), L"exit", L"3"}, 3, "Exit code: 0x00000003 (3)\n"));
    }
    EXPECT_ROWS(rows);
}

} // namespace
} // namespace quillet::testing
