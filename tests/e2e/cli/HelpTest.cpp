#include "ExeResources.h"
#include "QuilletRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace quillet::testing {
namespace {

constexpr WORD kEnglishUnitedStates = 1033;

std::string HelpResource() {
    const auto bytes = LoadResourceBytes(QuilletPath(), L"TEXT", MAKEINTRESOURCEW(102), kEnglishUnitedStates);
    return bytes.value_or(std::string());
}

// The help's lines without their CR LF ends.
std::vector<std::string> HelpLines() {
    std::vector<std::string> lines;
    const std::string text = HelpResource();
    size_t start = 0;
    for (size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

struct HelpCase {
    const char* name;
    std::vector<std::wstring> args;
};

class HelpRequest : public ::testing::TestWithParam<HelpCase> {};

// Printed through the console's text mode, each line's CR LF comes out as CR CR LF.
TEST_P(HelpRequest, PrintsTheHelpResourceExactlyAndExitsWithZero) {
    const std::string help = HelpResource();
    ASSERT_FALSE(help.empty());
    RunOptions options;
    options.captureTrace = false;
    const RunResult result = RunQuillet(GetParam().args, options);
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(result.output, Crlf(help));
    EXPECT_EQ(result.errors, "");
}

const HelpCase kHelpCases[] = {
    {"NoArguments", {}},
    {"LowerCaseH", {L"-h"}},
    {"UpperCaseHWithFurtherWords", {L"-H", L"x", L"y"}},
    {"HBeforeAComponent", {L"-h", L"application", L"add"}},
    {"HBeforeAnInvalidWord", {L"-h", L"--help"}},
};

INSTANTIATE_TEST_SUITE_P(Quillet, HelpRequest, ::testing::ValuesIn(kHelpCases),
                         [](const auto& instance) { return std::string(instance.param.name); });

TEST(HelpText, IsAsciiWithCrLfLineEndsALeadingEmptyLineAndNoPercentSign) {
    const std::string help = HelpResource();
    ASSERT_GE(help.size(), 2u);
    EXPECT_EQ(help.substr(0, 2), "\r\n");
    EXPECT_EQ(help.substr(help.size() - 2), "\r\n");
    EXPECT_EQ(help.find('%'), std::string::npos);
    for (size_t i = 0; i < help.size(); ++i) {
        const auto byte = static_cast<unsigned char>(help[i]);
        const bool printable = byte >= 0x20 && byte < 0x7F;
        const bool lineEnd = (byte == '\r' && i + 1 < help.size() && help[i + 1] == '\n') ||
                             (byte == '\n' && i > 0 && help[i - 1] == '\r');
        ASSERT_TRUE(printable || lineEnd) << "byte " << int{byte} << " at offset " << i;
    }
}

// The documented headings and synopses stand exactly so, at the left margin, in this order.
TEST(HelpText, HasTheHeadingsAndSynopsesInOrder) {
    static const char* const kLines[] = {
        "NAME:",
        "Quillet - Vireon command-line interface. Returns 0 on success; otherwise",
        "          returns a nonzero error code.",
        "SYNTAX:",
        "Quillet [application | cache] <command> <params>",
        "DESCRIPTION:",
        "application <command>:",
        "> add <local_tok_path> | \"<server_url>\"",
        "> remove <app_guid> | all",
        "> start <app_guid> <optional-launch-parameters>",
        "> run-cmd <app_guid> <executable_path> <optional-working-directory> <optional-cmd-parameters>",
        "> stop <app_guid> | all",
        "> getIdList",
        "cache <command>:",
        "> size <size_in_MB>",
        "> location <folder_path>",
        "> clear",
        "> multisource [add | delete | getInfo | getIdList]",
        "> multisource add \"<appGuid>|<sourcePath>|<destinationPath>|<overwriteExisting>\"",
        "> multisource delete \"<appGuid>\"",
        "> multisource getInfo \"<appGuid>\"",
        "> multisource getIdList \"<finishedOnly>\"",
    };
    const std::vector<std::string> lines = HelpLines();
    size_t at = 0;
    for (const char* expected : kLines) {
        while (at < lines.size() && lines[at] != expected) {
            ++at;
        }
        ASSERT_LT(at, lines.size()) << "missing or out of order: " << expected;
        ++at;
    }
    // The name paragraph goes on directly on the next line.
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i] == kLines[1]) {
            EXPECT_EQ(lines[i + 1], kLines[2]);
        }
    }
}

// Every synopsis stands between empty lines and is described by lines indented by exactly two blanks.
TEST(HelpText, DescribesEachSynopsisInAnIndentedBlock) {
    const std::vector<std::string> lines = HelpLines();
    size_t synopses = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("> ", 0) != 0) {
            continue;
        }
        ++synopses;
        SCOPED_TRACE(lines[i]);
        ASSERT_GT(i, 0u);
        EXPECT_EQ(lines[i - 1], "");
        size_t j = i + 1;
        for (; j < lines.size() && !lines[j].empty(); ++j) {
            EXPECT_EQ(lines[j].substr(0, 2), "  ") << lines[j];
            EXPECT_NE(lines[j].substr(0, 3), "   ") << lines[j];
        }
        EXPECT_GT(j, i + 1) << "no description";
    }
    EXPECT_EQ(synopses, 14u);
}

TEST(HelpText, LeavesTheClientComponentOut) {
    for (const std::string& line : HelpLines()) {
        EXPECT_EQ(line.find("client <command>"), std::string::npos) << line;
        EXPECT_NE(line.rfind("client", 0), 0u) << line;
    }
}

} // namespace
} // namespace quillet::testing
