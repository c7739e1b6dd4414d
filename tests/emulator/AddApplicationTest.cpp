#include "EmulatorTest.h"
#include "LoopbackHttpServer.h"

namespace quillet::testing {
namespace {

constexpr HRESULT kAlreadyExists = static_cast<HRESULT>(0x800700B7);
constexpr HRESULT kInvalidData = static_cast<HRESULT>(0x8007000D);
constexpr HRESULT kNotReady = static_cast<HRESULT>(0x80070015);
constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002);
constexpr HRESULT kHttpNotFound = static_cast<HRESULT>(0x80190194);

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
                 R"(},"applications":[{"guid":")" + Utf8(kAppB) + R"(","name":"Beta"}]})");
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

} // namespace
} // namespace quillet::testing
