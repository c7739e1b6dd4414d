// What the emulator refuses and answers, call by call, as a client meets it: the client's and the
// applications' ladders, adding from tokens, the cache settings, multisource files and whose they are,
// faults, and malformed replies.
#include "Files.h"
#include "LoopbackHttpServer.h"
#include "ServiceCase.h"
#include "win32/UniqueHandle.h"

namespace quillet::testing {
namespace {

const std::string alpha = ToUtf8(kAlpha), beta = ToUtf8(kBeta);

std::string AlphaState(long long state) {
    return R"({"applications":[{"state":)" + std::to_string(state) + "}]}";
}

// Every operation that changes an application, in interface order.
// clang-format off
enum Operation { kRemove, kLoad, kUnload, kMount, kUnmount, kStart, kStop, kInDesktop, kWithParameters, kRun };
std::vector<Call> Operations(const wchar_t* guid) {
    return {Do(&App::RemoveApplication, guid), Do(&App::LoadApplication, guid), Do(&App::UnloadApplication, guid),
            Do(&App::MountApplication, guid), Do(&App::UnmountApplication, guid), Do(&App::StartApplication, guid),
            Do(&App::StopApplication, guid), Do(&App::StartApplicationInDesktop, guid, L"winsta0\\default"),
            Do(&App::StartApplicationWithParameters, guid, L"\"-x\" \"a b\"", L""),
            Do(&App::RunApplicationCommand, guid, L"C:\\tool.exe", L"C:\\work", L"\"-v\"", L"", L"")};
}
// clang-format on

TEST_F(Emulator, Ladders) {
    const Call start = Do(&Client::StartClient), stop = Do(&Client::StopClient),
               state = Do(&Client::GetClientState);
    const Call init = Do(&Client::InitApplications), uninit = Do(&Client::UninitApplications);
    // clang-format off
    const struct { int from; Call call; DWORD hr; int to; } clients[] = {
        {0, start, S_OK, 2}, {2, start, 0xA0044011, 2}, {4, start, 0xA0044011, 4}, {5, start, 0xA0044011, 5},
        {2, init, S_OK, 4}, {4, init, 0xA0044021, 4}, {0, init, kNotReady, 0}, {5, init, 0x800708CA, 5},
        {3, init, kInvalidState, 3}, {4, uninit, S_OK, 2}, {2, uninit, 0xA0044020, 2}, {0, uninit, 0xA0044020, 0},
        {2, stop, S_OK, 0}, {5, stop, S_OK, 0}, {0, stop, 0xA0044010, 0}, {4, stop, kInvalidState, 4},
    };
    constexpr long long kGone = INT64_MIN;
    const struct { Operation operation; long long from; DWORD hr; long long to; } applications[] = {
        {kLoad, 0, kInvalidState, 0}, {kLoad, 3, S_OK, 4}, {kLoad, 4, kInvalidState, 4},
        {kMount, 3, kInvalidState, 3}, {kMount, 15, S_OK, 16}, {kMount, 16, kInvalidState, 16},
        {kStart, 15, kInvalidState, 15}, {kStart, 16, S_OK, 64}, {kStart, 100, S_OK, 64}, {kStart, -5, kInvalidState, -5},
        {kWithParameters, 16, S_OK, 64}, {kWithParameters, 4, kInvalidState, 4}, {kInDesktop, 64, S_OK, 64},
        {kStop, 64, S_OK, 16}, {kStop, 16, kInvalidState, 16}, {kStop, 65, kInvalidState, 65},
        {kUnmount, 64, kInvalidState, 64}, {kUnmount, 100, S_OK, 4}, {kUnmount, 15, kInvalidState, 15},
        {kUnload, 4, S_OK, 1}, {kUnload, 15, S_OK, 1}, {kUnload, 16, kInvalidState, 16}, {kUnload, 3, kInvalidState, 3},
        {kRemove, 1, S_OK, kGone}, {kRemove, 3, S_OK, kGone}, {kRemove, 4, kInvalidState, 4}, {kRemove, 0, kInvalidState, 0},
        {kLoad, 4294967295, kInvalidState, 4294967295}, {kRun, 16, S_OK, 16}, {kRun, 64, S_OK, 64},
        {kRun, 4, kInvalidState, 4}, {kRun, 65, kInvalidState, 65},
    };
    // clang-format on
    for (const auto& row : clients) {
        const std::string to = std::to_string(row.to);
        EXPECT_CASE("client row " + std::to_string(&row - clients), Scenario().Client(row.from),
                    {{row.call, row.hr}, {state, S_OK, to}}, R"({"client":{"state":)" + to + "}}");
    }
    for (const auto& row : applications) {
        EXPECT_CASE("application row " + std::to_string(&row - applications), One(row.from),
                    {{Operations(kAlpha)[row.operation], row.hr}},
                    row.to == kGone ? R"({"applications":[]})" : AlphaState(row.to));
    }
}

TEST_F(Emulator, QueriesAndRefusals) {
    std::wstring lower = kAlpha;
    std::transform(lower.begin(), lower.end(), lower.begin(), towlower);
    const Call stop = Do(&App::StopApplication, kAlpha),
               status = Do(&App::GetApplicationProperties, kAlpha, 1);
    const Call admin = Do(&Client::IsUserAdministrator), running = Do(&App::GetApplicationList, 64);
    const std::string both = "2; [BSTR " + beta + ", BSTR " + alpha + "]", up = "[I4 64, EMPTY x39]";
    // clang-format off
    const std::vector<Case> cases = {
        {"administrator", Scenario().Admin(true), {{admin, S_OK, "-1"}}},
        {"no administrator", Scenario().Admin(false), {{admin, S_OK, "0"}}},
        {"calls before Initialize and after Uninitialize", Scenario(), {{Create<Client>()}, {Do(&Client::GetClientState), kUnexpected},
            {Do(&Client::Initialize, GetCurrentProcessId())}, {Do(&Client::Uninitialize)}, {Do(&Client::StartClient), kUnexpected}}},
        {"guids ignore case", One(1), {{Do(&App::LoadApplication, lower)}}, AlphaState(4)},
        {"a command needs an executable", One(16), {{Do(&App::RunApplicationCommand, kAlpha, L"", L"C:\\w", L"", L"", L""), kInvalidArgument}}},
        // A repeated stop, as a client sends while it waits, does not start the count again.
        {"stop after two status queries", One(64, 4, 2), {{stop}, {status, S_OK, up}, {stop}, {status, S_OK, up}, {status, S_OK, "[I4 16, EMPTY x39]"}}},
        {"a stop that never ends", One(64, 4, -1), {{stop}, {status, S_OK, up}, {status, S_OK, up}, {Do(&App::UnmountApplication, kAlpha), kInvalidState}}},
        {"properties the mask asks for", Scenario().App(kAlpha, L"Alpha \u03A9", 16, 0, true),
         {{Do(&App::GetApplicationProperties, kAlpha, 0x20000003), S_OK, "[I4 16, BSTR Alpha \u03A9, EMPTY x37, BOOL -1]"}}},
        {"lists in state.json's order, by a filter", Scenario().App(kBeta, L"Beta", 64).App(kAlpha, L"Alpha", 1),
         {{Do(&App::GetApplicationList, -1), S_OK, both}, {Do(&App::GetApplicationList, 65), S_OK, both}, {running, S_OK, "1; [BSTR " + beta + "]"}}},
        {"an empty list", Scenario(), {{running, S_OK, "0; []"}}},
    };
    // clang-format on
    for (const Case& test : cases) {
        EXPECT_CASE(test);
    }
    // Only the queries work before the applications are initialised; an unknown guid is refused by all.
    for (const auto& [client, guid, hr] : {std::tuple{0, kAlpha, kNotReady},
                                           {2, kAlpha, kNotReady},
                                           {5, kAlpha, kNotReady},
                                           {4, kUnknown, kNotFound}}) {
        Case test{"every operation, client " + std::to_string(client), One(1, client)};
        for (const Call& operation : Operations(guid)) {
            test.steps.push_back({operation, hr});
        }
        const bool known = guid == kAlpha;
        test.steps.push_back({status, S_OK, "[I4 1, EMPTY x39]"});
        test.steps.push_back(
            {Do(&App::GetApplicationProperties, guid, 1), known ? DWORD{S_OK} : hr, known ? "" : "EMPTY"});
        EXPECT_CASE(test);
    }
}

TEST_F(Emulator, AddApplicationReadsATokenFileOrUrl) {
    const TempFolder tokens;
    const auto add = [](std::wstring source, VARIANT_BOOL isUrl) {
        return Do(&App::AddApplication, source, isUrl);
    };
    const auto file = [&](const char* token) {
        return tokens.File(FromUtf8(std::to_string(std::hash<std::string>()(token))), token);
    };
    LoopbackHttpServer served(200, R"({"name":"Gamma","guid":"{A1A1A1A1-0000-4000-8000-0000000000A1}"})");
    LoopbackHttpServer missing(404, "not here"), page(200, "<html>no token</html>");
    const std::string big = std::string(1 << 20, ' ') + "{}";
    // clang-format off
    const std::vector<Case> cases = {
        // The guid comes back in braces and upper case, however the token writes it.
        {"a token file", Scenario().Client(4),
         {{add(file(R"({"name":"A \u03A9","guid":"a1a1a1a1-0000-4000-8000-0000000000a1","requiresReboot":true})"), 0), S_OK, "A \u03A9; " + alpha}},
         R"({"applications":[{"guid":")" + alpha + R"(","name":"A \u03A9","state":1,"requiresReboot":true}]})"},
        {"a token without a guid gets a new one each time", Scenario().Client(4),
         {{add(file("\xEF\xBB\xBF{\"name\":\"Beta\"}"), 0)}, {add(file("\xEF\xBB\xBF{\"name\":\"Beta\"}"), 0)}},
         R"({"applications":[{"name":"Beta","requiresReboot":false},{"name":"Beta"}]})"},
        {"a token URL", Scenario().Client(4), {{add(served.Url(L"/tokens/gamma?user=1"), -1), S_OK, "Gamma; " + alpha}}, AlphaState(1)},
    };
    const struct { std::wstring source; VARIANT_BOOL isUrl; DWORD hr; int client = 4; } refusals[] = {
        {file(("{\"name\":\"Again\",\"guid\":\"" + beta + "\"}").c_str()), 0, kAlreadyExists}, {file("name=Alpha"), 0, 0x8007000D},
        {file("{\"name\":\"Alpha \xFF\"}"), 0, 0x8007000D}, {file(R"({"guid":"{C3C3C3C3-0000-4000-8000-0000000000C3}"})"), 0, 0x8007000D},
        {file(R"({"name":"Alpha","guid":"alpha"})"), 0, 0x8007000D}, {file(big.c_str()), 0, 0x800700DF},
        {tokens.Path() + L"\\missing.tok", 0, 0x80070002}, {file(R"({"name":"Beta"})"), 0, kNotReady, 2},
        {missing.Url(L"/missing"), -1, 0x80190194}, {page.Url(L"/page"), -1, 0x8007000D}, {L"http://127.0.0.1:1/closed", -1, 0x80072EFD},
    };
    // clang-format on
    for (const Case& test : cases) {
        EXPECT_CASE(test);
    }
    EXPECT_EQ(served.LastRequestLine(), "GET /tokens/gamma?user=1 HTTP/1.1");
    for (const auto& refusal : refusals) {
        EXPECT_CASE(ToUtf8(refusal.source), Scenario().Client(refusal.client).App(kBeta, L"Beta", 1),
                    {{add(refusal.source, refusal.isUrl), refusal.hr, "null; null"}},
                    R"({"applications":[{"guid":")" + beta + R"("}]})");
    }
}

TEST_F(Emulator, CacheSettingsAndClear) {
    const TempFolder folder;
    const std::wstring cache = emulator::CacheFolder(), other = folder.Path();
    const auto move = [](const std::wstring& to) {
        return Settings({{2, VT_I1, to[0]}, {3, VT_BSTR, 0, to}});
    };
    const auto size = [](long long megabytes) { return Settings({{4, VT_I4, megabytes}}); };
    const Call clear = Do(&Cache::ClearCache);
    // clang-format off
    const struct { long long state; Call call; DWORD hr; int sizeAfter = 2048; std::wstring locationAfter = {}; int usedAfter = 100; } rows[] = {
        {1, size(100), S_OK, 100}, {1, move(other), S_OK, 2048, other}, {64, Settings({}), S_OK}, {64, size(4096), S_OK, 4096},
        {1, size(0), kInvalidArgument}, {1, size(99), 0x80070070}, {64, size(1024), 0x800700AA}, {64, move(other), 0x800700AA},
        {1, Settings({{2, VT_I1, 'Z'}, {3, VT_BSTR, 0, other}}), kInvalidArgument}, {1, Settings({{5, VT_I4, 0}}), kInvalidArgument},
        {1, Settings({{4, VT_BSTR, 0, L"4096"}}), kTypeMismatch}, {1, Settings({}, 5), kInvalidArgument},
        {1, Settings({{0, VT_I4, 4096}}, 0), kInvalidArgument}, {1, move(L"\\\\server\\share\\cache"), 0x80070035},
        {1, move(other + L"\\missing"), 0x80070003}, {1, move(L"cache"), 0x800700A1}, {1, move(emulator::StatePath()), 0x8007010B},
        {16, clear, S_OK, 2048, {}, 0}, {64, clear, 0x800700AA},
    };
    // clang-format on
    for (const auto& row : rows) {
        const ordered_json after = {
            {"cache",
             {{"location", ToUtf8(row.locationAfter.empty() ? cache : row.locationAfter)},
              {"sizeMB", row.sizeAfter},
              {"usedMB", row.usedAfter}}}};
        EXPECT_CASE("row " + std::to_string(&row - rows), One(row.state).Cache(cache, 2048, 100),
                    {{row.call, row.hr}}, after.dump());
    }
    EXPECT_CASE("clear offline", One(1, 5).Cache(cache, 2048, 100), {{clear, 0x800708CA}});
    EXPECT_CASE("clear stopped", One(1, 0).Cache(cache, 2048, 100), {{clear, S_OK}},
                R"({"cache":{"usedMB":0}})");
}

// The emulator writes and deletes only the copies that it made, never two entries on one local path, and
// a replacement that fails leaves the old copy.
TEST_F(Emulator, MultisourceFilesBelongToWhoeverMadeThem) {
    const TempFolder folder;
    const std::string payload(1234, 'x');
    const std::wstring source = folder.File(L"payload.bin", payload), target = folder.Folder(L"target");
    const std::wstring copy = target + L"\\payload.bin", cached = emulator::CacheFolder() + L"\\payload.bin";
    const std::wstring twin = folder.Folder(L"twin") + L"\\payload.bin", blocked = folder.Folder(L"blocked");
    folder.Folder(L"blocked\\payload.bin");
    WriteBytes(twin, "twin");
    const auto add = [](const wchar_t* guid, const std::wstring& from, const std::wstring& to,
                        VARIANT_BOOL overwrite = 0) {
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
    const Scenario two =
        Scenario().App(kAlpha, L"Alpha", 1).App(kBeta, L"Beta", 1); // any client state will do
    const ordered_json own = {{"localCopy", true}};
    const auto entry = [](const std::string& guid, const std::wstring& local) {
        return R"({"multisource":[{"appGuid":")" + guid + R"(","localPath":)" +
               ordered_json(ToUtf8(local)).dump() + "}]}";
    };
    const std::string none = "(missing)", ids = "2; [BSTR " + alpha + ", BSTR " + beta + "]";
    // clang-format off
    std::vector<Case> cases = {
        {"into the cache folder", two, {{add(kAlpha, source, L"")}, {info(kAlpha), S_OK, listed(cached)}}},
        {"into a folder", two, {{add(kAlpha, source, target + L"\\")}, {info(kAlpha), S_OK, listed(copy)}}},
        {"into the source's folder: no copy", two, {{add(kAlpha, source, folder.Path())}, {info(kAlpha), S_OK, listed(source)}}},
        {"refusals", two, {{add(kBeta, source, L"")}, {add(kBeta, source, target), kAlreadyExists}, {add(kBeta, source, target, -1)},
            {add(kUnknown, source, L""), kNotFound}, {add(kAlpha, source + L"x", L""), 0x80070002}, {add(kAlpha, target, L""), 0x80070150},
            {add(kAlpha, source, target + L"x"), 0x80070003}, {File(cached), S_OK, none}, {File(copy), S_OK, payload}}, entry(beta, copy)},
        {"delete takes the entry and the copy it made", two, {{add(kAlpha, source, target)}, {add(kBeta, source, source)},
            {remove(kAlpha)}, {remove(kBeta)}, {remove(kBeta), kNotFound}, {info(kAlpha), kNotFound, "EMPTY"},
            {File(copy), S_OK, none}, {File(source), S_OK, payload}}, R"({"multisource":[]})"},
        {"removing the application takes its entry", One(1), {{add(kAlpha, source, target)},
            {Do(&App::RemoveApplication, kAlpha)}, {info(kAlpha), kNotFound}, {File(copy), S_OK, none}}, R"({"multisource":[]})"},
        {"id lists", Scenario(two).Multisource(kAlpha, source, source, {{"finished", false}}).Multisource(kBeta, source, copy),
         {{Do(&Cache::GetMultiSourceFileIdList, 0), S_OK, ids}, {Do(&Cache::GetMultiSourceFileIdList, -1), S_OK, "1; [BSTR " + beta + "]"}}},
        {"a user's file in the way", two,
         {{write(copy, "user's")}, {add(kAlpha, source, target), kFileExists}, {File(copy), S_OK, "user's"}, {info(kAlpha), kNotFound}}},
        {"a user's file in the way, overwrite asked", two,
         {{write(copy, "user's")}, {add(kAlpha, source, target, -1), kFileExists}, {File(copy), S_OK, "user's"}, {info(kAlpha), kNotFound}}},
        {"another application's copy of a source of the same name", two,
         {{add(kBeta, twin, L"")}, {add(kAlpha, source, L"", -1), kFileExists}, {File(cached), S_OK, "twin"}}, entry(beta, cached)},
        {"a folder in the way of a replacement", two, {{add(kAlpha, source, target)},
            {add(kAlpha, source, blocked, -1), kFileExists}, {info(kAlpha), S_OK, listed(copy)}, {File(copy), S_OK, payload}}},
        {"a replacement that fails keeps the old copy", two, {{add(kAlpha, source, L"")}, {write(cached, "old")}, {hold},
            {add(kAlpha, source, L"", -1), 0x80070020}, {Act([&] { held.reset(); })}, {File(cached), S_OK, "old"}}, entry(alpha, cached)},
        {"a copy that another entry still lists", Scenario(two).Multisource(kAlpha, source, copy, own).Multisource(kBeta, source, copy, own),
         {{write(copy, "copy")}, {remove(kAlpha)}, {File(copy), S_OK, "copy"}, {remove(kBeta)}, {File(copy), S_OK, none}}},
        {"a file listed that the emulator did not make", Scenario(two).Multisource(kAlpha, source, copy),
         {{write(copy, "copy")}, {remove(kAlpha)}, {File(copy), S_OK, "copy"}}},
    };
    // clang-format on
    for (Case& test : cases) {
        // Each case starts without the copies that an earlier one made.
        test.steps.insert(test.steps.begin(), {Act([&] {
                              DeleteFileW(copy.c_str());
                              DeleteFileW(cached.c_str());
                          })});
        EXPECT_CASE(test);
    }
    DeleteFileW(cached.c_str());
}

TEST_F(Emulator, FaultsAndMalformedReplies) {
    const Call start = Do(&Client::StartClient), state = Do(&Client::GetClientState);
    const auto initialize = [pid = GetCurrentProcessId()](DWORD client, DWORD cache) {
        return std::vector<Step>{{Create<Client>()},
                                 {Do(&Client::Initialize, pid), client},
                                 {Create<Cache>()},
                                 {Do(&Cache::Initialize, pid), cache}};
    };
    const auto always = [](const char* method) { return Scenario().Fault(method, kAccessDenied, 0, -1); };
    const Scenario base = One(1).App(kBeta, L"Beta", 1);
    const Call list = Do(&App::GetApplicationList, -1), settings = Do(&Cache::GetCacheLocation, 0);
    const std::string cache = ToUtf8(emulator::CacheFolder()),
                      ids = "[BSTR " + alpha + ", BSTR " + beta + "]";
    // clang-format off
    const std::vector<Case> cases = {
        {"fail: the HRESULT and nothing else, once by default", Scenario().Fault("StartClient", kAccessDenied),
         {{start, kAccessDenied}, {start}}, R"({"client":{"state":2},"faults":[{"times":0}]})"},
        {"skip, then times", Scenario().Fault("GetClientState", kAccessDenied, 2, 2),
         {{state}, {state}, {state, kAccessDenied}, {state, kAccessDenied}, {state}}, R"({"faults":[{"skip":0,"times":0}]})"},
        {"times -1: every call", always("GetClientState"), {{state, kAccessDenied}, {state, kAccessDenied}}, R"({"faults":[{"times":-1}]})"},
        {"a guid: only the calls for that application", One(1).App(kBeta, L"Beta", 1).Fault("LoadApplication", kAccessDenied, 0, 1, kBeta),
         {{Do(&App::LoadApplication, kAlpha)}, {Do(&App::LoadApplication, kBeta), kAccessDenied}},
         R"({"applications":[{"state":4},{"state":1}],"faults":[{"times":0}]})"},
        {"one interface's Initialize", always("IStreamingCache.Initialize"), initialize(S_OK, kAccessDenied)},
        {"names ignore case", always("istreamingclient.initialize"), initialize(kAccessDenied, S_OK)},
        {"Initialize of every interface", always("Initialize"), initialize(kAccessDenied, kAccessDenied)},
        {"CreateInstance", Scenario().Fault("IStreamingCache.CreateInstance", kAccessDenied), {{Create<Cache>(), kAccessDenied},
            {Create<Client>()}, {Create<Cache>()}, {Calls({{"IStreamingCache"}}), S_OK, "!IStreamingCache 0x80070005 | +IStreamingCache"}}},
        // A malformed reply replaces a good one, and the journal says which.
        {"malformed replies, once", Scenario(base).Reply("GetApplicationList", "countTooLarge", 1).Reply("GetCacheLocation", "short", 1),
         {{list, S_OK, "3; " + ids}, {list, S_OK, "2; " + ids}, {settings, S_OK, "[I4 1, I4 6, I1 67]"},
          {settings, S_OK, "[I4 1, I4 6, I1 67, BSTR " + cache + ", I4 2048, I4 0]"}, {Calls({{"GetApplicationList", "GetCacheLocation"}}), S_OK,
           "IStreamingApplication.GetApplicationList reply=countTooLarge | IStreamingApplication.GetApplicationList | "
           "IStreamingCache.GetCacheLocation reply=short | IStreamingCache.GetCacheLocation"}}},
        {"list shapes", Scenario(base).Reply("GetApplicationList", "empty", 1).Reply("GetMultiSourceFileIdList", "noArray", 1),
         {{list, S_OK, "2; EMPTY"}, {Do(&Cache::GetMultiSourceFileIdList, 0), S_OK, "0; null array"}}},
        {"short lists", Scenario(base).Reply("GetApplicationList", "short"), {{list, S_OK, "2; [BSTR " + alpha + "]"}}},
        {"null strings", Scenario(base).Reply("GetCacheLocation", "nullStrings"), {{settings, S_OK, "[I4 1, I4 6, I1 67, BSTR null, I4 2048, I4 0]"}}},
        {"wrong types", Scenario(base).Reply("GetCacheLocation", "wrongTypes"), {{settings, S_OK, "[I4 7 x6]"}}},
        {"a scalar", Scenario(base).Reply("IStreamingApplication.GetApplicationProperties", "scalar"),
         {{Do(&App::GetApplicationProperties, kAlpha, 1), S_OK, "I4 7"}}},
        {"lower bound 1", Scenario(base).Reply("GetApplicationProperties", "lowerBound1"),
         {{Do(&App::GetApplicationProperties, kAlpha, 1), S_OK, "from 1 [I4 1, EMPTY x39]"}}},
        // A short properties reply ends just before the highest element that the mask asks for.
        {"short properties", Scenario(base).Reply("GetApplicationProperties", "short"), {{Do(&App::GetApplicationProperties, kAlpha, 1), S_OK, "[]"},
            {Do(&App::GetApplicationProperties, kAlpha, 2), S_OK, "[EMPTY]"}, {Do(&App::GetApplicationProperties, kAlpha, 0x20000000), S_OK, "[EMPTY x39]"}}},
        {"short info", Scenario(base).Multisource(kAlpha, L"C:\\a", L"C:\\b").Reply("GetMultiSourceFileInfo", "short"),
         {{Do(&Cache::GetMultiSourceFileInfo, kAlpha), S_OK, "[BSTR " + alpha + ", BSTR C:\\a, BSTR C:\\b, I8 0 x2, DATE 0]"}}},
    };
    // clang-format on
    for (const Case& test : cases) {
        EXPECT_CASE(test);
    }
}

} // namespace
} // namespace quillet::testing
