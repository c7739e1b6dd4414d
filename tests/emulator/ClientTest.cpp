#include "ClientObject.h"
#include "EmulatorTest.h"

namespace quillet::testing {
namespace {

using ClientCall = HRESULT (*)(IStreamingClient*);

struct ClientCase {
    const char* name;
    int from;
    ClientCall call;
    HRESULT expected;
    int to;
};

HRESULT Start(IStreamingClient* client) {
    return client->StartClient();
}
HRESULT Stop(IStreamingClient* client) {
    return client->StopClient();
}
HRESULT Init(IStreamingClient* client) {
    return client->InitApplications();
}
HRESULT Uninit(IStreamingClient* client) {
    return client->UninitApplications();
}

const ClientCase kClientCases[] = {
    {"start from stopped", 0, Start, S_OK, 2},
    {"start when started", 2, Start, static_cast<HRESULT>(0xA0044011), 2},
    {"start when initialised", 4, Start, static_cast<HRESULT>(0xA0044011), 4},
    {"start when offline", 5, Start, static_cast<HRESULT>(0xA0044011), 5},
    {"init when started", 2, Init, S_OK, 4},
    {"init when initialised", 4, Init, static_cast<HRESULT>(0xA0044021), 4},
    {"init when stopped", 0, Init, static_cast<HRESULT>(0x80070015), 0},
    {"init when offline", 5, Init, static_cast<HRESULT>(0x800708CA), 5},
    {"uninit when initialised", 4, Uninit, S_OK, 2},
    {"uninit when started", 2, Uninit, static_cast<HRESULT>(0xA0044020), 2},
    {"uninit when stopped", 0, Uninit, static_cast<HRESULT>(0xA0044020), 0},
    {"stop when started", 2, Stop, S_OK, 0},
    {"stop when offline", 5, Stop, S_OK, 0},
    {"stop when stopped", 0, Stop, static_cast<HRESULT>(0xA0044010), 0},
    {"stop under initialised applications", 4, Stop, static_cast<HRESULT>(0x8007139F), 4},
};

TEST_F(EmulatorTest, ClientStateMachine) {
    for (const ClientCase& test : kClientCases) {
        SCOPED_TRACE(test.name);
        Scenario(R"({"client":{"state":)" + std::to_string(test.from) + "}}");
        auto client = Client();
        ASSERT_TRUE(client);
        EXPECT_EQ(test.call(client.get()), test.expected);
        LONG state = -1;
        EXPECT_EQ(client->GetClientState(&state), S_OK);
        EXPECT_EQ(state, test.to);
        EXPECT_EQ(ClientState(), test.to) << "state.json";
    }
}

TEST_F(EmulatorTest, CallsBeforeInitializeAndAfterUninitializeAreRefused) {
    ComPtr<IStreamingClient> client;
    ASSERT_EQ(CreateLocalServerObject(CLSID_StreamingClient, IID_IStreamingClient, client), S_OK);
    LONG state = 0;
    EXPECT_EQ(client->GetClientState(&state), E_UNEXPECTED);
    EXPECT_EQ(client->Uninitialize(), E_UNEXPECTED);
    EXPECT_EQ(client->Initialize(ProcessId()), S_OK);
    EXPECT_EQ(client->GetClientState(&state), S_OK);
    EXPECT_EQ(client->Uninitialize(), S_OK);
    EXPECT_EQ(client->StartClient(), E_UNEXPECTED);
    EXPECT_EQ(ClientState(), 0) << "a refused call changes nothing";
}

TEST_F(EmulatorTest, IsUserAdministratorFollowsTheScenarioOrTheRealUser) {
    const struct {
        const char* isAdmin;
        VARIANT_BOOL expected;
    } cases[] = {
        {"true", VARIANT_TRUE},
        {"false", VARIANT_FALSE},
        // Without a setting the real check answers; this process runs as the caller with the same token.
        {"null", quillet::emulator::CallerIsAdministrator() ? VARIANT_TRUE : VARIANT_FALSE},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.isAdmin);
        Scenario(std::string(R"({"client":{"state":0,"isAdmin":)") + test.isAdmin + "}}");
        auto client = Client();
        VARIANT_BOOL isAdmin = 7;
        EXPECT_EQ(client->IsUserAdministrator(&isAdmin), S_OK);
        EXPECT_EQ(isAdmin, test.expected);
    }
}

} // namespace
} // namespace quillet::testing
