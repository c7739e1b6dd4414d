#include "AppsFixture.h"
#include "Files.h"

namespace quillet::testing {
namespace {

constexpr DWORD kAlreadyExists = 0x800700B7;
constexpr DWORD kNotFound = 0x80070490;
constexpr DWORD kClassNotRegistered = 0x80040154;
constexpr long long kRequiresRebootMask = 0x20000000;

// A token file for Alpha, removed again at the end of the test.
class AddTest : public AppsTest {
protected:
    void SetUp() override {
        AppsTest::SetUp();
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_token = std::wstring(temp) + L"quillet-add-" + std::to_wstring(GetCurrentProcessId()) + L".tok";
    }
    void TearDown() override { DeleteFileW(m_token.c_str()); }

    RunResult Add(const char* rebootJson) {
        WriteBytes(m_token, R"({"name":"Alpha","guid":")" + ToUtf8(kAlpha) + R"(","requiresReboot":)" +
                                std::string(rebootJson) + "}");
        return Quillet({L"application", L"add", m_token});
    }

    std::wstring m_token;
};

const std::string kNameAndGuid = "AppName: [Alpha]\nAppGuid: [" + ToUtf8(kAlpha) + "]\n";

TEST_F(AddTest, PrintsTheNewApplicationsNameAndGuid) {
    Scenario().Client(0).Write();
    const RunResult result = Add("false");
    EXPECT_EQ(result.output, Crlf("Adding application... Success.\n" + kNameAndGuid));
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(AppState(kAlpha), 1);
    const std::vector<nlohmann::ordered_json> journal = Journal();
    EXPECT_EQ((ArgumentsOf(journal, "AddApplication").at(0)).dump(),
              "[" + nlohmann::ordered_json(ToUtf8(m_token)).dump() + ",0]");
    const std::vector<nlohmann::ordered_json> queries = ArgumentsOf(journal, "GetApplicationProperties");
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0].dump(), "[\"" + ToUtf8(kAlpha) + "\"," + std::to_string(kRequiresRebootMask) + "]");
}

TEST_F(AddTest, TellsWhenTheApplicationRequiresAReboot) {
    Scenario().Client(4).Write();
    const RunResult result = Add("true");
    EXPECT_EQ(result.output, Crlf("Adding application... Success (Requires Reboot).\n" + kNameAndGuid));
    EXPECT_EQ(result.exitCode, 0u);
}

// Only VARIANT_TRUE itself means a reboot: the odd reply holds 7 in every element.
TEST_F(AddTest, RebootFlagOtherThanTrueIsNoReboot) {
    Scenario().Client(4).Reply("GetApplicationProperties", "wrongTypes").Write();
    const RunResult result = Add("true");
    EXPECT_EQ(result.output, Crlf("Adding application... Success.\n" + kNameAndGuid));
    EXPECT_EQ(result.exitCode, 0u);
}

// The application is added and reported, but the command fails with the query's code.
TEST_F(AddTest, FailedRebootQueryFailsTheCommandAfterTheAdd) {
    Scenario().Client(4).Fault("GetApplicationProperties", kNotFound).Write();
    const RunResult result = Add("true");
    EXPECT_EQ(result.output, Crlf("Adding application... Success.\n" + kNameAndGuid));
    EXPECT_EQ(result.exitCode, kNotFound);
    EXPECT_EQ(AppState(kAlpha), 1);
}

TEST_F(AddTest, RefusedAddPrintsFailed) {
    Scenario().Client(4).App(kAlpha, L"Existing", 1).Write();
    const RunResult result = Add("false");
    EXPECT_EQ(result.output, Crlf("Adding application... Failed\n"));
    EXPECT_EQ(result.exitCode, kAlreadyExists);
    EXPECT_FALSE(Called(Journal(), "GetApplicationProperties"));
}

TEST_F(AddTest, ApplicationObjectThatCannotBeMadeOrInitialised) {
    Scenario().Client(4).Fault("IStreamingApplication.CreateInstance", kClassNotRegistered).Write();
    RunResult result = Add("false");
    EXPECT_EQ(result.output, Crlf("Error calling CoCreateInstance().\n"));
    EXPECT_EQ(result.exitCode, kClassNotRegistered);

    Scenario().Client(4).Fault("IStreamingApplication.Initialize", kFail).Write();
    emulator::ClearJournal();
    result = Add("false");
    EXPECT_EQ(result.output, Crlf("Error initializing IStreamingApplication object.\n"));
    EXPECT_EQ(result.exitCode, kFail);
    EXPECT_FALSE(Called(Journal(), "AddApplication"));
    EXPECT_EQ(AppState(kAlpha), -1);
}

} // namespace
} // namespace quillet::testing
