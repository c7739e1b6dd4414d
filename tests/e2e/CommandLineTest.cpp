// The command line as a user and a script meet it, before any service call: which component the first
// word selects, the executor's and the client parser's messages, the exit code of output that cannot be
// written; and QuilletLaunch, through which bin/quillet runs Quillet.
#include "Row.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

namespace quillet::testing {
namespace {

constexpr DWORD kWrong = kInvalidArgument;

TEST(CommandLine, WrongWordsPrintOneMessageAndExitWithInvalidArgument) {
    const std::vector<Row> rows = {
        {"not a component", {}, {L"--help"}, kInvalidArguments, kWrong},
        {"a word like a component", {}, {L"apps"}, kInvalidArguments, kWrong},
        {"empty first word", {}, {L"", L"application", L"getIdList"}, kInvalidArguments, kWrong},
        {"-h with more letters", {}, {L"-hx"}, kInvalidArguments, kWrong},
        {"component with a trailing blank", {}, {L"application "}, kInvalidArguments, kWrong},
        {"prefix of a component", {}, {L"cach"}, kInvalidArguments, kWrong},
        // Only A-Z fold: the dotless i is no i, although its upper case is I.
        {"dotless i", {}, {L"appl\u0131cation"}, kInvalidArguments, kWrong},
        {"application alone", {}, {L"application"}, kIncorrectNumber, kWrong},
        {"cache alone", {}, {L"cache"}, kIncorrectNumber, kWrong},
        {"client alone", {}, {L"client"}, kIncorrectNumber, kWrong},
        {"upper case component", {}, {L"APPLICATION"}, kIncorrectNumber, kWrong},
        {"mixed case component", {}, {L"cLiEnT"}, kIncorrectNumber, kWrong},
        // Z folds as well: SIZE is the size command, with a word too many.
        {"upper case Z", {}, {L"cache", L"SIZE", L"1", L"2"}, kIncorrectNumber, kWrong},
        // Each component reads its own commands.
        {"a client command under cache", {}, {L"cache", L"start"}, kInvalidArguments, kWrong},
        {"unknown client command", {}, {L"client", L"restart"}, kInvalidArguments, kWrong},
        {"client command with a word", {}, {L"client", L"start", L"now"}, kIncorrectNumber, kWrong},
        // The number of words is checked before the word.
        {"unknown client command with a word", {}, {L"client", L"restart", L"now"}, kIncorrectNumber, kWrong},
        // Output that cannot be written fails a run that would have succeeded; a failed run keeps its code.
        {"help into a closed pipe", {}, {L"-h"}, "", kClosedPipe, "", {}, {}, {}, {.closedOutput = true}},
        {"wrong word into a closed pipe", {}, {L"apps"}, "", kWrong, "", {}, {}, {}, {.closedOutput = true}},
    };
    for (const Row& row : rows) {
        EXPECT_ROW(row);
    }
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
    const auto exit = [&](const char* name, std::vector<std::wstring> args, std::string output, DWORD code,
                          std::string errors) {
        return Row{name, {}, args, output, code, errors, {}, {}, {}, launch};
    };
    std::vector<Row> rows = {
        {.name = "arguments unchanged",
         .args = oddArgs,
         .output = ToUtf8(echoed) + "\n" + echo,
         .options = launch},
        verbatim("quoting as typed", L" a\"b c\"d", "<ab cd>\n"),
        verbatim("blanks as typed", L"  two  blanks  ", "<two>\n<blanks>\n"),
        exit("exit 0", {probe, L"exit", L"0", L"out"}, "out", 0, ""),
        exit("exit 1603", {probe, L"exit", L"1603", L"out", L"err"}, "out", 1603,
             "errExit code: 0x00000643 (1603)\n"),
        exit("exit E_INVALIDARG", {probe, L"exit", L"0x80070057"}, "", kWrong,
             "Exit code: 0x80070057 (2147942487)\n"),
        exit("exit 0xFFFFFFFF", {probe, L"exit", L"0xFFFFFFFF"}, "", 0xFFFFFFFF,
             "Exit code: 0xFFFFFFFF (4294967295)\n"),
        // The program is searched for as a command line's first word is: beside the launcher, without .exe.
        exit("name alone", {L"quillet_probe", L"exit", L"3"}, "", 3, "Exit code: 0x00000003 (3)\n"),
        exit("no such program", {missing, L"x"}, "", 0x80070002,
             "QuilletLaunch: cannot start \"" + ToUtf8(missing) + "\" (error 0x80070002).\n"),
        exit("no program", {}, "", kWrong,
             "Usage: QuilletLaunch <program> [arguments...]\n"
             "Runs the program with the arguments as typed and exits with its exit code.\n"),
    };
    // bin/quillet names the program by its Unix path; under Wine the launcher converts it.
    if (const std::string unixPath = UnixPath(probe); !unixPath.empty()) {
        rows.push_back(
            exit("unix path", {FromUtf8(unixPath), L"exit", L"3"}, "", 3, "Exit code: 0x00000003 (3)\n"));
    }
    for (const Row& row : rows) {
        EXPECT_ROW(row);
    }
}

} // namespace
} // namespace quillet::testing
