#include "EmulatorTest.h"

#include <functional>

namespace quillet::testing {
namespace {

constexpr HRESULT kBusy = static_cast<HRESULT>(0x800700AA);
constexpr HRESULT kOffline = static_cast<HRESULT>(0x800708CA);
constexpr HRESULT kDiskFull = static_cast<HRESULT>(0x80070070);
constexpr HRESULT kBadNetPath = static_cast<HRESULT>(0x80070035);
constexpr HRESULT kPathNotFound = static_cast<HRESULT>(0x80070003);
constexpr HRESULT kBadPathName = static_cast<HRESULT>(0x800700A1);
constexpr HRESULT kNotADirectory = static_cast<HRESULT>(0x8007010B);

std::wstring TempFolder() {
    wchar_t folder[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, folder);
    return std::wstring(folder, length) + L"quillet-emulator-cache";
}

void Put(SAFEARRAY* array, LONG index, VARIANT value) {
    ASSERT_EQ(SafeArrayPutElement(array, &index, &value), S_OK);
}

VARIANT I4(LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

VARIANT I1(char value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I1;
    v.cVal = value;
    return v;
}

// SafeArrayPutElement copies the string; the holder frees ours.
void PutText(SAFEARRAY* array, LONG index, const std::wstring& value) {
    auto text = Bstr(value);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = text.get();
    Put(array, index, v);
}

void PutLocation(SAFEARRAY* array, const std::wstring& location, bool fixFirstCharacter = true) {
    if (fixFirstCharacter) {
        Put(array, 2, I1(static_cast<char>(location.empty() ? 0 : location[0] & 0xFF)));
    }
    PutText(array, 3, location);
}

class CacheTest : public EmulatorTest {
protected:
    void SetUp() override {
        EmulatorTest::SetUp();
        CreateDirectoryW(TempFolder().c_str(), nullptr);
    }

    std::string CacheScenario(int sizeMB, int usedMB, long long applicationState = 1, int clientState = 4) {
        return R"({"client":{"state":)" + std::to_string(clientState) + R"(},"applications":[{"guid":")" +
               ToUtf8(kAppA) + R"(","state":)" + std::to_string(applicationState) +
               R"(}],"cache":{"location":)" + nlohmann::ordered_json(ToUtf8(emulator::CacheFolder())).dump() +
               R"(,"sizeMB":)" + std::to_string(sizeMB) + R"(,"usedMB":)" + std::to_string(usedMB) + "}}";
    }

    nlohmann::ordered_json CacheState() { return State().at("cache"); }
};

TEST_F(CacheTest, SettingsArrayHasTheFixedLayout) {
    auto cache = Cache();
    UniqueVariant settings;
    ASSERT_EQ(cache->GetCacheLocation(0, settings.put()), S_OK);
    ReplyView view = ViewOf(settings);
    ASSERT_EQ(view.vt, VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(view.lowerBound, 0);
    ASSERT_EQ(view.elements.size(), 6u);
    const std::wstring location = emulator::CacheFolder();
    const VARTYPE types[] = {VT_I4, VT_I4, VT_I1, VT_BSTR, VT_I4, VT_I4};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(view.elements[i].value.vt, types[i]) << i;
    }
    EXPECT_EQ(view.elements[2].value.cVal, 'C');
    EXPECT_EQ(view.elements[3].Text(), location);
    EXPECT_EQ(view.elements[4].value.lVal, 2048);
    EXPECT_EQ(view.elements[5].value.lVal, 0);
    DWORD attributes = GetFileAttributesW(location.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        << "made at start";
}

struct SettingsCase {
    const char* name;
    int sizeMB;
    int usedMB;
    long long applicationState;
    std::function<void(SAFEARRAY*)> change;
    HRESULT expected;
};

TEST_F(CacheTest, SetCacheSettingsChecksEveryElement) {
    const std::wstring folder = TempFolder();
    const SettingsCase cases[] = {
        {"larger size", 2048, 0, 1, [](SAFEARRAY* a) { Put(a, 4, I4(4096)); }, S_OK},
        {"smaller size", 2048, 100, 1, [](SAFEARRAY* a) { Put(a, 4, I4(100)); }, S_OK},
        {"new location", 2048, 0, 1, [&](SAFEARRAY* a) { PutLocation(a, folder); }, S_OK},
        {"nothing changed", 2048, 0, 64, [](SAFEARRAY*) {}, S_OK},
        {"growing while an application runs", 2048, 0, 64, [](SAFEARRAY* a) { Put(a, 4, I4(4096)); }, S_OK},
        {"zero size", 2048, 0, 1, [](SAFEARRAY* a) { Put(a, 4, I4(0)); }, E_INVALIDARG},
        {"negative size", 2048, 0, 1, [](SAFEARRAY* a) { Put(a, 4, I4(-5)); }, E_INVALIDARG},
        {"size below used", 2048, 100, 1, [](SAFEARRAY* a) { Put(a, 4, I4(99)); }, kDiskFull},
        {"shrinking while an application runs", 2048, 0, 64, [](SAFEARRAY* a) { Put(a, 4, I4(1024)); },
         kBusy},
        {"moving while an application runs", 2048, 0, 64, [&](SAFEARRAY* a) { PutLocation(a, folder); },
         kBusy},
        {"first character not the location's", 2048, 0, 1,
         [&](SAFEARRAY* a) {
             PutLocation(a, folder, false);
             Put(a, 2, I1('Z'));
         },
         E_INVALIDARG},
        {"first character left stale", 2048, 0, 1, [](SAFEARRAY* a) { PutLocation(a, L"Z:\\tmp", false); },
         E_INVALIDARG},
        {"element 0 changed", 2048, 0, 1, [](SAFEARRAY* a) { Put(a, 0, I4(2)); }, E_INVALIDARG},
        {"element 1 changed", 2048, 0, 1, [](SAFEARRAY* a) { Put(a, 1, I1(6)); }, E_INVALIDARG},
        {"element 5 changed", 2048, 7, 1, [](SAFEARRAY* a) { Put(a, 5, I4(0)); }, E_INVALIDARG},
        {"size of another type", 2048, 0, 1, [](SAFEARRAY* a) { PutText(a, 4, L"4096"); },
         DISP_E_TYPEMISMATCH},
        {"UNC location", 2048, 0, 1, [](SAFEARRAY* a) { PutLocation(a, L"\\\\server\\share\\cache"); },
         kBadNetPath},
        {"missing folder", 2048, 0, 1, [&](SAFEARRAY* a) { PutLocation(a, folder + L"\\missing"); },
         kPathNotFound},
        {"relative folder", 2048, 0, 1, [](SAFEARRAY* a) { PutLocation(a, L"cache"); }, kBadPathName},
        {"empty location", 2048, 0, 1, [](SAFEARRAY* a) { PutLocation(a, L""); }, kBadPathName},
        {"a file, not a folder", 2048, 0, 1, [](SAFEARRAY* a) { PutLocation(a, emulator::StatePath()); },
         kNotADirectory},
    };
    for (const SettingsCase& test : cases) {
        SCOPED_TRACE(test.name);
        Scenario(CacheScenario(test.sizeMB, test.usedMB, test.applicationState));
        const nlohmann::ordered_json before = CacheState();
        auto cache = Cache();
        UniqueVariant settings;
        ASSERT_EQ(cache->GetCacheLocation(0, settings.put()), S_OK);
        test.change(settings.parray);
        ReplyView sent = ViewOf(settings);
        EXPECT_EQ(cache->SetCacheSettings(settings), test.expected);
        const nlohmann::ordered_json after = CacheState();
        if (FAILED(test.expected)) {
            EXPECT_EQ(after, before) << "a refusal changes nothing";
        } else {
            EXPECT_EQ(after.at("location"), ToUtf8(sent.elements[3].Text()));
            EXPECT_EQ(after.at("sizeMB"), sent.elements[4].value.lVal);
        }
    }
}

TEST_F(CacheTest, SetCacheSettingsRefusesWhatIsNoSettingsArray) {
    auto cache = Cache();
    EXPECT_EQ(cache->SetCacheSettings(I4(4096)), E_INVALIDARG);
    VARIANT empty;
    VariantInit(&empty);
    EXPECT_EQ(cache->SetCacheSettings(empty), E_INVALIDARG);
    SAFEARRAY* shortArray = SafeArrayCreateVector(VT_VARIANT, 0, 5);
    VARIANT five;
    VariantInit(&five);
    five.vt = VT_ARRAY | VT_VARIANT;
    five.parray = shortArray;
    EXPECT_EQ(cache->SetCacheSettings(five), E_INVALIDARG);
    VariantClear(&five);
}

TEST_F(CacheTest, ClearCacheRefusesOfflineAndWithRunningApplications) {
    const struct {
        const char* name;
        int clientState;
        long long applicationState;
        HRESULT expected;
    } cases[] = {
        {"idle", 4, 16, S_OK},
        {"client stopped", 0, 1, S_OK},
        {"offline", 5, 1, kOffline},
        {"application running", 4, 64, kBusy},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        Scenario(CacheScenario(2048, 300, test.applicationState, test.clientState));
        auto cache = Cache();
        EXPECT_EQ(cache->ClearCache(), test.expected);
        EXPECT_EQ(CacheState().at("usedMB"), SUCCEEDED(test.expected) ? 0 : 300);
    }
}

} // namespace
} // namespace quillet::testing
