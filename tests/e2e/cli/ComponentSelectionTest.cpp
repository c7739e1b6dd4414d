#include "QuilletRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillet::testing {
namespace {

constexpr DWORD kInvalidArgumentsExitCode = 0x80070057;
constexpr char kInvalidArguments[] =
    "Error: invalid arguments entered. Use \"Quillet -h\" for more help.\r\n";
constexpr char kIncorrectNumber[] = "Error: incorrect number of arguments. Use \"Quillet -h\" for help.\r\n";

struct SelectionCase {
    const char* name;
    std::vector<std::wstring> args;
    const char* expectedOutput;
};

class ComponentSelection : public ::testing::TestWithParam<SelectionCase> {};

// Each wrong command line prints one message, exactly once, and ends with E_INVALIDARG as the full code.
TEST_P(ComponentSelection, PrintsOneMessageAndExitsWithInvalidArgument) {
    RunOptions options;
    options.captureTrace = false;
    const RunResult result = RunQuillet(GetParam().args, options);
    EXPECT_EQ(result.exitCode, kInvalidArgumentsExitCode);
    EXPECT_EQ(result.output, GetParam().expectedOutput);
    EXPECT_EQ(result.errors, "");
}

const SelectionCase kSelectionCases[] = {
    // Not a component word.
    {"DoubleDashHelp", {L"--help"}, kInvalidArguments},
    {"SlashQuestionMark", {L"/?"}, kInvalidArguments},
    {"Apps", {L"apps"}, kInvalidArguments},
    {"EmptyFirstArgument", {L""}, kInvalidArguments},
    {"EmptyFirstArgumentBeforeAComponent", {L"", L"application", L"getIdList"}, kInvalidArguments},
    {"HWithMoreLetters", {L"-hx"}, kInvalidArguments},
    {"ComponentWithATrailingBlank", {L"application "}, kInvalidArguments},
    {"ComponentPrefix", {L"cach"}, kInvalidArguments},
    // Only ASCII letters are folded: the dotless i is no i, although its upper case is I.
    {"DotlessI", {L"appl\u0131cation"}, kInvalidArguments},
    // A component word alone is selected, then lacks its command word.
    {"Application", {L"application"}, kIncorrectNumber},
    {"Cache", {L"cache"}, kIncorrectNumber},
    {"Client", {L"client"}, kIncorrectNumber},
    {"UpperCaseApplication", {L"APPLICATION"}, kIncorrectNumber},
    {"MixedCaseCache", {L"Cache"}, kIncorrectNumber},
    {"MixedCaseClient", {L"cLiEnT"}, kIncorrectNumber},
};

INSTANTIATE_TEST_SUITE_P(Quillet, ComponentSelection, ::testing::ValuesIn(kSelectionCases),
                         [](const auto& instance) { return std::string(instance.param.name); });

} // namespace
} // namespace quillet::testing
