#include "ConsoleBytes.h"
#include "StdoutCapture.h"
#include "cli/CacheParser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillet {
namespace {

constexpr char kInvalid[] = "Error: invalid arguments entered. Use \"Quillet -h\" for more help.\n";
constexpr char kIncorrect[] = "Error: incorrect number of arguments. Use \"Quillet -h\" for help.\n";

// The fields that differ from a new parser's, in one line: "value size=-5", "add <{G}> <a> <> flag".
std::wstring Fields(const SCacheParser& parser) {
    static const wchar_t* const kOperations[] = {L"add", L"delete", L"getInfo", L"getIdList"};
    const MultisourceParams& ms = parser.m_multisource;
    std::wstring fields = parser.m_hasValue != 0 ? L"value" : L"";
    if (parser.m_size != 0) {
        fields += L" size=" + std::to_wstring(parser.m_size);
    }
    if (!parser.m_location.empty()) {
        fields += L" <" + parser.m_location + L">";
    }
    if (ms.operation >= MS_ADD && ms.operation <= MS_GET_ID_LIST) {
        fields += std::wstring(L" ") + kOperations[ms.operation] + L" <" + ms.appGuid + L">";
    }
    if (ms.operation == MS_ADD) {
        fields += L" <" + ms.sourcePath + L"> <" + ms.destinationPath + L">";
    }
    if (ms.flag != 0) {
        fields += L" flag";
    }
    return fields.empty() || fields[0] != L' ' ? fields : fields.substr(1);
}

struct Row {
    const char* name;
    std::vector<const wchar_t*> words; // after "cache"
    uint32_t command;
    const char* message; // null when the words are accepted
    const wchar_t* fields = L"";
};

// Runs a parser on the words as the executor hands them over: the count, then a null entry.
template <class Parser> std::string Parse(Parser& parser, const Row& row) {
    std::vector<const wchar_t*> args = row.words;
    args.push_back(nullptr);
    testing::StdoutCapture console;
    const BOOL result = parser.Parse(static_cast<int>(row.words.size()), args.data());
    EXPECT_EQ(result, row.message == nullptr ? TRUE : FALSE);
    EXPECT_EQ(parser.m_command, row.command);
    return console.Bytes();
}

std::string RowName(const ::testing::TestParamInfo<Row>& row) {
    return row.param.name;
}

class CacheParserTest : public ::testing::TestWithParam<Row> {};

TEST_P(CacheParserTest, ReadsTheWords) {
    SCacheParser parser;
    EXPECT_EQ(Parse(parser, GetParam()),
              GetParam().message == nullptr ? "" : testing::ConsoleBytes(GetParam().message));
    if (GetParam().message == nullptr) {
        EXPECT_EQ(Fields(parser), GetParam().fields);
    }
}

constexpr uint32_t kMs = CMD_CACHE_MULTISOURCE;

INSTANTIATE_TEST_SUITE_P(
    Cache, CacheParserTest,
    ::testing::Values(
        Row{"SizeAloneShows", {L"size"}, CMD_CACHE_SIZE, nullptr},
        Row{"Size", {L"SiZE", L"2048"}, CMD_CACHE_SIZE, nullptr, L"value size=2048"},
        Row{"SizeBlanksSignAndText", {L"size", L" +12MB"}, CMD_CACHE_SIZE, nullptr, L"value size=12"},
        Row{"SizeSaturatesHigh",
            {L"size", L"99999999999"},
            CMD_CACHE_SIZE,
            nullptr,
            L"value size=2147483647"},
        Row{"SizeSaturatesLow",
            {L"size", L"-99999999999"},
            CMD_CACHE_SIZE,
            nullptr,
            L"value size=-2147483648"},
        Row{"LocationAloneShows", {L"LOCATION"}, CMD_CACHE_LOCATION, nullptr},
        Row{"LocationVerbatim",
            {L"location", L" D:\\a b|c "},
            CMD_CACHE_LOCATION,
            nullptr,
            L"value < D:\\a b|c >"},
        Row{"LocationEmpty", {L"location", L""}, CMD_CACHE_LOCATION, nullptr, L"value"},
        Row{"Clear", {L"Clear"}, CMD_CACHE_CLEAR, nullptr},
        Row{"OnlyAsciiLettersFold", {L"s\u0131ze"}, CMD_CACHE_INVALID, kInvalid},
        Row{"AddTrimsEveryField",
            {L"multisource", L"ADD", L" {G} |\ta b\t| c |  TRUE "},
            kMs,
            nullptr,
            L"add <{G}> <a b> <c> flag"},
        Row{"AddFlagIsTrueOnly",
            {L"multisource", L"add", L"|{G}|s|d|1|"},
            kMs,
            nullptr,
            L"add <{G}> <s> <d>"},
        Row{"AddFewerFields", {L"multisource", L"add", L"{G}"}, kMs, nullptr, L"add <{G}> <> <>"},
        Row{"DeleteWithoutParameters", {L"multisource", L"delete"}, kMs, kIncorrect},
        Row{"GetInfoIgnoresLaterWords",
            {L"multisource", L"getinfo", L"{G}", L"x"},
            kMs,
            nullptr,
            L"getInfo <{G}>"},
        Row{"GetIdListFalse", {L"multisource", L"getIdList", L"False"}, kMs, nullptr, L"getIdList <>"},
        Row{"GetIdListPaddedIsNotTrimmed", {L"multisource", L"getIdList", L" TRUE"}, kMs, kIncorrect}),
    RowName);

} // namespace
} // namespace quillet
