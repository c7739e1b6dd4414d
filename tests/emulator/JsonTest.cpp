#include "ServiceState.h"
#include "json/Json.h"
#include "json/Utf8.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

TEST(Json, ParsesAndWritesBackCompactly) {
    const struct {
        const char* input;
        const char* compact;
    } cases[] = {
        {" { \"a\" : [1, -2, 3.5, true, false, null] } ", R"({"a":[1,-2,3.5,true,false,null]})"},
        {"\xEF\xBB\xBF{}", "{}"},
        {R"("tab\t quote\" back\\ nl\n \u0001")", R"("tab\t quote\" back\\ nl\n \u0001")"},
        {R"("\u00e9\u20ac\ud83d\ude00")", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},
        {R"("\/")", R"("/")"},
        {"9223372036854775807", "9223372036854775807"},
        {"-9223372036854775808", "-9223372036854775808"},
        {"1e3", "1000.0"},
        {"45123.5", "45123.5"},
        {"0.1", "0.1"},
        {R"({"b":1,"a":2})", R"({"b":1,"a":2})"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.input);
        EXPECT_EQ(json::WriteCompact(json::Parse(test.input)), test.compact);
    }
}

TEST(Json, RejectsWhatIsNotJson) {
    const char* cases[] = {"",      "{",        "[1,]",      R"({"a" 1})", "01",      "1.",
                           "-",     "tru",      "\"abc",     "\"\t\"",     R"("\x")", "{} {}",
                           "[1 2]", R"({a:1})", "\"\\u12\"", "1e",         "nul"};
    for (const char* input : cases) {
        EXPECT_THROW(json::Parse(input), json::ParseError) << input;
    }
    std::string deep(1000, '[');
    EXPECT_THROW(json::Parse(deep), json::ParseError) << "nesting is bounded";
}

TEST(Json, NumbersKeepTheirKind) {
    EXPECT_TRUE(json::Parse("42").IsInteger());
    EXPECT_FALSE(json::Parse("42.0").IsInteger());
    EXPECT_EQ(json::Parse("42.0").AsInteger(), 42) << "a whole double reads as an integer";
    EXPECT_THROW(json::Parse("42.5").AsInteger(), json::TypeError);
    EXPECT_EQ(json::Parse("18446744073709551616").AsDouble(), 18446744073709551616.0);
    EXPECT_EQ(json::Parse("45000.25"), json::Value(45000.25));
}

TEST(Utf8, ConvertsBothWaysAndReplacesWhatIsBroken) {
    const struct {
        std::wstring wide;
        std::string utf8;
    } cases[] = {
        {L"plain", "plain"},
        {L"\u00E9\u20AC", "\xC3\xA9\xE2\x82\xAC"},
        {std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}, "\xF0\x9F\x98\x80"},
    };
    for (const auto& test : cases) {
        EXPECT_EQ(json::ToUtf8(test.wide), test.utf8);
        EXPECT_EQ(json::FromUtf8(test.utf8), test.wide);
    }
    EXPECT_EQ(json::ToUtf8(std::wstring{wchar_t(0xD800), L'a'}), "\xEF\xBF\xBD"
                                                                 "a")
        << "unpaired surrogate";
    EXPECT_EQ(json::FromUtf8("\xC3"), L"\uFFFD") << "truncated sequence";
    EXPECT_EQ(json::FromUtf8("\xC0\xAF"), L"\uFFFD\uFFFD") << "overlong form";
    EXPECT_EQ(json::FromUtf8("\x80x"), L"\uFFFDx") << "stray continuation byte";
}

TEST(ServiceState, MissingFieldsTakeTheirDefaults) {
    emulator::ServiceState state = emulator::StateFromJson(
        json::Parse(R"({"applications":[{"guid":"{A}"}],"faults":[{"method":"StartClient"}],
                        "replies":[{"method":"GetCacheLocation","shape":"short"}]})"),
        L"C:\\Data\\Cache");
    EXPECT_EQ(state.client.state, 0);
    EXPECT_FALSE(state.client.isAdmin.has_value());
    EXPECT_EQ(state.applications.at(0).state, 1);
    EXPECT_EQ(state.applications.at(0).stopPolls, 0);
    EXPECT_FALSE(state.applications.at(0).requiresReboot);
    EXPECT_EQ(state.cache.location, L"C:\\Data\\Cache");
    EXPECT_EQ(state.cache.sizeMB, 2048);
    EXPECT_EQ(state.faults.at(0).hr, static_cast<std::int32_t>(0x80004005));
    EXPECT_EQ(state.faults.at(0).times, 1);
    EXPECT_EQ(state.faults.at(0).action, emulator::FaultAction::Fail);
    EXPECT_EQ(state.replies.at(0).times, -1);
    // What is written reads back the same.
    json::Value written = emulator::StateToJson(state);
    EXPECT_EQ(emulator::StateToJson(emulator::StateFromJson(written, L"X")), written);
}

TEST(ServiceState, ComplaintsNameTheField) {
    const struct {
        const char* input;
        const char* field;
    } cases[] = {
        {R"([])", "state must be an object"},
        {R"({"client":{"state":"2"}})", "state.client.state"},
        {R"({"client":{"isAdmin":1}})", "state.client.isAdmin"},
        {R"({"applications":{}})", "state.applications must be an array"},
        {R"({"applications":[{"state":4294967296}]})", "state.applications[0].state"},
        {R"({"faults":[{"method":"X","hr":"80004005"}]})", "state.faults[0].hr"},
        {R"({"faults":[{"method":"X","action":"explode"}]})", "state.faults[0].action"},
        {R"({"faults":[{}]})", "state.faults[0].method"},
        {R"({"replies":[{"method":"X"}]})", "state.replies[0].shape"},
        {R"({"multisource":[{"size":1.5}]})", "state.multisource[0].size"},
    };
    for (const auto& test : cases) {
        try {
            emulator::StateFromJson(json::Parse(test.input), L"");
            ADD_FAILURE() << test.input << " was accepted";
        } catch (const emulator::StateError& error) {
            EXPECT_NE(std::string(error.what()).find(test.field), std::string::npos) << error.what();
        }
    }
}

TEST(ServiceState, StatesMayHoldAny32BitPattern) {
    emulator::ServiceState state =
        emulator::StateFromJson(json::Parse(R"({"applications":[{"state":4294967295},{"state":-7}],
                                                 "faults":[{"method":"X","hr":-2147467259}]})"),
                                L"");
    EXPECT_EQ(state.applications[0].state, -1);
    EXPECT_EQ(state.applications[1].state, -7);
    EXPECT_EQ(emulator::HresultText(state.faults[0].hr), "0x80004005");
}

} // namespace
} // namespace quillet
