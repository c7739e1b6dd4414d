#include "ServiceState.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

using nlohmann::ordered_json;

TEST(ServiceState, MissingFieldsTakeTheirDefaults) {
    emulator::ServiceState state = emulator::StateFromJson(
        ordered_json::parse(R"({"applications":[{"guid":"{A}"}],"faults":[{"method":"StartClient"}],
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
    // What is written reads back the same, also from the text of state.json.
    const ordered_json written = emulator::StateToJson(state);
    EXPECT_EQ(emulator::StateToJson(emulator::StateFromJson(written, L"X")), written);
    EXPECT_EQ(ordered_json::parse(emulator::StateText(state)), written);
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
        {R"({"faults":[{"method":"X","hr":"0x100000000"}]})", "state.faults[0].hr"},
        {R"({"faults":[{"method":"X","hr":"0x1FFFFFFFF"}]})", "state.faults[0].hr"},
        {R"({"faults":[{"method":"X","action":"explode"}]})", "state.faults[0].action"},
        {R"({"faults":[{}]})", "state.faults[0].method"},
        {R"({"replies":[{"method":"X"}]})", "state.replies[0].shape"},
        {R"({"multisource":[{"size":1.5}]})", "state.multisource[0].size"},
    };
    for (const auto& test : cases) {
        try {
            emulator::StateFromJson(ordered_json::parse(test.input), L"");
            ADD_FAILURE() << test.input << " was accepted";
        } catch (const emulator::StateError& error) {
            EXPECT_NE(std::string(error.what()).find(test.field), std::string::npos) << error.what();
        }
    }
}

TEST(ServiceState, StatesMayHoldAny32BitPattern) {
    emulator::ServiceState state =
        emulator::StateFromJson(ordered_json::parse(R"({"applications":[{"state":4294967295},{"state":-7}],
                                                         "faults":[{"method":"X","hr":-2147467259}]})"),
                                L"");
    EXPECT_EQ(state.applications[0].state, -1);
    EXPECT_EQ(state.applications[1].state, -7);
    EXPECT_EQ(emulator::HresultText(state.faults[0].hr), "0x80004005");
}

} // namespace
} // namespace quillet
