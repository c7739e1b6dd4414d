#include "EmulatorTest.h"

namespace quillet::testing {

void EmulatorTest::SetUp() {
    m_apartment = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    emulator::ClearScenario();
    emulator::ClearJournal();
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
    emulator::ClearJournal();
}

void EmulatorTest::TearDown() {
    if (m_apartment) {
        CoUninitialize();
    }
}

ComPtr<IStreamingClient> EmulatorTest::Client() {
    ComPtr<IStreamingClient> client;
    EXPECT_EQ(CreateLocalServerObject(CLSID_StreamingClient, IID_IStreamingClient, client), S_OK);
    if (client) {
        EXPECT_EQ(client->Initialize(ProcessId()), S_OK);
    }
    return client;
}

ComPtr<IStreamingApplication> EmulatorTest::Application() {
    ComPtr<IStreamingApplication> application;
    EXPECT_EQ(CreateLocalServerObject(CLSID_StreamingApplication, IID_IStreamingApplication, application),
              S_OK);
    if (application) {
        EXPECT_EQ(application->Initialize(ProcessId()), S_OK);
    }
    return application;
}

ComPtr<IStreamingCache> EmulatorTest::Cache() {
    ComPtr<IStreamingCache> cache;
    EXPECT_EQ(CreateLocalServerObject(CLSID_StreamingCache, IID_IStreamingCache, cache), S_OK);
    if (cache) {
        EXPECT_EQ(cache->Initialize(ProcessId()), S_OK);
    }
    return cache;
}

long long EmulatorTest::ApplicationState(std::wstring_view guid) {
    for (const auto& application : State().value("applications", nlohmann::ordered_json::array())) {
        if (application.at("guid") == ToUtf8(guid)) {
            return application.at("state").get<long long>();
        }
    }
    return -1;
}

size_t EmulatorTest::ApplicationCount() {
    return State().value("applications", nlohmann::ordered_json::array()).size();
}

long long EmulatorTest::ClientState() {
    const nlohmann::ordered_json state = State();
    return state.contains("client") ? state["client"].at("state").get<long long>() : 0;
}

} // namespace quillet::testing
