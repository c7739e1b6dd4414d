// What the cache and client command lines make of their words: one message and 0x80070057 for every
// wrong input, before any service call; and the values that reach the service.
#include "CommandTest.h"

namespace quillet::testing {
namespace {

constexpr char kInvalidArguments[] = "Error: invalid arguments entered. Use \"Quillet -h\" for more help.\n";
constexpr char kIncorrectNumber[] = "Error: incorrect number of arguments. Use \"Quillet -h\" for help.\n";

struct WrongInput {
    const char* name;
    std::vector<std::wstring> args;
    const char* message;
};

class WrongInputTest : public CommandTest, public ::testing::WithParamInterface<WrongInput> {};

TEST_P(WrongInputTest, PrintsOneMessageAndCallsNoService) {
    const RunResult result = Run(GetParam().args);
    EXPECT_EQ(result.output, Crlf(GetParam().message));
    EXPECT_EQ(result.exitCode, kInvalidArgument);
    EXPECT_EQ(emulator::ReadJournalLines(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, WrongInputTest,
    ::testing::Values(
        WrongInput{"CacheAlone", {L"cache"}, kIncorrectNumber},
        WrongInput{"UnknownCacheWord", {L"cache", L"purge"}, kInvalidArguments},
        WrongInput{"SizeWithUnit", {L"cache", L"size", L"2048", L"MB"}, kIncorrectNumber},
        WrongInput{"LocationInTwoWords", {L"cache", L"location", L"C:\\Plenum", L"Cache"}, kIncorrectNumber},
        WrongInput{"ClearWithWord", {L"cache", L"clear", L"all"}, kIncorrectNumber},
        WrongInput{"MultisourceAlone", {L"cache", L"multisource"}, kIncorrectNumber},
        WrongInput{"UnknownSubCommand", {L"cache", L"multisource", L"copy", L"x"}, kIncorrectNumber},
        WrongInput{"AddWithoutParameters", {L"cache", L"multisource", L"add"}, kIncorrectNumber},
        WrongInput{"AddFiveFields", {L"cache", L"multisource", L"add", L"a|b|c|TRUE|x"}, kIncorrectNumber},
        WrongInput{"DeleteTwoFields", {L"cache", L"multisource", L"delete", L"{G}|x"}, kIncorrectNumber},
        WrongInput{"GetInfoWithoutParameters", {L"cache", L"multisource", L"getInfo"}, kIncorrectNumber},
        WrongInput{"GetIdListYes", {L"cache", L"multisource", L"getIdList", L"yes"}, kIncorrectNumber},
        WrongInput{
            "GetIdListTwoValues", {L"cache", L"multisource", L"getIdList", L"TRUE|FALSE"}, kIncorrectNumber},
        WrongInput{"ClientAlone", {L"client"}, kIncorrectNumber},
        WrongInput{"UnknownClientWord", {L"client", L"restart"}, kInvalidArguments},
        WrongInput{"StartWithWord", {L"client", L"start", L"now"}, kIncorrectNumber},
        WrongInput{"UnknownClientWordWithWord", {L"client", L"restart", L"now"}, kIncorrectNumber}),
    RowName<WrongInput>);

// The parsed values as the service receives them; its answer (it refuses a size of 0, for one) does not
// matter here.
struct SentValue {
    const char* name;
    std::vector<std::wstring> args;
    const char* method;
    const char* arguments; // all of them, or only the size element of the settings array
};

class SentValueTest : public CommandTest, public ::testing::WithParamInterface<SentValue> {};

TEST_P(SentValueTest, ReachesTheService) {
    Scenario(R"({"client": {"isAdmin": true}})");
    std::vector<std::wstring> args = {L"cache"};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    Run(args);
    std::string sent = ArgumentsOf(GetParam().method);
    if (GetParam().args.front() == L"size") {
        sent = nlohmann::ordered_json::parse(sent).at(0).at(4).dump();
    }
    EXPECT_EQ(sent, GetParam().arguments);
}

INSTANTIATE_TEST_SUITE_P(CommandLine, SentValueTest,
                         ::testing::Values(SentValue{"SizeNotANumberIsZero",
                                                     {L"size", L"abc"},
                                                     "IStreamingCache.SetCacheSettings",
                                                     R"({"vt":3,"value":0})"},
                                           SentValue{"SizeNegative",
                                                     {L"size", L"-5"},
                                                     "IStreamingCache.SetCacheSettings",
                                                     R"({"vt":3,"value":-5})"},
                                           SentValue{"BlankFieldIsEmpty",
                                                     {L"multisource", L"add", L"{G}|C:\\src.stc| |true"},
                                                     "IStreamingCache.AddMultiSourceFile",
                                                     R"(["{G}","C:\\src.stc","",-1])"},
                                           SentValue{"DoubleSeparatorCollapses",
                                                     {L"multisource", L"add", L"{G}||C:\\dst|TRUE"},
                                                     "IStreamingCache.AddMultiSourceFile",
                                                     R"(["{G}","C:\\dst","TRUE",0])"},
                                           SentValue{"LoneSeparator",
                                                     {L"multisource", L"add", L"|"},
                                                     "IStreamingCache.AddMultiSourceFile",
                                                     R"(["","","",0])"},
                                           SentValue{"DeleteKeepsPadding",
                                                     {L"multisource", L"delete", L"  {G} "},
                                                     "IStreamingCache.DeleteMultiSourceFile",
                                                     R"(["  {G} "])"},
                                           SentValue{"GetIdListNone",
                                                     {L"multisource", L"getIdList"},
                                                     "IStreamingCache.GetMultiSourceFileIdList",
                                                     "[0]"},
                                           SentValue{"GetIdListTrue",
                                                     {L"multisource", L"getIdList", L"true"},
                                                     "IStreamingCache.GetMultiSourceFileIdList",
                                                     "[-1]"}),
                         RowName<SentValue>);

} // namespace
} // namespace quillet::testing
