// What the emulator refuses and answers, call by call, as a client meets it: the client's and the
// applications' ladders, adding from tokens, the cache settings, multisource files and whose they are,
// faults, and malformed replies.
#include "ClientObject.h"
#include "Files.h"
#include "LoopbackHttpServer.h"
#include "ServiceCase.h"
#include "win32/UniqueHandle.h"

namespace quillet::testing {
namespace {

const std::string alpha = ToUtf8(kAlpha);
const std::string beta = ToUtf8(kBeta);

std::string AlphaState(long long state) {
    return R"({"applications":[{"state":)" + std::to_string(state) + "}]}";
}

// Every operation that changes an application, in interface order.
enum Operation {
    kRemove,
    kLoad,
    kUnload,
    kMount,
    kUnmount,
    kStart,
    kStop,
    kInDesktop,
    kWithParameters,
    kRun
};
std::vector<Call> Operations(const wchar_t* guid) {
    return {Do(&App::RemoveApplication, guid),
            Do(&App::LoadApplication, guid),
            Do(&App::UnloadApplication, guid),
            Do(&App::MountApplication, guid),
            Do(&App::UnmountApplication, guid),
            Do(&App::StartApplication, guid),
            Do(&App::StopApplication, guid),
            Do(&App::StartApplicationInDesktop, guid, L"winsta0\\default"),
            Do(&App::StartApplicationWithParameters, guid, L"\"-x\" \"a b\"", L""),
            Do(&App::RunApplicationCommand, guid, L"C:\\tool.exe", L"C:\\work", L"\"-v\"", L"", L"")};
}

TEST_F(Emulator, Ladders) {
    const Call start = Do(&Client::StartClient), stop = Do(&Client::StopClient);
    const Call init = Do(&Client::InitApplications), uninit = Do(&Client::UninitApplications);
    const Call state = Do(&Client::GetClientState);
    const struct {
        int from;
        Call call;
        DWORD hr;
        int to;
    } clients[] = {
        // clang-format off
        {0, start, S_OK, 2}, {2, start, 0xA0044011, 2}, {4, start, 0xA0044011, 4}, {5, start, 0xA0044011, 5},
        {2, init, S_OK, 4}, {4, init, 0xA0044021, 4}, {0, init, kNotReady, 0}, {5, init, 0x800708CA, 5},
        {3, init, kInvalidState, 3}, {4, uninit, S_OK, 2}, {2, uninit, 0xA0044020, 2}, {0, uninit, 0xA0044020, 0},
        {2, stop, S_OK, 0}, {5, stop, S_OK, 0}, {0, stop, 0xA0044010, 0}, {4, stop, kInvalidState, 4},
        // clang-format on
    };
    for (const auto& row : clients) {
        const std::string to = std::to_string(row.to);
        EXPECT_CASE((Case{"client row " + std::to_string(&row - clients),
                          Scenario().Client(row.from),
                          {{row.call, row.hr}, {state, S_OK, to}},
                          R"({"client":{"state":)" + to + "}}"}));
    }
    const std::vector<Call> operations = Operations(kAlpha);
    constexpr long long kGone = INT64_MIN;
    const struct {
        Operation operation;
        long long from;
        DWORD hr;
        long long to;
    } applications[] = {
        // clang-format off
        {kLoad, 0, kInvalidState, 0}, {kLoad, 3, S_OK, 4}, {kLoad, 4, kInvalidState, 4},
        {kMount, 3, kInvalidState, 3}, {kMount, 4, S_OK, 16}, {kMount, 15, S_OK, 16}, {kMount, 16, kInvalidState, 16},
        {kStart, 15, kInvalidState, 15}, {kStart, 16, S_OK, 64}, {kStart, 100, S_OK, 64}, {kStart, -5, kInvalidState, -5},
        {kWithParameters, 16, S_OK, 64}, {kWithParameters, 4, kInvalidState, 4}, {kInDesktop, 64, S_OK, 64},
        {kStop, 64, S_OK, 16}, {kStop, 16, kInvalidState, 16}, {kStop, 65, kInvalidState, 65},
        {kUnmount, 64, kInvalidState, 64}, {kUnmount, 100, S_OK, 4}, {kUnmount, 15, kInvalidState, 15},
        {kUnload, 4, S_OK, 1}, {kUnload, 15, S_OK, 1}, {kUnload, 16, kInvalidState, 16}, {kUnload, 3, kInvalidState, 3},
        {kRemove, 1, S_OK, kGone}, {kRemove, 3, S_OK, kGone}, {kRemove, 4, kInvalidState, 4}, {kRemove, 0, kInvalidState, 0},
        {kLoad, 4294967295, kInvalidState, 4294967295}, {kRun, 16, S_OK, 16}, {kRun, 64, S_OK, 64},
        {kRun, 4, kInvalidState, 4}, {kRun, 65, kInvalidState, 65},
        // clang-format on
    };
    for (const auto& row : applications) {
        EXPECT_CASE((Case{"application row " + std::to_string(&row - applications),
                          One(row.from),
                          {{operations[row.operation], row.hr}},
                          row.to == kGone ? R"({"applications":[]})" : AlphaState(row.to)}));
    }
}

TEST_F(Emulator, QueriesAndRefusals) {
    std::wstring lower = kAlpha;
    std::transform(lower.begin(), lower.end(), lower.begin(), towlower);
    const Call stop = Do(&App::StopApplication, kAlpha),
               status = Do(&App::GetApplicationProperties, kAlpha, 1);
    const Call list = Do(&App::GetApplicationList, -1), state = Do(&Client::GetClientState);
    const Call admin = Do(&Client::IsUserAdministrator);
    const std::string running = "[I4 64, EMPTY x39]", both = "2; [BSTR " + beta + ", BSTR " + alpha + "]";
    // Under Wine the real check finds the caller an administrator; on Windows it may not.
    const std::string real = quillet::emulator::CallerIsAdministrator() ? "-1" : "0";
    // clang-format off
    std::vector<Case> cases = {
        {"administrator", Scenario().Admin(true), {{admin, S_OK, "-1"}}},
        {"no administrator", Scenario().Admin(false), {{admin, S_OK, "0"}}},
        {"administrator by the real check", Scenario(), {{admin, S_OK, real}}},
        {"calls before Initialize and after Uninitialize", Scenario(), {{Create<Client>()}, {state, kUnexpected},
            {Do(&Client::Initialize, GetCurrentProcessId())}, {Do(&Client::Uninitialize)}, {Do(&Client::StartClient), kUnexpected}}},
        {"guids ignore case", One(1), {{Do(&App::LoadApplication, lower)}}, AlphaState(4)},
        {"a command needs an executable", One(16),
         {{Do(&App::RunApplicationCommand, kAlpha, L"", L"C:\\work", L"", L"", L""), kInvalidArgument}}},
        // A repeated stop, as a client sends while it waits, does not start the count again.
        {"stop after two status queries", One(64, 4, 2),
         {{stop}, {status, S_OK, running}, {stop}, {status, S_OK, running}, {status, S_OK, "[I4 16, EMPTY x39]"}}},
        {"a stop that never ends", One(64, 4, -1),
         {{stop}, {status, S_OK, running}, {status, S_OK, running}, {Do(&App::UnmountApplication, kAlpha), kInvalidState}}},
        {"properties the mask asks for", Scenario().App(kAlpha, L"Alpha \u03A9", 16, 0, true),
         {{Do(&App::GetApplicationProperties, kAlpha, 0x20000003), S_OK, "[I4 16, BSTR Alpha \u03A9, EMPTY x37, BOOL -1]"},
          {Do(&App::GetApplicationProperties, kAlpha, 2), S_OK, "[EMPTY, BSTR Alpha \u03A9, EMPTY x38]"}}},
        {"the list in state.json's order, by a filter", Scenario().App(kBeta, L"Beta", 64).App(kAlpha, L"Alpha", 1),
         {{list, S_OK, both}, {Do(&App::GetApplicationList, 65), S_OK, both},
          {Do(&App::GetApplicationList, 64), S_OK, "1; [BSTR " + beta + "]"}}},
        {"an empty list", Scenario(), {{list, S_OK, "0; []"}}},
    };
    // clang-format on
    // Only the queries work before the applications are initialised; an unknown guid is refused by all.
    for (int client : {0, 2, 5}) {
        Case test{"client state " + std::to_string(client), One(1, client)};
        for (const Call& operation : Operations(kAlpha)) {
            test.steps.push_back({operation, kNotReady});
        }
        test.steps.push_back({list, S_OK, "1; [BSTR " + alpha + "]"});
        test.state = AlphaState(1);
        cases.push_back(test);
    }
    Case unknown{"unknown guid", One(16)};
    for (const Call& operation : Operations(kUnknown)) {
        unknown.steps.push_back({operation, kNotFound});
    }
    unknown.steps.push_back({Do(&App::GetApplicationProperties, kUnknown, 1), kNotFound, "EMPTY"});
    cases.push_back(unknown);
    for (const Case& test : cases) {
        EXPECT_CASE(test);
    }
}

TEST_F(Emulator, AddApplicationReadsATokenFileOrUrl) {
    const TempFolder tokens;
    const auto add = [](std::wstring source, VARIANT_BOOL isUrl = VARIANT_FALSE) {
        return Do(&App::AddApplication, source, isUrl);
    };
    const std::wstring unnamed = tokens.File(L"unnamed.tok", "\xEF\xBB\xBF{\"name\":\"Beta\"}");
    LoopbackHttpServer served(200, R"({"name":"Gamma","guid":"{A1A1A1A1-0000-4000-8000-0000000000A1}"})");
    LoopbackHttpServer missing(404, "not here");
    LoopbackHttpServer page(200, "<html>no token</html>");
    const std::string token =
        R"({"name":"A \u03A9","guid":"a1a1a1a1-0000-4000-8000-0000000000a1","requiresReboot":true})";
    // clang-format off
    std::vector<Case> cases = {
        // The guid comes back in braces and upper case, however the token writes it.
        {"a token file", Scenario().Client(4), {{add(tokens.File(L"a.tok", token)), S_OK, "A \u03A9; " + alpha}},
         R"({"applications":[{"guid":")" + alpha + R"(","name":"A \u03A9","state":1,"requiresReboot":true}]})"},
        {"a token without a guid gets a new one each time", Scenario().Client(4), {{add(unnamed)}, {add(unnamed)}},
         R"({"applications":[{"name":"Beta","requiresReboot":false},{"name":"Beta"}]})"},
        {"a token URL", Scenario().Client(4),
         {{add(served.Url(L"/tokens/gamma?user=1"), VARIANT_TRUE), S_OK, "Gamma; " + alpha}}, AlphaState(1)},
    };
    const struct {
        std::wstring source;
        DWORD hr;
        VARIANT_BOOL isUrl = VARIANT_FALSE;
        int client = 4;
    } refusals[] = {
        {tokens.File(L"b.tok", "{\"name\":\"Again\",\"guid\":\"" + beta + "\"}"), kAlreadyExists},
        {tokens.File(L"c.tok", "name=Alpha"), 0x8007000D},
        {tokens.File(L"d.tok", "{\"name\":\"Alpha \xFF\"}"), 0x8007000D},
        {tokens.File(L"e.tok", R"({"guid":"{C3C3C3C3-0000-4000-8000-0000000000C3}"})"), 0x8007000D},
        {tokens.File(L"f.tok", R"({"name":"Alpha","guid":"alpha"})"), 0x8007000D},
        {tokens.File(L"g.tok", std::string(1 << 20, ' ') + "{}"), 0x800700DF},
        {tokens.Path() + L"\\missing.tok", 0x80070002},
        {unnamed, kNotReady, VARIANT_FALSE, 2},
        {missing.Url(L"/missing"), 0x80190194, VARIANT_TRUE},
        {page.Url(L"/page"), 0x8007000D, VARIANT_TRUE},
        {L"http://127.0.0.1:1/closed", 0x80072EFD, VARIANT_TRUE},
    };
    // clang-format on
    for (const auto& refusal : refusals) {
        cases.push_back({ToUtf8(refusal.source),
                         Scenario().Client(refusal.client).App(kBeta, L"Beta", 1),
                         {{add(refusal.source, refusal.isUrl), refusal.hr, "null; null"}},
                         R"({"applications":[{"guid":")" + beta + R"("}]})"});
    }
    for (const Case& test : cases) {
        EXPECT_CASE(test);
    }
    EXPECT_EQ(served.LastRequestLine(), "GET /tokens/gamma?user=1 HTTP/1.1");
}

TEST_F(Emulator, CacheSettingsAndClear) {
    const TempFolder folder;
    const std::wstring cache = emulator::CacheFolder(), other = folder.Path();
    const auto move = [](const std::wstring& location) {
        return Settings({{2, VT_I1, location.empty() ? 0 : location[0]}, {3, VT_BSTR, 0, location}});
    };
    const auto size = [](long long megabytes) { return Settings({{4, VT_I4, megabytes}}); };
    EXPECT_CASE((Case{"the settings",
                      Scenario(),
                      {{Do(&Cache::GetCacheLocation, 0), S_OK,
                        "[I4 1, I4 6, I1 67, BSTR " + ToUtf8(cache) + ", I4 2048, I4 0]"}}}));
    const DWORD attributes = GetFileAttributesW(cache.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        << "made at start";
    const struct {
        int usedMB;
        long long state; // Alpha's: 64 runs
        Call call;
        DWORD hr;
        int sizeAfter = 2048;
        std::wstring locationAfter = {};
    } rows[] = {
        // clang-format off
        {100, 1, size(100), S_OK, 100}, {0, 1, move(other), S_OK, 2048, other}, {0, 64, Settings({}), S_OK},
        {0, 64, size(4096), S_OK, 4096}, {0, 1, size(0), kInvalidArgument}, {100, 1, size(99), 0x80070070},
        {0, 64, size(1024), 0x800700AA}, {0, 64, move(other), 0x800700AA},
        {0, 1, Settings({{2, VT_I1, 'Z'}, {3, VT_BSTR, 0, other}}), kInvalidArgument},
        {0, 1, Settings({{3, VT_BSTR, 0, L"Z:\\tmp"}}), kInvalidArgument},
        {0, 1, Settings({{0, VT_I4, 2}}), kInvalidArgument}, {7, 1, Settings({{5, VT_I4, 0}}), kInvalidArgument},
        {0, 1, Settings({{4, VT_BSTR, 0, L"4096"}}), kTypeMismatch},
        {0, 1, Settings({{1, VT_I1, 6}, {4, VT_BSTR, 0, L"4096"}}), kTypeMismatch},
        {0, 1, Settings({}, 5), kInvalidArgument}, {0, 1, Settings({{0, VT_I4, 4096}}, 0), kInvalidArgument},
        {0, 1, move(L"\\\\server\\share\\cache"), 0x80070035}, {0, 1, move(other + L"\\missing"), 0x80070003},
        {0, 1, move(L"cache"), 0x800700A1}, {0, 1, move(emulator::StatePath()), 0x8007010B},
        // clang-format on
    };
    for (const auto& row : rows) {
        const ordered_json after = {
            {"cache",
             {{"location", ToUtf8(row.locationAfter.empty() ? cache : row.locationAfter)},
              {"sizeMB", row.sizeAfter}}}};
        EXPECT_CASE((Case{"row " + std::to_string(&row - rows),
                          One(row.state).Cache(cache, 2048, row.usedMB),
                          {{row.call, row.hr}},
                          after.dump()}));
    }
    const struct {
        int client;
        long long state;
        DWORD hr;
    } clears[] = {{4, 16, S_OK}, {0, 1, S_OK}, {5, 1, 0x800708CA}, {4, 64, 0x800700AA}};
    for (const auto& clear : clears) {
        EXPECT_CASE((Case{"clear " + std::to_string(&clear - clears),
                          One(clear.state, clear.client).Cache(cache, 2048, 300),
                          {{Do(&Cache::ClearCache), clear.hr}},
                          R"({"cache":{"usedMB":)" + std::string(clear.hr == S_OK ? "0" : "300") + "}}"}));
    }
}

// The emulator writes and deletes only the copies that it made, never two entries on one local path, and
// a replacement that fails leaves the old copy.
TEST_F(Emulator, MultisourceFilesBelongToWhoeverMadeThem) {
    const TempFolder folder;
    const std::string payload(1234, 'x');
    const std::wstring source = folder.File(L"payload.bin", payload), target = folder.Folder(L"target");
    const std::wstring copy = target + L"\\payload.bin", cached = emulator::CacheFolder() + L"\\payload.bin";
    folder.Folder(L"twin");
    const std::wstring twin = folder.File(L"twin\\payload.bin", "twin"), blocked = folder.Folder(L"blocked");
    folder.Folder(L"blocked\\payload.bin");
    const auto add = [](const wchar_t* guid, const std::wstring& from, const std::wstring& to,
                        VARIANT_BOOL overwrite = VARIANT_FALSE) {
        return Do(&Cache::AddMultiSourceFile, guid, from, to, overwrite);
    };
    const auto info = [](const wchar_t* guid) { return Do(&Cache::GetMultiSourceFileInfo, guid); };
    const auto remove = [](const wchar_t* guid) { return Do(&Cache::DeleteMultiSourceFile, guid); };
    const auto listed = [&](const std::wstring& local) {
        const std::string to = local == source ? " x2" : ", BSTR " + ToUtf8(local);
        return "[BSTR " + alpha + ", BSTR " + ToUtf8(source) + to + ", I8 1234 x2, DATE set x2]";
    };
    const auto write = [](const std::wstring& path, const char* text) {
        return Act([=] { WriteBytes(path, text); });
    };
    UniqueFile held; // the source open without sharing, so that a copy of it fails
    const Call hold = Act([&] {
        held.reset(CreateFileW(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    });
    const Call release = Act([&] { held.reset(); });
    const Scenario two =
        Scenario().App(kAlpha, L"Alpha", 1).App(kBeta, L"Beta", 1); // any client state will do
    const ordered_json own = {{"localCopy", true}};
    const auto entry = [](const std::string& guid, const std::wstring& local) {
        return R"({"multisource":[{"appGuid":")" + guid + R"(","localPath":)" +
               ordered_json(ToUtf8(local)).dump() + "}]}";
    };
    // clang-format off
    std::vector<Case> cases = {
        {"into the cache folder", two, {{add(kAlpha, source, L"")}, {info(kAlpha), S_OK, listed(cached)}}},
        {"into a folder", two, {{add(kAlpha, source, target + L"\\")}, {info(kAlpha), S_OK, listed(copy)}}},
        {"into the source's folder: no copy", two, {{add(kAlpha, source, folder.Path())}, {info(kAlpha), S_OK, listed(source)}}},
        {"refusals", two, {{add(kBeta, source, L"")}, {add(kBeta, source, target), kAlreadyExists},
            {add(kBeta, source, target, VARIANT_TRUE)}, {add(kUnknown, source, L""), kNotFound},
            {add(kAlpha, folder.Path() + L"\\missing.bin", L""), 0x80070002}, {add(kAlpha, target, L""), 0x80070150},
            {add(kAlpha, source, folder.Path() + L"\\no-such-folder"), 0x80070003},
            {File(cached), S_OK, "(missing)"}, {File(copy), S_OK, payload}},
         entry(beta, copy)},
        {"delete takes the entry and the copy it made", two, {{add(kAlpha, source, target)}, {add(kBeta, source, source)},
            {remove(kAlpha)}, {remove(kBeta)}, {remove(kBeta), kNotFound}, {info(kAlpha), kNotFound, "EMPTY"},
            {File(copy), S_OK, "(missing)"}, {File(source), S_OK, payload}},
         R"({"multisource":[]})"},
        {"removing the application takes its entry", One(1), {{add(kAlpha, source, target)},
            {Do(&App::RemoveApplication, kAlpha)}, {info(kAlpha), kNotFound}, {File(copy), S_OK, "(missing)"}},
         R"({"multisource":[]})"},
        {"id lists", Scenario(two).Multisource(kAlpha, source, source, {{"finished", false}}).Multisource(kBeta, source, copy),
         {{Do(&Cache::GetMultiSourceFileIdList, VARIANT_FALSE), S_OK, "2; [BSTR " + alpha + ", BSTR " + beta + "]"},
          {Do(&Cache::GetMultiSourceFileIdList, VARIANT_TRUE), S_OK, "1; [BSTR " + beta + "]"}}},
        {"no ids", two, {{Do(&Cache::GetMultiSourceFileIdList, VARIANT_FALSE), S_OK, "0; []"}}},
        {"a user's file in the way", two,
         {{write(copy, "user's")}, {add(kAlpha, source, target), kFileExists}, {File(copy), S_OK, "user's"},
          {info(kAlpha), kNotFound}}},
        {"a user's file in the way, overwrite asked", two,
         {{write(copy, "user's")}, {add(kAlpha, source, target, VARIANT_TRUE), kFileExists}, {File(copy), S_OK, "user's"},
          {info(kAlpha), kNotFound}}},
        {"another application's copy of a source of the same name", two,
         {{add(kBeta, twin, L"")}, {add(kAlpha, source, L"", VARIANT_TRUE), kFileExists}, {File(cached), S_OK, "twin"}},
         entry(beta, cached)},
        {"a folder in the way of a replacement", two, {{add(kAlpha, source, target)},
            {add(kAlpha, source, blocked, VARIANT_TRUE), kFileExists}, {info(kAlpha), S_OK, listed(copy)}, {File(copy), S_OK, payload}}},
        {"a replacement that fails keeps the old copy", two, {{add(kAlpha, source, L"")}, {write(cached, "old")}, {hold},
            {add(kAlpha, source, L"", VARIANT_TRUE), 0x80070020}, {release}, {File(cached), S_OK, "old"}},
         entry(alpha, cached)},
        {"a copy that another entry still lists", Scenario(two).Multisource(kAlpha, source, copy, own).Multisource(kBeta, source, copy, own),
         {{write(copy, "copy")}, {remove(kAlpha)}, {File(copy), S_OK, "copy"}, {remove(kBeta)}, {File(copy), S_OK, "(missing)"}}},
        {"a file listed that the emulator did not make", Scenario(two).Multisource(kAlpha, source, copy),
         {{write(copy, "copy")}, {remove(kAlpha)}, {File(copy), S_OK, "copy"}}},
    };
    // clang-format on
    for (Case& test : cases) {
        // Each case starts without the copies that an earlier one made.
        test.steps.insert(test.steps.begin(), Step{Act([&] {
                              DeleteFileW(copy.c_str());
                              DeleteFileW(cached.c_str());
                          })});
        EXPECT_CASE(test);
    }
    DeleteFileW(cached.c_str());
}

TEST_F(Emulator, FaultsActAsToldAndCountDown) {
    const Call start = Do(&Client::StartClient), state = Do(&Client::GetClientState);
    const auto initialize = [pid = GetCurrentProcessId()](DWORD client, DWORD cache) {
        return std::vector<Step>{{Create<Client>()},
                                 {Do(&Client::Initialize, pid), client},
                                 {Create<Cache>()},
                                 {Do(&Cache::Initialize, pid), cache}};
    };
    const auto always = [](const char* method) { return Scenario().Fault(method, kAccessDenied, 0, -1); };
    // clang-format off
    const std::vector<Case> cases = {
        {"fail: the HRESULT and nothing else, once by default", Scenario().Fault("StartClient", kAccessDenied),
         {{start, kAccessDenied}, {start}}, R"({"client":{"state":2},"faults":[{"times":0}]})"},
        {"skip, then times", Scenario().Fault("GetClientState", kAccessDenied, 2, 2),
         {{state}, {state}, {state, kAccessDenied}, {state, kAccessDenied}, {state}}, R"({"faults":[{"skip":0,"times":0}]})"},
        {"times -1: every call", always("GetClientState"), {{state, kAccessDenied}, {state, kAccessDenied}},
         R"({"faults":[{"times":-1}]})"},
        {"a guid: only the calls for that application", One(1).App(kBeta, L"Beta", 1).Fault("LoadApplication", kAccessDenied, 0, 1, kBeta),
         {{Do(&App::LoadApplication, kAlpha)}, {Do(&App::LoadApplication, kBeta), kAccessDenied}},
         R"({"applications":[{"state":4},{"state":1}],"faults":[{"times":0}]})"},
        {"one interface's Initialize", always("IStreamingCache.Initialize"), initialize(S_OK, kAccessDenied)},
        {"names ignore case", always("istreamingclient.initialize"), initialize(kAccessDenied, S_OK)},
        {"Initialize of every interface", always("Initialize"), initialize(kAccessDenied, kAccessDenied)},
        {"CreateInstance", Scenario().Fault("IStreamingCache.CreateInstance", kAccessDenied),
         {{Create<Cache>(), kAccessDenied}, {Create<Client>()}, {Create<Cache>()},
          {Calls({{"IStreamingCache"}}), S_OK, "!IStreamingCache 0x80070005 | +IStreamingCache"}}},
    };
    // clang-format on
    for (const Case& test : cases) {
        EXPECT_CASE(test);
    }
}

TEST_F(Emulator, MalformedRepliesTakeEveryShape) {
    const Scenario base =
        Scenario().App(kAlpha, L"Alpha", 1).App(kBeta, L"Beta", 1).Multisource(kAlpha, L"C:\\a", L"C:\\b");
    const std::string ids = "[BSTR " + alpha + ", BSTR " + beta + "]", dates = "I8 0 x2, DATE 0";
    enum Query { kList, kProperties, kSettings, kInfo, kIds };
    const std::pair<std::string, Call> queries[] = {
        {"IStreamingApplication.GetApplicationList", Do(&App::GetApplicationList, -1)},
        {"IStreamingApplication.GetApplicationProperties", Do(&App::GetApplicationProperties, kAlpha, 1)},
        {"IStreamingCache.GetCacheLocation", Do(&Cache::GetCacheLocation, 0)},
        {"IStreamingCache.GetMultiSourceFileInfo", Do(&Cache::GetMultiSourceFileInfo, kAlpha)},
        {"IStreamingCache.GetMultiSourceFileIdList", Do(&Cache::GetMultiSourceFileIdList, VARIANT_FALSE)},
    };
    const struct {
        Query query;
        const char* shape;
        std::string reply; // once (times 1): the next reply is as usual
    } rows[] = {
        // clang-format off
        {kList, "empty", "2; EMPTY"}, {kList, "short", "2; [BSTR " + alpha + "]"}, {kList, "countTooLarge", "3; " + ids},
        {kList, "nullStrings", "2; [BSTR null x2]"}, {kIds, "countTooLarge", "2; [BSTR " + alpha + "]"},
        {kIds, "short", "1; []"}, {kIds, "noArray", "1; null array"}, {kProperties, "short", "[]"},
        {kProperties, "scalar", "I4 7"}, {kProperties, "lowerBound1", "from 1 [I4 1, EMPTY x39]"},
        {kSettings, "short", "[I4 1, I4 6, I1 67]"}, {kSettings, "wrongTypes", "[I4 7 x6]"},
        {kSettings, "nullStrings", "[I4 1, I4 6, I1 67, BSTR null, I4 2048, I4 0]"},
        {kInfo, "short", "[BSTR " + alpha + ", BSTR C:\\a, BSTR C:\\b, " + dates + "]"},
        {kInfo, "nullStrings", "[BSTR null x3, " + dates + " x2]"}, {kInfo, "wrongTypes", "[I4 7 x7]"},
        // clang-format on
    };
    for (const auto& row : rows) {
        const auto& [method, call] = queries[row.query];
        base.Write();
        Objects objects;
        std::string usual;
        call(objects, usual);
        EXPECT_CASE((Case{method + " " + row.shape,
                          Scenario(base).Reply(method, row.shape, 1),
                          {{call, S_OK, row.reply},
                           {call, S_OK, usual},
                           {Calls({{method}}), S_OK, method + " reply=" + row.shape + " | " + method}}}));
    }
    // A short properties reply ends just before the highest element that the mask asks for.
    EXPECT_CASE((Case{"short properties",
                      Scenario(base).Reply("GetApplicationProperties", "short"),
                      {{Do(&App::GetApplicationProperties, kAlpha, 2), S_OK, "[EMPTY]"},
                       {Do(&App::GetApplicationProperties, kAlpha, 0x20000000), S_OK, "[EMPTY x39]"}}}));
}

} // namespace
} // namespace quillet::testing
