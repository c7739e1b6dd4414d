#include "EmulatorTest.h"
#include "Files.h"
#include "win32/WholeFile.h"

#include <functional>

namespace quillet::testing {
namespace {

constexpr HRESULT kAlreadyExists = static_cast<HRESULT>(0x800700B7);
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070490);
constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x80070002);
constexpr HRESULT kFileExists = static_cast<HRESULT>(0x80070050);

bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Content(const std::wstring& path) {
    std::string content;
    return SUCCEEDED(ReadWholeFile(path, content)) ? content : "(unreadable)";
}

class MultisourceTest : public EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        wchar_t folder[MAX_PATH];
        DWORD length = GetTempPathW(MAX_PATH, folder);
        m_folder = std::wstring(folder, length) + L"quillet-emulator-multisource";
        m_target = m_folder + L"\\target";
        CreateDirectoryW(m_folder.c_str(), nullptr);
        CreateDirectoryW(m_target.c_str(), nullptr);
        m_source = m_folder + L"\\payload.bin";
        WriteBytes(m_source, std::string(1234, 'x'));
        DeleteFileW((m_target + L"\\payload.bin").c_str());
        DeleteFileW((emulator::CacheFolder() + L"\\payload.bin").c_str());
        // Any client state will do for multisource files; 0 shows it.
        Scenario(R"({"client":{"state":0},"applications":[{"guid":")" + ToUtf8(kAppA) + R"("},{"guid":")" +
                 ToUtf8(kAppB) + R"("}]})");
    }

    HRESULT Add(const wchar_t* guid, const std::wstring& source, const std::wstring& destination,
                VARIANT_BOOL overwrite = VARIANT_FALSE) {
        auto cache = Cache();
        auto id = Bstr(guid);
        auto from = Bstr(source);
        auto to = Bstr(destination);
        return cache->AddMultiSourceFile(id.get(), from.get(), to.get(), overwrite);
    }

    ReplyView Info(const wchar_t* guid, HRESULT expected = S_OK) {
        auto cache = Cache();
        auto id = Bstr(guid);
        UniqueVariant info;
        EXPECT_EQ(cache->GetMultiSourceFileInfo(id.get(), info.put()), expected);
        return ViewOf(info);
    }

    std::wstring m_folder;
    std::wstring m_target;
    std::wstring m_source;
};

TEST_F(MultisourceTest, AddCopiesIntoTheDestinationFolderOrTheCache) {
    const struct {
        const char* name;
        std::wstring destination;
        std::wstring expectedLocal;
    } cases[] = {
        {"empty destination: the cache folder", L"", emulator::CacheFolder() + L"\\payload.bin"},
        {"a folder", m_target, m_target + L"\\payload.bin"},
        {"a folder with a trailing backslash", m_target + L"\\", m_target + L"\\payload.bin"},
        {"the source itself: no copy", m_source, m_source},
        {"the source's own folder: no copy", m_folder, m_source},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        DeleteFileW(test.expectedLocal == m_source ? L"" : test.expectedLocal.c_str());
        ASSERT_EQ(Add(kAppA, m_source, test.destination, VARIANT_TRUE), S_OK);
        EXPECT_TRUE(Exists(test.expectedLocal));
        ReplyView info = Info(kAppA);
        ASSERT_EQ(info.elements.size(), 7u);
        const VARTYPE types[] = {VT_BSTR, VT_BSTR, VT_BSTR, VT_I8, VT_I8, VT_DATE, VT_DATE};
        for (size_t i = 0; i < 7; ++i) {
            EXPECT_EQ(info.elements[i].value.vt, types[i]) << i;
        }
        EXPECT_EQ(info.elements[0].Text(), kAppA);
        EXPECT_EQ(info.elements[1].Text(), m_source);
        EXPECT_EQ(info.elements[2].Text(), test.expectedLocal);
        EXPECT_EQ(info.elements[3].value.llVal, 1234);
        EXPECT_EQ(info.elements[4].value.llVal, 1234);
        EXPECT_GT(info.elements[5].value.date, 40000.0) << "a date after 2009";
        EXPECT_GE(info.elements[6].value.date, info.elements[5].value.date);
        EXPECT_TRUE(Exists(m_source)) << "the source stays";
    }
}

TEST_F(MultisourceTest, AddRefusals) {
    ASSERT_EQ(Add(kAppB, m_source, L""), S_OK);
    EXPECT_EQ(Add(kAppB, m_source, m_target), kAlreadyExists) << "existing entry without overwrite";
    EXPECT_EQ(Add(kAppB, m_source, m_target, VARIANT_TRUE), S_OK) << "overwrite replaces it";
    EXPECT_FALSE(Exists(emulator::CacheFolder() + L"\\payload.bin")) << "the replaced copy goes";
    EXPECT_EQ(Add(kUnknownApp, m_source, L""), kNotFound);
    EXPECT_EQ(Add(kAppA, m_folder + L"\\missing.bin", L""), kFileNotFound);
    EXPECT_EQ(Add(kAppA, L"", L""), kFileNotFound);
    EXPECT_EQ(Add(kAppA, m_source, m_folder + L"\\no-such-folder"), static_cast<HRESULT>(0x80070003));
    EXPECT_EQ(State().at("multisource").size(), 1u);
}

TEST_F(MultisourceTest, DeleteRemovesTheEntryAndTheEmulatorsCopyOnly) {
    ASSERT_EQ(Add(kAppA, m_source, m_target), S_OK);
    ASSERT_EQ(Add(kAppB, m_source, m_source), S_OK);
    auto cache = Cache();
    auto a = Bstr(kAppA);
    auto b = Bstr(kAppB);
    EXPECT_EQ(cache->DeleteMultiSourceFile(a.get()), S_OK);
    EXPECT_FALSE(Exists(m_target + L"\\payload.bin"));
    EXPECT_EQ(cache->DeleteMultiSourceFile(b.get()), S_OK);
    EXPECT_TRUE(Exists(m_source)) << "a source that was never copied is not the emulator's to delete";
    EXPECT_EQ(cache->DeleteMultiSourceFile(b.get()), kNotFound);
    Info(kAppA, kNotFound);
}

TEST_F(MultisourceTest, IdListIsOneDimensionalAndEmptyWhenThereIsNothing) {
    auto cache = Cache();
    LONG count = -1;
    UniqueVariant none;
    ASSERT_EQ(cache->GetMultiSourceFileIdList(VARIANT_FALSE, &count, none.put()), S_OK);
    EXPECT_EQ(count, 0);
    ReplyView view = ViewOf(none);
    ASSERT_TRUE(view.hasArray);
    EXPECT_EQ(SafeArrayGetDim(none.parray), 1u);
    EXPECT_TRUE(view.elements.empty());

    Scenario(R"({"applications":[{"guid":")" + ToUtf8(kAppA) + R"("},{"guid":")" + ToUtf8(kAppB) +
             R"("}],"multisource":[{"appGuid":")" + ToUtf8(kAppA) + R"(","finished":false},{"appGuid":")" +
             ToUtf8(kAppB) + R"("}]})");
    const struct {
        VARIANT_BOOL finishedOnly;
        std::vector<std::wstring> expected;
    } cases[] = {{VARIANT_FALSE, {kAppA, kAppB}}, {VARIANT_TRUE, {kAppB}}};
    for (const auto& test : cases) {
        UniqueVariant ids;
        ASSERT_EQ(cache->GetMultiSourceFileIdList(test.finishedOnly, &count, ids.put()), S_OK);
        EXPECT_EQ(count, static_cast<LONG>(test.expected.size()));
        std::vector<std::wstring> listed;
        for (const Element& element : ViewOf(ids).elements) {
            listed.push_back(element.Text());
        }
        EXPECT_EQ(listed, test.expected);
    }
}

TEST_F(MultisourceTest, RemovingTheApplicationRemovesItsEntry) {
    Scenario(R"({"client":{"state":4},"applications":[{"guid":")" + ToUtf8(kAppA) + R"(","state":1}]})");
    ASSERT_EQ(Add(kAppA, m_source, m_target), S_OK);
    auto application = Application();
    auto a = Bstr(kAppA);
    ASSERT_EQ(application->RemoveApplication(a.get()), S_OK);
    EXPECT_FALSE(Exists(m_target + L"\\payload.bin"));
    Info(kAppA, kNotFound);
}

TEST_F(MultisourceTest, AddNeverReplacesAFileThatItDidNotCreate) {
    const std::wstring user = m_target + L"\\payload.bin";
    const std::wstring cached = emulator::CacheFolder() + L"\\payload.bin";
    const std::wstring twin = m_folder + L"\\twin";
    const std::wstring blocked = m_folder + L"\\blocked";
    const struct {
        const char* name;
        std::function<void()> prepare;
        std::wstring destination;
        VARIANT_BOOL overwrite;
        std::wstring kept; // a file that keeps its content
        std::string content;
        std::wstring listed; // what Alpha's entry lists afterwards; empty: no entry
    } cases[] = {
        {"a user's file, without overwrite", [&] { WriteBytes(user, "user's text"); }, m_target,
         VARIANT_FALSE, user, "user's text", L""},
        {"a user's file, with overwrite", [&] { WriteBytes(user, "user's text"); }, m_target, VARIANT_TRUE,
         user, "user's text", L""},
        {"another application's copy of a source of the same name",
         [&] {
             CreateDirectoryW(twin.c_str(), nullptr);
             WriteBytes(twin + L"\\payload.bin", "twin");
             ASSERT_EQ(Add(kAppB, twin + L"\\payload.bin", L""), S_OK);
         },
         L"", VARIANT_TRUE, cached, "twin", L""},
        {"a folder in the way of a replacement",
         [&] {
             ASSERT_EQ(Add(kAppA, m_source, m_target), S_OK);
             CreateDirectoryW(blocked.c_str(), nullptr);
             CreateDirectoryW((blocked + L"\\payload.bin").c_str(), nullptr);
         },
         blocked, VARIANT_TRUE, user, std::string(1234, 'x'), user},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        Scenario(R"({"applications":[{"guid":")" + ToUtf8(kAppA) + R"("},{"guid":")" + ToUtf8(kAppB) +
                 R"("}]})");
        DeleteFileW(user.c_str());
        DeleteFileW(cached.c_str());
        test.prepare();
        EXPECT_EQ(Add(kAppA, m_source, test.destination, test.overwrite), kFileExists);
        EXPECT_EQ(Content(test.kept), test.content);
        if (test.listed.empty()) {
            Info(kAppA, kNotFound);
        } else {
            EXPECT_EQ(Info(kAppA).elements.at(2).Text(), test.listed);
        }
    }
    DeleteFileW(cached.c_str());
}

TEST_F(MultisourceTest, DeleteRemovesOnlyACopyOfItsOwnThatNoOtherEntryLists) {
    const std::wstring local = m_target + L"\\payload.bin";
    const auto entry = [&](const wchar_t* guid, bool localCopy) {
        return nlohmann::ordered_json{{"appGuid", ToUtf8(guid)},
                                      {"sourcePath", ToUtf8(m_source)},
                                      {"localPath", ToUtf8(local)},
                                      {"localCopy", localCopy}};
    };
    const struct {
        const char* name;
        nlohmann::ordered_json entries;
        std::vector<bool> keptAfterEachDelete; // Alpha's entry is deleted first, then Beta's
    } cases[] = {
        {"a copy that another entry still lists",
         nlohmann::ordered_json::array({entry(kAppA, true), entry(kAppB, true)}),
         {true, false}},
        {"a file that the service did not create",
         nlohmann::ordered_json::array({entry(kAppA, false)}),
         {true}},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        nlohmann::ordered_json state = {
            {"applications", {{{"guid", ToUtf8(kAppA)}}, {{"guid", ToUtf8(kAppB)}}}},
            {"multisource", test.entries}};
        Scenario(state.dump());
        WriteBytes(local, "copy");
        auto cache = Cache();
        const wchar_t* guids[] = {kAppA, kAppB};
        for (size_t i = 0; i < test.keptAfterEachDelete.size(); ++i) {
            auto guid = Bstr(guids[i]);
            EXPECT_EQ(cache->DeleteMultiSourceFile(guid.get()), S_OK);
            EXPECT_EQ(Exists(local), test.keptAfterEachDelete[i]) << i;
        }
    }
}

} // namespace
} // namespace quillet::testing
