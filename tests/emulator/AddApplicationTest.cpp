#include "EmulatorTest.h"
#include "Files.h"
#include "LoopbackHttpServer.h"
#include "win32/Stopwatch.h"
#include "win32/UniqueHandle.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

namespace quillet::testing {
namespace {

constexpr HRESULT kAlreadyExists = static_cast<HRESULT>(0x800700B7);
constexpr HRESULT kInvalidData = static_cast<HRESULT>(0x8007000D);
constexpr HRESULT kNotReady = static_cast<HRESULT>(0x80070015);
constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002);
constexpr HRESULT kHttpNotFound = static_cast<HRESULT>(0x80190194);
constexpr HRESULT kTimedOut = static_cast<HRESULT>(0x80072EE2);
constexpr HRESULT kNotADiskFile = static_cast<HRESULT>(0x800700DE);
constexpr HRESULT kTooLarge = static_cast<HRESULT>(0x800700DF);

class AddApplicationTest : public EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        m_tokenPath = std::wstring(folder) + L"quillet-emulator-test.tok";
        Scenario(R"({"client":{"state":4}})");
    }
    void TearDown() override {
        DeleteFileW(m_tokenPath.c_str());
        EmulatorTest::TearDown();
    }

    void WriteToken(const std::string& content) { WriteBytes(m_tokenPath, content); }

    HRESULT Add(const std::wstring& source, VARIANT_BOOL isUrl, std::wstring& name, std::wstring& guid) {
        auto application = Application();
        auto sourceText = Bstr(source);
        UniqueBstr nameOut;
        UniqueBstr guidOut;
        HRESULT hr = application->AddApplication(sourceText.get(), isUrl, nameOut.put(), guidOut.put());
        name = nameOut.Text().value_or(L"(null)");
        guid = guidOut.Text().value_or(L"(null)");
        return hr;
    }

    std::wstring m_tokenPath;
};

TEST_F(AddApplicationTest, TokenFileAddsTheApplicationInStateOne) {
    WriteToken(R"({"name":"Alpha Ω","guid":"{0a0a0a0a-0000-4000-8000-00000000000a}","requiresReboot":true})");
    std::wstring name;
    std::wstring guid;
    ASSERT_EQ(Add(m_tokenPath, VARIANT_FALSE, name, guid), S_OK);
    EXPECT_EQ(name, L"Alpha \u03A9");
    EXPECT_EQ(guid, kAppA) << "guids are given back in canonical form";
    EXPECT_EQ(ApplicationState(kAppA), 1);
    const nlohmann::ordered_json added = State().at("applications").at(0);
    EXPECT_EQ(added.at("requiresReboot"), true);
    EXPECT_EQ(added.at("stopPolls"), 0);
}

TEST_F(AddApplicationTest, TokenWithoutGuidGetsANewOne) {
    WriteToken("\xEF\xBB\xBF{\"name\":\"Beta\"}");
    std::wstring name;
    std::wstring first;
    std::wstring second;
    ASSERT_EQ(Add(m_tokenPath, VARIANT_FALSE, name, first), S_OK);
    ASSERT_EQ(Add(m_tokenPath, VARIANT_FALSE, name, second), S_OK);
    EXPECT_EQ(first.size(), 38u);
    EXPECT_NE(first, second);
    EXPECT_EQ(ApplicationCount(), 2u);
}

TEST_F(AddApplicationTest, RefusalsLeaveTheStateAlone) {
    const struct {
        const char* name;
        const char* token; // null: no token file at all
        int clientState;
        HRESULT expected;
    } cases[] = {
        {"existing guid", R"({"name":"Again","guid":"{0B0B0B0B-0000-4000-8000-00000000000B}"})", 4,
         kAlreadyExists},
        {"not JSON", "name=Alpha", 4, kInvalidData},
        {"not UTF-8", "{\"name\":\"Alpha \xFF\"}", 4, kInvalidData},
        {"no name", R"({"guid":"{0C0C0C0C-0000-4000-8000-00000000000C}"})", 4, kInvalidData},
        {"guid not a guid", R"({"name":"Alpha","guid":"alpha"})", 4, kInvalidData},
        {"reboot flag not a boolean", R"({"name":"Alpha","requiresReboot":"yes"})", 4, kInvalidData},
        {"missing file", nullptr, 4, kFileNotFound},
        {"applications not initialised", R"({"name":"Alpha"})", 2, kNotReady},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        Scenario(R"({"client":{"state":)" + std::to_string(test.clientState) +
                 R"(},"applications":[{"guid":")" + ToUtf8(kAppB) + R"(","name":"Beta"}]})");
        DeleteFileW(m_tokenPath.c_str());
        if (test.token != nullptr) {
            WriteToken(test.token);
        }
        std::wstring name;
        std::wstring guid;
        EXPECT_EQ(Add(m_tokenPath, VARIANT_FALSE, name, guid), test.expected);
        EXPECT_EQ(name, L"(null)");
        EXPECT_EQ(guid, L"(null)");
        EXPECT_EQ(ApplicationCount(), 1u);
    }
}

TEST_F(AddApplicationTest, TokenRequestUrlIsFetched) {
    LoopbackHttpServer server(200, R"({"name":"Gamma","guid":"{0A0A0A0A-0000-4000-8000-00000000000A}"})");
    std::wstring name;
    std::wstring guid;
    ASSERT_EQ(Add(server.Url(L"/tokens/gamma?user=1"), VARIANT_TRUE, name, guid), S_OK);
    EXPECT_EQ(server.LastRequestLine(), "GET /tokens/gamma?user=1 HTTP/1.1");
    EXPECT_EQ(name, L"Gamma");
    EXPECT_EQ(guid, kAppA);
    EXPECT_EQ(ApplicationState(kAppA), 1);
}

TEST_F(AddApplicationTest, TokenRequestUrlFailuresAreRefusals) {
    {
        LoopbackHttpServer server(404, "not here");
        std::wstring name;
        std::wstring guid;
        EXPECT_EQ(Add(server.Url(L"/missing"), VARIANT_TRUE, name, guid), kHttpNotFound);
    }
    {
        LoopbackHttpServer server(200, "<html>no token</html>");
        std::wstring name;
        std::wstring guid;
        EXPECT_EQ(Add(server.Url(L"/page"), VARIANT_TRUE, name, guid), kInvalidData);
    }
    std::wstring name;
    std::wstring guid;
    EXPECT_LT(Add(L"http://127.0.0.1:1/closed", VARIANT_TRUE, name, guid), 0) << "nothing listens there";
    EXPECT_EQ(ApplicationCount(), 0u);
}

// One add from a client of its own, as another process would make it.
struct SlowAdd {
    const char* name;
    std::wstring source;
    VARIANT_BOOL isUrl;
    HRESULT expected;
    HRESULT hr = E_PENDING;
    double ms = 0;
    std::atomic<bool> done{false};

    void Run() {
        {
            const emulator::Apartment apartment;
            ComPtr<IStreamingApplication> application;
            hr = CreateLocalServerObject(CLSID_StreamingApplication, IID_IStreamingApplication, application);
            if (SUCCEEDED(hr)) {
                hr = application->Initialize(GetCurrentProcessId());
            }
            if (SUCCEEDED(hr)) {
                auto text = Bstr(source);
                UniqueBstr addedName;
                UniqueBstr addedGuid;
                const Stopwatch watch;
                hr = application->AddApplication(text.get(), isUrl, addedName.put(), addedGuid.put());
                ms = watch.ElapsedMs();
            }
        }
        done = true;
    }
};

TEST_F(AddApplicationTest, SlowOrHostileTokenSourcesEndInTimeAndHoldUpNoOtherClient) {
    using Behaviour = LoopbackHttpServer::Behaviour;
    auto silent = std::make_unique<LoopbackHttpServer>(200, "", Behaviour::NeverAnswer);
    auto trickle = std::make_unique<LoopbackHttpServer>(200, R"({"name":"Slow"})", Behaviour::Trickle);
    auto tls = std::make_unique<LoopbackHttpServer>(200, "", Behaviour::StallTls);
    const std::wstring pipeName =
        L"\\\\.\\pipe\\quillet-emulator-test-" + std::to_wstring(ProcessId()) + L".tok";
    UniqueFile pipe(
        CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr));
    ASSERT_TRUE(pipe);
    const std::wstring huge = m_tokenPath + L".huge";
    {
        const UniqueFile file(
            CreateFileW(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        LARGE_INTEGER size;
        size.QuadPart = 1200LL << 20;
        ASSERT_TRUE(file && SetFilePointerEx(file.get(), size, nullptr, FILE_BEGIN) &&
                    SetEndOfFile(file.get()));
    }
    SlowAdd cases[] = {
        {"a server that never answers", silent->Url(L"/never"), VARIANT_TRUE, kTimedOut},
        {"a server that sends a byte every 5 s", trickle->Url(L"/slow"), VARIANT_TRUE, kTimedOut},
        {"a TLS handshake that never ends", tls->Url(L"/stalled"), VARIANT_TRUE, kTimedOut},
        {"a pipe whose server never writes", pipeName, VARIANT_FALSE, kNotADiskFile},
        {"a sparse file of 1.2 GB", huge, VARIANT_FALSE, kTooLarge},
    };
    auto other = Application();
    std::vector<std::thread> adds;
    for (SlowAdd& add : cases) {
        adds.emplace_back([&add] { add.Run(); });
    }
    // Another client is answered at once while the adds wait.
    const Stopwatch started;
    for (int i = 0; i < 4; ++i) {
        Sleep(2000);
        const Stopwatch watch;
        LONG count = -1;
        UniqueVariant list;
        EXPECT_EQ(other->GetApplicationList(-1, &count, list.put()), S_OK);
        EXPECT_LT(watch.ElapsedMs(), 2000.0) << "a list query waited for the adds";
    }
    while (started.ElapsedMs() < 25000 && !std::all_of(std::begin(cases), std::end(cases),
                                                       [](const SlowAdd& add) { return add.done.load(); })) {
        Sleep(100);
    }
    // Whatever still waits is let go, so that the test ends.
    silent.reset();
    trickle.reset();
    tls.reset();
    pipe.reset();
    for (std::thread& add : adds) {
        add.join();
    }
    DeleteFileW(huge.c_str());
    for (const SlowAdd& add : cases) {
        SCOPED_TRACE(add.name);
        EXPECT_EQ(add.hr, add.expected);
        EXPECT_LT(add.ms, 20000.0);
    }
    EXPECT_EQ(ApplicationCount(), 0u);
}

} // namespace
} // namespace quillet::testing
