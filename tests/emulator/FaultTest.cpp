#include "EmulatorTest.h"

namespace quillet::testing {
namespace {

constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005);

nlohmann::ordered_json Fault(size_t index) {
    return emulator::ReadState().at("faults").at(index);
}

std::string LastJournalFault() {
    const std::vector<nlohmann::ordered_json> journal = emulator::ReadJournal();
    for (auto it = journal.rbegin(); it != journal.rend(); ++it) {
        if (it->contains("fault")) {
            return it->at("fault").get<std::string>();
        }
    }
    return "";
}

TEST_F(EmulatorTest, FailFaultReturnsItsHresultWithoutDoingAnything) {
    Scenario(R"({"faults":[{"method":"StartClient","hr":"0x80070005"}]})");
    auto client = Client();
    EXPECT_EQ(client->StartClient(), kAccessDenied);
    EXPECT_EQ(ClientState(), 0);
    EXPECT_EQ(LastJournalFault(), "fail");
    EXPECT_EQ(Fault(0).at("times"), 0) << "one time by default, counted down in state.json";
    EXPECT_EQ(client->StartClient(), S_OK);
    EXPECT_EQ(ClientState(), 2);
}

TEST_F(EmulatorTest, FaultSkipsThenActsTimesCalls) {
    Scenario(R"({"faults":[{"method":"GetClientState","hr":"0x80070005","skip":2,"times":2}]})");
    auto client = Client();
    const struct {
        HRESULT expected;
        long long skipAfter;
        long long timesAfter;
    } calls[] = {
        {S_OK, 1, 2}, {S_OK, 0, 2}, {kAccessDenied, 0, 1}, {kAccessDenied, 0, 0}, {S_OK, 0, 0}, {S_OK, 0, 0},
    };
    int number = 0;
    for (const auto& call : calls) {
        SCOPED_TRACE(++number);
        LONG state = -1;
        EXPECT_EQ(client->GetClientState(&state), call.expected);
        const nlohmann::ordered_json fault = Fault(0);
        EXPECT_EQ(fault.at("skip"), call.skipAfter);
        EXPECT_EQ(fault.at("times"), call.timesAfter);
    }
}

TEST_F(EmulatorTest, FaultWithTimesMinusOneActsOnEveryCall) {
    Scenario(R"({"faults":[{"method":"GetClientState","hr":-2147024891,"times":-1}]})");
    auto client = Client();
    for (int i = 0; i < 5; ++i) {
        LONG state = 0;
        EXPECT_EQ(client->GetClientState(&state), kAccessDenied);
    }
    EXPECT_EQ(Fault(0).at("times"), -1);
}

TEST_F(EmulatorTest, FaultWithGuidMatchesOnlyCallsForThatApplication) {
    Scenario(R"({"client":{"state":4},"applications":[{"guid":")" + ToUtf8(kAppA) + R"("},{"guid":")" +
             ToUtf8(kAppB) + R"("}],"faults":[{"method":"LoadApplication","hr":"0x80070005","guid":")" +
             ToUtf8(kAppB) + R"("}]})");
    auto application = Application();
    auto a = Bstr(kAppA);
    auto b = Bstr(kAppB);
    EXPECT_EQ(application->LoadApplication(a.get()), S_OK);
    EXPECT_EQ(Fault(0).at("times"), 1) << "a call for another guid does not count";
    EXPECT_EQ(application->LoadApplication(b.get()), kAccessDenied);
    EXPECT_EQ(ApplicationState(kAppB), 1);
}

TEST_F(EmulatorTest, FaultNamesAreQualifiedWhereInterfacesShareThem) {
    const struct {
        const char* method;
        HRESULT client;
        HRESULT cache;
    } cases[] = {
        {"IStreamingCache.Initialize", S_OK, kAccessDenied},
        {"istreamingclient.initialize", kAccessDenied, S_OK},
        {"Initialize", kAccessDenied, kAccessDenied},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.method);
        Scenario(std::string(R"({"faults":[{"method":")") + test.method +
                 R"(","hr":"0x80070005","times":-1}]})");
        ComPtr<IStreamingClient> client;
        ASSERT_EQ(CreateLocalServerObject(CLSID_StreamingClient, IID_IStreamingClient, client), S_OK);
        EXPECT_EQ(client->Initialize(ProcessId()), test.client);
        ComPtr<IStreamingCache> cache;
        ASSERT_EQ(CreateLocalServerObject(CLSID_StreamingCache, IID_IStreamingCache, cache), S_OK);
        EXPECT_EQ(cache->Initialize(ProcessId()), test.cache);
    }
}

TEST_F(EmulatorTest, CreateInstanceFaultMakesActivationFail) {
    Scenario(R"({"faults":[{"method":"IStreamingCache.CreateInstance","hr":"0x80070005"}]})");
    ComPtr<IStreamingCache> cache;
    EXPECT_EQ(CreateLocalServerObject(CLSID_StreamingCache, IID_IStreamingCache, cache), kAccessDenied);
    EXPECT_FALSE(cache);
    ComPtr<IStreamingClient> client;
    EXPECT_EQ(CreateLocalServerObject(CLSID_StreamingClient, IID_IStreamingClient, client), S_OK);
    EXPECT_EQ(CreateLocalServerObject(CLSID_StreamingCache, IID_IStreamingCache, cache), S_OK) << "spent";
    std::vector<std::string> journal = emulator::ReadJournalLines();
    ASSERT_FALSE(journal.empty());
    EXPECT_EQ(journal[0], R"({"seq":1,"event":"create","interface":"IStreamingCache","hr":"0x80070005"})");
}

TEST_F(EmulatorTest, HangFaultSleepsThirtySecondsThenFails) {
    Scenario(R"({"faults":[{"method":"StopClient","hr":"0x800705B4","action":"hang"}]})");
    auto client = Client();
    ULONGLONG start = GetTickCount64();
    EXPECT_EQ(client->StopClient(), static_cast<HRESULT>(0x800705B4));
    ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_GE(elapsed, 29500u);
    EXPECT_LT(elapsed, 40000u);
    EXPECT_EQ(LastJournalFault(), "hang");
}

TEST_F(EmulatorTest, CrashFaultEndsTheEmulatorInsideTheCallAndItComesBack) {
    Scenario(R"({"faults":[{"method":"StartClient","hr":"0x8000FFFF","action":"crash"}]})");
    {
        auto client = Client();
        HRESULT hr = client->StartClient();
        EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
        EXPECT_NE(hr, static_cast<HRESULT>(0x8000FFFF))
            << "the client sees the broken connection, not the fault";
    }
    EXPECT_EQ(LastJournalFault(), "crash");
    EXPECT_EQ(Fault(0).at("times"), 0) << "counted down before the crash";
    ASSERT_EQ(emulator::RecoverAfterCrash(), S_OK);
    auto client = Client();
    EXPECT_EQ(client->StartClient(), S_OK);
    EXPECT_EQ(ClientState(), 2);
}

} // namespace
} // namespace quillet::testing
