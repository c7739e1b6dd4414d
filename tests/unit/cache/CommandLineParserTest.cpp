#include "ConsoleBytes.h"
#include "StdoutCapture.h"
#include "cli/CacheParser.h"
#include "cli/ClientParser.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>
#include <vector>

namespace quillet {
namespace {

using testing::ConsoleBytes;
using testing::StdoutCapture;

enum class Message { None, InvalidArguments, IncorrectNumber };

std::string MessageBytes(Message message) {
    switch (message) {
    case Message::InvalidArguments:
        return ConsoleBytes("Error: invalid arguments entered. Use \"Quillet -h\" for more help.\n");
    case Message::IncorrectNumber:
        return ConsoleBytes("Error: incorrect number of arguments. Use \"Quillet -h\" for help.\n");
    default:
        return {};
    }
}

// Names a parameterised test after its case.
template <class Case> std::string CaseName(const ::testing::TestParamInfo<Case>& param) {
    return param.param.name;
}

// Runs a parser on the words as the executor hands them over: count words, then a null entry.
template <class Parser> BOOL ParseWords(Parser& parser, const std::vector<const wchar_t*>& words) {
    std::vector<const wchar_t*> args = words;
    args.push_back(nullptr);
    return parser.Parse(static_cast<int>(words.size()), args.data());
}

struct CacheCase {
    const char* name = "";
    std::vector<const wchar_t*> words;
    BOOL result = FALSE;
    uint32_t command = CMD_NONE;
    Message message = Message::None;
    // What a successful parse must leave; failures are checked by result, command and message only.
    int32_t size = 0;
    uint32_t hasValue = 0;
    std::wstring location;
    int32_t operation = MS_NONE;
    std::wstring appGuid;
    std::wstring sourcePath;
    std::wstring destinationPath;
    int32_t flag = 0;
};

CacheCase Rejects(const char* name, std::vector<const wchar_t*> words, uint32_t command, Message message) {
    CacheCase c;
    c.name = name;
    c.words = std::move(words);
    c.result = FALSE;
    c.command = command;
    c.message = message;
    return c;
}
CacheCase Accepts(const char* name, std::vector<const wchar_t*> words, uint32_t command) {
    CacheCase c = Rejects(name, std::move(words), command, Message::None);
    c.result = TRUE;
    return c;
}
CacheCase Size(const char* name, const wchar_t* value, int32_t size) {
    CacheCase c = Accepts(name, {L"size", value}, CMD_CACHE_SIZE);
    c.size = size;
    c.hasValue = 1;
    return c;
}
CacheCase SizeKeywordFoldsCase() {
    CacheCase c = Size("SizeKeywordFoldsCase", L"7", 7);
    c.words.front() = L"SiZE";
    return c;
}
CacheCase Location(const char* name, const wchar_t* value) {
    CacheCase c = Accepts(name, {L"location", value}, CMD_CACHE_LOCATION);
    c.location = value;
    c.hasValue = 1;
    return c;
}
CacheCase Multisource(const char* name, std::vector<const wchar_t*> words, int32_t operation,
                      std::wstring appGuid = {}, std::wstring sourcePath = {},
                      std::wstring destinationPath = {}, int32_t flag = 0) {
    words.insert(words.begin(), L"multisource");
    CacheCase c = Accepts(name, std::move(words), CMD_CACHE_MULTISOURCE);
    c.operation = operation;
    c.appGuid = std::move(appGuid);
    c.sourcePath = std::move(sourcePath);
    c.destinationPath = std::move(destinationPath);
    c.flag = flag;
    return c;
}
CacheCase MultisourceRejected(const char* name, std::vector<const wchar_t*> words) {
    words.insert(words.begin(), L"multisource");
    return Rejects(name, std::move(words), CMD_CACHE_MULTISOURCE, Message::IncorrectNumber);
}

// Test lists show a case by its name rather than its bytes.
void PrintTo(const CacheCase& c, std::ostream* out) {
    *out << c.name;
}

class CacheParserTest : public ::testing::TestWithParam<CacheCase> {};

TEST_P(CacheParserTest, ReadsTheWords) {
    const CacheCase& expected = GetParam();
    SCacheParser parser;
    StdoutCapture console;
    const BOOL result = ParseWords(parser, expected.words);
    const std::string output = console.Bytes();

    EXPECT_EQ(result, expected.result);
    EXPECT_EQ(parser.m_command, expected.command);
    EXPECT_EQ(output, MessageBytes(expected.message));
    if (expected.result) {
        EXPECT_EQ(parser.m_size, expected.size);
        EXPECT_EQ(parser.m_hasValue, expected.hasValue);
        EXPECT_EQ(parser.m_location, expected.location);
        const MultisourceParams& multisource = parser.m_multisource;
        EXPECT_EQ(multisource.operation, expected.operation);
        EXPECT_EQ(multisource.appGuid, expected.appGuid);
        EXPECT_EQ(multisource.sourcePath, expected.sourcePath);
        EXPECT_EQ(multisource.destinationPath, expected.destinationPath);
        EXPECT_EQ(multisource.flag, expected.flag);
    }
}

INSTANTIATE_TEST_SUITE_P(
    SizeAndLocation, CacheParserTest,
    ::testing::Values(Accepts("SizeAloneShows", {L"size"}, CMD_CACHE_SIZE), Size("SizeValue", L"2048", 2048),
                      SizeKeywordFoldsCase(), Size("SizeNotANumberIsZero", L"abc", 0),
                      Size("SizeNegativeKept", L"-5", -5), Size("SizeLeadingBlanksAndSign", L"  +12MB", 12),
                      Size("SizeSaturatesHigh", L"99999999999", INT_MAX),
                      Size("SizeSaturatesLow", L"-99999999999", INT_MIN),
                      Rejects("SizeWithUnit", {L"size", L"2048", L"MB"}, CMD_CACHE_SIZE,
                              Message::IncorrectNumber),
                      Accepts("LocationAloneShows", {L"LOCATION"}, CMD_CACHE_LOCATION),
                      Location("LocationWithBlanks", L"C:\\Program Files\\Plenum Cache"),
                      Location("LocationEmpty", L""), Location("LocationKeptVerbatim", L"  d:\\x|y "),
                      Rejects("LocationTwoWords", {L"location", L"C:\\a", L"b"}, CMD_CACHE_LOCATION,
                              Message::IncorrectNumber)),
    CaseName<CacheCase>);

INSTANTIATE_TEST_SUITE_P(
    CommandWord, CacheParserTest,
    ::testing::Values(Accepts("Clear", {L"clear"}, CMD_CACHE_CLEAR),
                      Accepts("ClearMixedCase", {L"Clear"}, CMD_CACHE_CLEAR),
                      Rejects("ClearWithWord", {L"clear", L"all"}, CMD_CACHE_CLEAR, Message::IncorrectNumber),
                      Rejects("UnknownWord", {L"purge"}, CMD_CACHE_INVALID, Message::InvalidArguments),
                      Rejects("EmptyWord", {L""}, CMD_CACHE_INVALID, Message::InvalidArguments),
                      // Only ASCII letters fold: a dotless i does not make "size".
                      Rejects("NonAsciiLookalike", {L"s\u0131ze"}, CMD_CACHE_INVALID,
                              Message::InvalidArguments)),
    CaseName<CacheCase>);

INSTANTIATE_TEST_SUITE_P(
    Multisource, CacheParserTest,
    ::testing::Values(
        MultisourceRejected("NoSubCommand", {}), MultisourceRejected("UnknownSubCommand", {L"copy"}),
        MultisourceRejected("UnknownSubCommandWithParameters", {L"copy", L"{G}"}),
        MultisourceRejected("AddWithoutParameters", {L"add"}),
        Multisource("AddBlankFieldIsEmpty", {L"add", L"{G}|C:\\src.stc| |true"}, MS_ADD, L"{G}",
                    L"C:\\src.stc", L"", 1),
        Multisource("AddDoubleSeparatorCollapses", {L"add", L"{G}||C:\\dst|TRUE"}, MS_ADD, L"{G}", L"C:\\dst",
                    L"TRUE", 0),
        MultisourceRejected("AddFiveFields", {L"add", L"a|b|c|TRUE|x"}),
        Multisource("AddLoneSeparator", {L"add", L"|"}, MS_ADD),
        Multisource("AddEmptyString", {L"add", L""}, MS_ADD),
        Multisource("AddTrimsEveryField", {L"ADD", L" {G} |\ta b\t| c |  TRUE "}, MS_ADD, L"{G}", L"a b",
                    L"c", 1),
        Multisource("AddFlagOnlyTrue", {L"add", L"{G}|s|d|1"}, MS_ADD, L"{G}", L"s", L"d", 0),
        Multisource("AddFewerFields", {L"add", L"{G}|s"}, MS_ADD, L"{G}", L"s"),
        Multisource("AddSeparatorsAtEnds", {L"add", L"|{G}|s|d|FALSE|"}, MS_ADD, L"{G}", L"s", L"d", 0),
        MultisourceRejected("DeleteWithoutParameters", {L"delete"}),
        MultisourceRejected("DeleteTwoFields", {L"delete", L"{G}|x"}),
        Multisource("DeleteKeepsPadding", {L"delete", L"  {G} "}, MS_DELETE, L"  {G} "),
        Multisource("DeleteNoField", {L"delete", L"|"}, MS_DELETE),
        Multisource("GetInfo", {L"getinfo", L"{G}", L"ignored", L"words"}, MS_GET_INFO, L"{G}"),
        MultisourceRejected("GetInfoTwoFields", {L"getInfo", L"{G}||{H}"}),
        Multisource("GetIdListNone", {L"getIdList"}, MS_GET_ID_LIST),
        Multisource("GetIdListTrue", {L"getIdList", L"true"}, MS_GET_ID_LIST, L"", L"", L"", 1),
        Multisource("GetIdListFalse", {L"GETIDLIST", L"False"}, MS_GET_ID_LIST),
        Multisource("GetIdListNoField", {L"getIdList", L"||"}, MS_GET_ID_LIST),
        Multisource("GetIdListSeparatorsAround", {L"getIdList", L"|TRUE|"}, MS_GET_ID_LIST, L"", L"", L"", 1),
        MultisourceRejected("GetIdListYes", {L"getIdList", L"yes"}),
        MultisourceRejected("GetIdListTwoFields", {L"getIdList", L"TRUE|FALSE"}),
        MultisourceRejected("GetIdListPaddedIsNotTrimmed", {L"getIdList", L" TRUE"})),
    CaseName<CacheCase>);

TEST(CacheParser, NullCommandWordIsRejectedSilently) {
    SCacheParser parser;
    StdoutCapture console;
    const wchar_t* const args[] = {nullptr};
    EXPECT_EQ(parser.Parse(0, args), FALSE);
    EXPECT_EQ(parser.m_command, CMD_CACHE_INVALID);
    EXPECT_EQ(console.Bytes(), "");
}

struct ClientCase {
    const char* name;
    std::vector<const wchar_t*> words;
    BOOL result;
    uint32_t command;
    Message message;
};

void PrintTo(const ClientCase& c, std::ostream* out) {
    *out << c.name;
}

class ClientParserTest : public ::testing::TestWithParam<ClientCase> {};

TEST_P(ClientParserTest, ReadsTheWords) {
    const ClientCase& expected = GetParam();
    SClientParser parser;
    StdoutCapture console;
    EXPECT_EQ(ParseWords(parser, expected.words), expected.result);
    EXPECT_EQ(parser.m_command, expected.command);
    EXPECT_EQ(console.Bytes(), MessageBytes(expected.message));
}

INSTANTIATE_TEST_SUITE_P(
    Words, ClientParserTest,
    ::testing::Values(
        ClientCase{"Start", {L"start"}, TRUE, CMD_CLIENT_START, Message::None},
        ClientCase{"StopUpperCase", {L"STOP"}, TRUE, CMD_CLIENT_STOP, Message::None},
        ClientCase{"Restart", {L"restart"}, FALSE, CMD_CLIENT_INVALID, Message::InvalidArguments},
        ClientCase{"StartWithWord", {L"start", L"now"}, FALSE, CMD_CLIENT_INVALID, Message::IncorrectNumber},
        // The word count is judged before the word itself.
        ClientCase{
            "UnknownWithWord", {L"restart", L"now"}, FALSE, CMD_CLIENT_INVALID, Message::IncorrectNumber}),
    CaseName<ClientCase>);

} // namespace
} // namespace quillet
