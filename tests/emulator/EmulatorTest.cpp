// The emulator as a client meets it: the ladders, tokens, the cache settings, multisource files and whose
// they are, faults and malformed replies; and as a server: its state in state.json (kept across restarts,
// reloaded on an edit, written durably or not at all, refused when it cannot be read), the faults that
// stop it, the slow token sources that must not, and the interfaces that it shares with the real service.
#include "Files.h"
#include "InstanceNames.h"
#include "LoopbackHttpServer.h"
#include "Runner.h"
#include "Service.h"
#include "ServiceCase.h"
#include "win32/Stopwatch.h"
#include "win32/UniqueHandle.h"

#include <aclapi.h>
#include <sddl.h>

#include <filesystem>
#include <future>
#include <list>
#include <map>
#include <thread>

namespace quillet::testing {
namespace {

const std::string alpha = ToUtf8(kAlpha), beta = ToUtf8(kBeta);
const Call start = Do(&Client::StartClient), state = Do(&Client::GetClientState);

std::string AlphaState(long long value) {
    return R"({"applications":[{"state":)" + std::to_string(value) + "}]}";
}

RunResult RunEmulator(const wchar_t* verb) {
    return Run({verb}, {.program = emulator::EmulatorPath(), .timeoutMs = 20000, .captureTrace = false});
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

TEST_F(Emulator, LaddersAndQueries) {
    // clang-format off
    const Call stop = Do(&Client::StopClient), init = Do(&Client::InitApplications), uninit = Do(&Client::UninitApplications);
    const Call status = Do(&App::GetApplicationProperties, kAlpha, 1);
    constexpr long long kGone = INT64_MIN;
    const struct { int from; Call call; DWORD hr; int to; } clients[] = {
        {0, start, S_OK, 2}, {2, start, 0xA0044011, 2}, {4, start, 0xA0044011, 4}, {5, start, 0xA0044011, 5},
        {2, init, S_OK, 4}, {4, init, 0xA0044021, 4}, {0, init, kNotReady, 0}, {5, init, 0x800708CA, 5},
        {3, init, kInvalidState, 3}, {4, uninit, S_OK, 2}, {2, uninit, 0xA0044020, 2}, {0, uninit, 0xA0044020, 0},
        {2, stop, S_OK, 0}, {5, stop, S_OK, 0}, {0, stop, 0xA0044010, 0}, {4, stop, kInvalidState, 4},
    };
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
    const std::string up = "[I4 64, EMPTY x39]", both = "2; [BSTR " + beta + ", BSTR " + alpha + "]";
    const std::vector<Case> cases = {
        {"calls before Initialize and after Uninitialize", Scenario(), {{Create<Client>()}, {state, kUnexpected},
            {Do(&Client::Initialize, GetCurrentProcessId())}, {Do(&Client::Uninitialize)}, {start, kUnexpected}}},
        {"guids ignore case", One(1), {{Do(&App::LoadApplication, L"{a1a1a1a1-0000-4000-8000-0000000000a1}")}}, AlphaState(4)},
        // A repeated stop, as a client sends while it waits, does not start the count again.
        {"stop after two status queries", One(64, 4, 2), {{Do(&App::StopApplication, kAlpha)}, {status, S_OK, up},
            {Do(&App::StopApplication, kAlpha)}, {status, S_OK, up}, {status, S_OK, "[I4 16, EMPTY x39]"}}},
        {"properties the mask asks for", Scenario().App(kAlpha, L"Alpha \u03A9", 16, {.requiresReboot = true}),
         {{Do(&App::GetApplicationProperties, kAlpha, 0x20000003), S_OK, "[I4 16, BSTR Alpha \u03A9, EMPTY x37, BOOL -1]"}}},
        {"lists in state.json's order, by a filter", Scenario().App(kBeta, L"Beta", 64).App(kAlpha, L"Alpha", 1),
         {{Do(&App::GetApplicationList, -1), S_OK, both}, {Do(&App::GetApplicationList, 65), S_OK, both},
          {Do(&App::GetApplicationList, 64), S_OK, "1; [BSTR " + beta + "]"}, {Do(&App::GetApplicationList, 4), S_OK, "0; []"}}},
    };
    const std::tuple<int, const wchar_t*, DWORD> everyOperation[] = {{0, kAlpha, kNotReady}, {2, kAlpha, kNotReady}, {5, kAlpha, kNotReady}, {4, kUnknown, kNotFound}};
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
    for (const Case& test : cases) {
        EXPECT_CASE(test);
    }
    // Only the queries work before the applications are initialised; an unknown guid is refused by all.
    for (const auto& [client, guid, hr] : everyOperation) {
        Case test{"every operation, client " + std::to_string(client), One(1, client)};
        for (const Call& operation : Operations(guid)) {
            test.steps.push_back({operation, hr});
        }
        test.steps.push_back({status, S_OK, "[I4 1, EMPTY x39]"});
        EXPECT_CASE(test);
    }
}

TEST_F(Emulator, TokensAndCacheSettings) {
    // clang-format off
    const TempFolder folder;
    const auto add = [&](const std::string& token) {
        return Do(&App::AddApplication, folder.File(std::to_wstring(std::hash<std::string>()(token)) + L".t", token), 0);
    };
    LoopbackHttpServer served(200, R"({"name":"Gamma","guid":"{A1A1A1A1-0000-4000-8000-0000000000A1}"})"), missing(404, "not here");
    const std::wstring cache = emulator::CacheFolder(), other = folder.Path();
    const auto move = [](const std::wstring& to) { return Settings({{2, VT_I1, to[0]}, {3, VT_BSTR, 0, to}}); };
    const auto size = [](long long megabytes) { return Settings({{4, VT_I4, megabytes}}); };
    const auto inCache = [&](const std::wstring& location, int sizeMB, int usedMB) {
        return ordered_json{{"cache", {{"location", ToUtf8(location)}, {"sizeMB", sizeMB}, {"usedMB", usedMB}}}}.dump();
    };
    const std::string unchanged = inCache(cache, 2048, 100), onlyBeta = R"({"applications":[{"guid":")" + beta + R"("}]})";
    const Call clear = Do(&Cache::ClearCache);
    const Scenario withBeta = Scenario().Client(4).App(kBeta, L"Beta", 1);
    const std::vector<Case> cases = {
        // The guid comes back in braces and upper case, however the token writes it; a token without one gets a new one.
        {"a token file", Scenario().Client(4), {{add(R"({"name":"A \u03A9","guid":"a1a1a1a1-0000-4000-8000-0000000000a1","requiresReboot":true})"),
            S_OK, "A \u03A9; " + alpha}, {add("\xEF\xBB\xBF{\"name\":\"Beta\"}")}}, R"({"applications":[{"guid":")" + alpha +
            R"(","name":"A \u03A9","state":1,"requiresReboot":true},{"name":"Beta","requiresReboot":false}]})"},
        {"a token URL", Scenario().Client(4), {{Do(&App::AddApplication, served.Url(L"/gamma?user=1"), -1), S_OK, "Gamma; " + alpha}}, AlphaState(1)},
        {"a token with a guid in use", withBeta, {{add("{\"name\":\"Again\",\"guid\":\"" + beta + "\"}"), kAlreadyExists, "null; null"}}, onlyBeta},
        {"no token", withBeta, {{add("name=Alpha"), 0x8007000D}, {add(R"({"guid":"{C3C3C3C3-0000-4000-8000-0000000000C3}"})"), 0x8007000D}}, onlyBeta},
        {"no token file", withBeta, {{Do(&App::AddApplication, other + L"\\missing.tok", 0), 0x80070002}}, onlyBeta},
        {"applications not initialised", Scenario().Client(2), {{add(R"({"name":"Beta"})"), kNotReady}}},
        {"HTTP status 404", withBeta, {{Do(&App::AddApplication, missing.Url(L"/missing"), -1), 0x80190194}}, onlyBeta},
        {"clear offline", One(1, 5).Cache(cache, 2048, 100), {{clear, 0x800708CA}}},
    };
    const struct { long long state; Call call; DWORD hr; std::string after; } settings[] = {
        {1, size(100), S_OK, inCache(cache, 100, 100)}, {1, move(other), S_OK, inCache(other, 2048, 100)},
        {64, Settings({}), S_OK, unchanged}, {64, size(4096), S_OK, inCache(cache, 4096, 100)}, {16, clear, S_OK, inCache(cache, 2048, 0)},
        {1, size(0), kInvalidArgument, unchanged}, {1, size(99), 0x80070070, unchanged}, {64, size(1024), 0x800700AA, unchanged},
        {64, move(other), 0x800700AA, unchanged}, {1, Settings({{2, VT_I1, 'Z'}, {3, VT_BSTR, 0, other}}), kInvalidArgument, unchanged},
        {1, Settings({{5, VT_I4, 0}}), kInvalidArgument, unchanged}, {1, Settings({{4, VT_BSTR, 0, L"4096"}}), kTypeMismatch, unchanged},
        {1, move(L"\\\\server\\share\\cache"), 0x80070035, unchanged}, {1, move(other + L"\\missing"), 0x80070003, unchanged},
        {1, move(L"cache"), 0x800700A1, unchanged}, {1, move(emulator::StatePath()), 0x8007010B, unchanged}, {64, clear, 0x800700AA, unchanged},
    };
    // clang-format on
    for (const Case& test : cases) {
        EXPECT_CASE(test);
    }
    EXPECT_EQ(served.LastRequestLine(), "GET /gamma?user=1 HTTP/1.1");
    for (const auto& row : settings) {
        EXPECT_CASE("settings row " + std::to_string(&row - settings), One(row.state).Cache(cache, 2048, 100),
                    {{row.call, row.hr}}, row.after);
    }
}

// The emulator writes and deletes only the copies that it made, never two entries on one local path, and
// a replacement that fails leaves the old copy.
TEST_F(Emulator, MultisourceFilesBelongToWhoeverMadeThem) {
    // clang-format off
    const TempFolder folder;
    const std::string payload(1234, 'x'), none = "(missing)", ids = "2; [BSTR " + alpha + ", BSTR " + beta + "]";
    const std::wstring source = folder.File(L"payload.bin", payload), target = folder.Folder(L"target");
    const std::wstring copy = target + L"\\payload.bin", cached = emulator::CacheFolder() + L"\\payload.bin";
    const std::wstring twin = folder.Folder(L"twin") + L"\\payload.bin", blocked = folder.Folder(L"blocked");
    folder.Folder(L"blocked\\payload.bin");
    WriteBytes(twin, "twin");
    const auto add = [](const wchar_t* guid, const std::wstring& from, const std::wstring& to, VARIANT_BOOL overwrite = 0) {
        return Do(&Cache::AddMultiSourceFile, guid, from, to, overwrite);
    };
    const auto info = [](const wchar_t* guid) { return Do(&Cache::GetMultiSourceFileInfo, guid); };
    const auto remove = [](const wchar_t* guid) { return Do(&Cache::DeleteMultiSourceFile, guid); };
    const auto listed = [&](const std::wstring& local) {
        return "[BSTR " + alpha + ", BSTR " + ToUtf8(source) + (local == source ? " x2" : ", BSTR " + ToUtf8(local)) + ", I8 1234 x2, DATE set x2]";
    };
    const auto write = [](const std::wstring& path, const char* text) { return Act([=] { WriteBytes(path, text); }); };
    UniqueFile held; // the source open without sharing, so that a copy of it fails
    const Call hold = Act([&] { held.reset(CreateFileW(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)); });
    const Scenario two = Scenario().App(kAlpha, L"Alpha", 1).App(kBeta, L"Beta", 1); // any client state will do
    const auto entry = [](const std::string& guid, const std::wstring& local) {
        return R"({"multisource":[{"appGuid":")" + guid + R"(","localPath":)" + ordered_json(ToUtf8(local)).dump() + "}]}";
    };
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
        {"a replacement that fails keeps the old copy", two, {{add(kAlpha, source, L"")}, {hold},
            {add(kAlpha, source, L"", -1), 0x80070020}, {Act([&] { held.reset(); })}, {File(cached), S_OK, payload}}, entry(alpha, cached)},
        {"a file listed that the emulator did not make", Scenario(two).Multisource(kAlpha, source, copy),
         {{write(copy, "copy")}, {add(kAlpha, source, target, -1), kFileExists}, {remove(kAlpha)}, {File(copy), S_OK, "copy"}}},
    };
    // clang-format on
    for (Case& test : cases) {
        // Each case starts without the copies that an earlier one made.
        test.steps.insert(test.steps.begin(),
                          {Act([&] { DeleteFileW(copy.c_str()), DeleteFileW(cached.c_str()); })});
        EXPECT_CASE(test);
    }
    DeleteFileW(cached.c_str());
}

TEST_F(Emulator, FaultsAndMalformedReplies) {
    // clang-format off
    const auto initialize = [pid = GetCurrentProcessId()](DWORD client, DWORD cache) {
        return std::vector<Step>{{Create<Client>()}, {Do(&Client::Initialize, pid), client}, {Create<Cache>()}, {Do(&Cache::Initialize, pid), cache}};
    };
    const auto always = [](const char* method) { return Scenario().Fault(method, kAccessDenied, {.times = -1}); };
    const Scenario base = One(1).App(kBeta, L"Beta", 1);
    const Call list = Do(&App::GetApplicationList, -1), settings = Do(&Cache::GetCacheLocation, 0);
    const auto properties = [](LONG mask) { return Do(&App::GetApplicationProperties, kAlpha, mask); };
    const std::string ids = "[BSTR " + alpha + ", BSTR " + beta + "]", path = ToUtf8(emulator::CacheFolder());
    const std::vector<Case> cases = {
        {"fail: the HRESULT and nothing else, once by default", Scenario().Fault("StartClient", kAccessDenied),
         {{start, kAccessDenied}, {start}}, R"({"client":{"state":2},"faults":[{"times":0}]})"},
        {"skip, then times", Scenario().Fault("GetClientState", kAccessDenied, {.skip = 2, .times = 2}),
         {{state}, {state}, {state, kAccessDenied}, {state, kAccessDenied}, {state}}, R"({"faults":[{"skip":0,"times":0}]})"},
        {"times -1: every call", always("GetClientState"), {{state, kAccessDenied}, {state, kAccessDenied}}, R"({"faults":[{"times":-1}]})"},
        {"a guid: only the calls for that application", One(1).App(kBeta, L"Beta", 1).Fault("LoadApplication", kAccessDenied, {.guid = kBeta}),
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
          {settings, S_OK, "[I4 1, I4 6, I1 67, BSTR " + path + ", I4 2048, I4 0]"}, {Calls({{"GetApplicationList", "GetCacheLocation"}}), S_OK,
           "IStreamingApplication.GetApplicationList reply=countTooLarge | IStreamingApplication.GetApplicationList | "
           "IStreamingCache.GetCacheLocation reply=short | IStreamingCache.GetCacheLocation"}}},
        {"a scalar, lower bound 1", Scenario(base).Reply("IStreamingApplication.GetApplicationProperties", "scalar", 1)
            .Reply("GetApplicationProperties", "lowerBound1", 1), {{properties(1), S_OK, "I4 7"}, {properties(1), S_OK, "from 1 [I4 1, EMPTY x39]"}}},
        // A short properties reply ends just before the highest element that the mask asks for.
        {"short properties", Scenario(base).Reply("GetApplicationProperties", "short"),
         {{properties(1), S_OK, "[]"}, {properties(2), S_OK, "[EMPTY]"}, {properties(0x20000000), S_OK, "[EMPTY x39]"}}},
    };
    // clang-format on
    for (const Case& test : cases) {
        EXPECT_CASE(test);
    }
}

TEST_F(Emulator, StateLivesInStateJsonDurably) {
    // clang-format off
    UniqueFile held; // state.json open without leave to delete it, for ms (released by a thread) or until the next hold
    std::vector<std::jthread> releases;
    const auto hold = [&](DWORD ms) { return Act([&, ms] { held.reset(CreateFileW(emulator::StatePath().c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        if (ms != INFINITE) { releases.emplace_back([&held, ms] { Sleep(ms); held.reset(); }); } }); };
    const std::vector<Case> cases = {
        // Edits of one size, one right after the other: the writer moves the time stamp as a later save would.
        {"edits", std::nullopt, {{Act([] { Scenario().Client(2).Write(); })}, {state, S_OK, "2"},
            {Act([] { Scenario().Client(5).Write(); })}, {state, S_OK, "5"}, {Act(emulator::ClearScenario)}, {state, S_OK, "0"}}},
        {"calls that change nothing write nothing", One(16), {{Do(&App::GetApplicationList, -1)}, {start, 0xA0044011},
            {Act([] { EXPECT_EQ(emulator::ReadDataFile(emulator::StatePath()).find('\n'), std::string::npos); })}}},
        // A change that is not on disk is not kept either; a scanner that holds the file for a moment is waited for.
        {"state.json held by another program", Scenario().Client(0), {{hold(INFINITE)}, {start, kAccessDenied}, {state, S_OK, "0"},
            {hold(100)}, {start}, {state, S_OK, "2"}}, R"({"client":{"state":2}})"},
        {"the data directory deleted", Scenario().Client(0),
         {{state}, {Act([] { std::filesystem::remove_all(emulator::DataDirectory()); })}, {start}, {state, S_OK, "2"}}, R"({"client":{"state":2}})"},
        {"before a restart", One(1, 2), {{Do(&Client::InitApplications)}, {Do(&App::LoadApplication, kAlpha)}}},
    };
    const std::pair<const char*, const char*> unreadable[] = { // with what /Dump says after "state.json: "
        {"{\"client\":", "parse error at line 1, column 11"}, {"{\"applications\":[{\"name\":\"\xC3(\"}]}", "ill-formed UTF-8"},
        {R"({"client":{"state":"two"}})", "state.client.state must be a 32-bit integer"},
        {R"({"applications":[{"state":4294967296}]})", "state.applications[0].state must be a 32-bit integer"},
        {R"({"faults":[{"method":"X","hr":"80004005"}]})", "state.faults[0].hr must be a hexadecimal HRESULT"},
        {R"({"faults":[{"method":"X","hr":"0x100000000"}]})", "state.faults[0].hr must be a hexadecimal HRESULT"},
        {R"({"faults":[{"method":"X","action":"explode"}]})", R"(state.faults[0].action must be one of "fail" "crash" "hang")"},
        {R"({"multisource":[{"size":1.5}]})", "state.multisource[0].size must be an integer"},
    };
    // clang-format on
    for (const Case& test : cases) {
        EXPECT_CASE(test);
    }
    releases.clear(); // joins them
    // What a restart finds, and a journal that goes on where it stopped.
    emulator::StopEmulator();
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
    // clang-format off
    EXPECT_CASE("after a restart", std::nullopt, {{state, S_OK, "4"}, {Do(&App::GetApplicationProperties, kAlpha, 3), S_OK, "[I4 4, BSTR Alpha, EMPTY x38]"}});
    const std::vector<ordered_json> journal = emulator::ReadJournal();
    for (size_t i = 0; i < journal.size(); ++i) {
        EXPECT_EQ(journal[i].at("seq"), i + 1);
    }
    for (const auto& [text, problem] : unreadable) {
        emulator::WriteScenario(text);
        EXPECT_CASE(text, std::nullopt, {{Create<Client>()}, {Do(&Client::Initialize, 1), 0x80070570}});
        quillet::emulator::Service reader(quillet::emulator::DataDirectory::Locate()); // /Dump's reading, in process
        reader.CurrentState();
        EXPECT_NE(reader.StateProblem().value_or("").find(problem), std::string::npos) << text;
    }
    const RunResult broken = RunEmulator(L"/Dump");
    EXPECT_EQ(broken.exitCode, 0x80070570);
    EXPECT_EQ(broken.errors, "The state cannot be read: state.json: state.multisource[0].size must be an integer\n");
    EXPECT_CASE("fixed", Scenario().Client(2), {{state, S_OK, "2"}});
    EXPECT_EQ(RunEmulator(L"/Dump").output, "{\n  \"client\": {\"state\":2,\"isAdmin\":null},\n  \"applications\": [],\n  \"cache\": {\"location\":" +
              ordered_json(ToUtf8(emulator::CacheFolder())).dump() + ",\"sizeMB\":2048,\"usedMB\":0},\n  \"multisource\": [],\n  \"faults\": [],\n  \"replies\": [],\n  \"copiesInFlight\": []\n}\n");
    // The client sees the broken call, never the fault's HRESULT; the count is saved before the end.
    EXPECT_CASE("crash inside the call", Scenario().Crash("StartClient"), {{start, kCallFailed},
                {Calls({{"StartClient"}}), S_OK, "IStreamingClient.StartClient 0x8000FFFF crash"}}, R"({"client":{"state":0},"faults":[{"times":0}]})");
    ASSERT_EQ(emulator::RecoverAfterCrash(), S_OK);
    EXPECT_CASE("back after the crash", std::nullopt, {{start}}, R"({"client":{"state":2}})");
    // /Reset stops the emulator and deletes its files.
    EXPECT_EQ(RunEmulator(L"/Reset").output, "Stopped.\nState and journal deleted.\n");
    EXPECT_EQ(GetFileAttributesW(emulator::StatePath().c_str()) & GetFileAttributesW(emulator::JournalPath().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(RunEmulator(L"/Stop").output, "Not running.\n");
    { // What holds the ready event but cannot be activated (nothing is registered) is no running instance.
        RunEmulator(L"/UnregServer");
        const UniqueHandle ready(CreateEventW(nullptr, TRUE, TRUE,
                                              quillet::emulator::InstanceObjectName(quillet::emulator::kReadyEvent).c_str()));
        SetEvent(ready.get());
        const RunResult unreachable = RunEmulator(L"/Start");
        EXPECT_EQ(unreachable.exitCode, 0x80040154);
        EXPECT_EQ(unreachable.errors,
                  "No client can activate the running instance; /Stop ends it: 0x80040154\n");
    }
    // clang-format on
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
}

// What one client's call gives, and when it started and ended on the test's clock.
struct Outcome {
    HRESULT hr = E_PENDING;
    double startMs = 0;
    double endMs = 0;
};

// call from a client of its own, on a thread of its own, delayMs after clock's start.
std::future<Outcome> Later(const Stopwatch& clock, DWORD delayMs, Call call) {
    return std::async(std::launch::async, [&clock, delayMs, call] {
        Sleep(delayMs);
        const emulator::Apartment apartment;
        Objects objects;
        std::string out;
        Outcome outcome{.startMs = clock.ElapsedMs()};
        outcome.hr = call(objects, out);
        outcome.endMs = clock.ElapsedMs();
        return outcome;
    });
}

// A sparse file of that many GB: quick to make, and slow to copy.
std::wstring HugeFile(const TempFolder& folder, const wchar_t* name, long long gigabytes) {
    const std::wstring path = folder.File(name, "");
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(SetFilePointerEx(file.get(), {.QuadPart = gigabytes << 30}, nullptr, FILE_BEGIN) &&
                SetEndOfFile(file.get()));
    return path;
}

// Slow calls side by side, as clients make them, all at once so that the suite waits once: hostile token
// sources, three adds from a server that never answers started 4 s apart, and a token that comes after 2 s
// next to a long copy. Each call takes its own time only, and a quick call is answered at once meanwhile.
TEST_F(Emulator, NoCallWaitsForAnother) {
    using enum LoopbackHttpServer::Behaviour;
    std::list<LoopbackHttpServer> servers;
    const auto add = [&](auto behaviour, const char* body) {
        return Do(&App::AddApplication, servers.emplace_back(200, body, behaviour).Url(L"/t"), -1);
    };
    const std::wstring pipeName = L"\\\\.\\pipe\\quillet-emulator-" + std::to_wstring(GetCurrentProcessId());
    UniqueFile pipe(
        CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr));
    const TempFolder folder;
    const Call copy =
        Do(&Cache::AddMultiSourceFile, kAlpha, HugeFile(folder, L"huge.bin", 3), folder.Path() + L"\\to", 0);
    CreateDirectoryW((folder.Path() + L"\\to").c_str(), nullptr);
    One(1).Write();
    const Stopwatch clock;
    struct Slow {
        std::string name;
        std::future<Outcome> outcome;
        DWORD hr;
        double withinMs;
    };
    // clang-format off
    Slow slow[] = {
        {"never answers, at 0 s", Later(clock, 0, add(NeverAnswer, "")), 0x80072EE2, 17000},
        {"never answers, at 4 s", Later(clock, 4000, add(NeverAnswer, "")), 0x80072EE2, 17000},
        {"never answers, at 8 s", Later(clock, 8000, add(NeverAnswer, "")), 0x80072EE2, 17000},
        {"trickles", Later(clock, 0, add(Trickle, R"({"name":"Slow"})")), 0x80072EE2, 17000},
        {"stalls its TLS handshake", Later(clock, 0, add(StallTls, "")), 0x80072EE2, 17000},
        {"a pipe whose server never writes", Later(clock, 0, Do(&App::AddApplication, pipeName, 0)), 0x800700DE, 1000},
        {"a 1.2 GB token", Later(clock, 0, Do(&App::AddApplication, HugeFile(folder, L"huge.tok", 1), 0)), 0x800700DF, 1000},
        {"comes after 2 s", Later(clock, 500, add(Late, R"({"name":"Late"})")), S_OK, 5000},
        {"a 3 GB copy after it", Later(clock, 1000, copy), S_OK, 60000},
    };
    // clang-format on
    Objects other;
    for (int i = 0; i < 8; ++i) {
        Sleep(2000);
        const Stopwatch watch;
        std::string out;
        EXPECT_EQ(Do(&App::GetApplicationList, -1)(other, out), S_OK);
        EXPECT_LT(watch.ElapsedMs(), 1000.0) << "a list query waited for slow calls";
    }
    std::map<std::string, Outcome> outcomes;
    for (Slow& call : slow) {
        const Outcome outcome = outcomes[call.name] = call.outcome.get();
        EXPECT_EQ(Hex(outcome.hr), Hex(call.hr)) << call.name;
        EXPECT_LT(outcome.endMs - outcome.startMs, call.withinMs) << call.name;
    }
    EXPECT_LT(outcomes["comes after 2 s"].endMs, outcomes["a 3 GB copy after it"].endMs)
        << "the add waited for the copy";
    servers.clear();
    pipe.reset();
}

// /Stop ends every call under way within its limit, and each client sees its call fail.
TEST_F(Emulator, StopEndsCallsUnderWay) {
    const LoopbackHttpServer silent(200, "", LoopbackHttpServer::Behaviour::NeverAnswer);
    const TempFolder folder;
    CreateDirectoryW((folder.Path() + L"\\to").c_str(), nullptr);
    One(1).Write();
    const Stopwatch clock;
    std::vector<std::future<Outcome>> calls;
    for (int i = 0; i < 8; ++i) {
        calls.push_back(Later(clock, 0, Do(&App::AddApplication, silent.Url(L"/t"), -1)));
    }
    calls.push_back(Later(clock, 0,
                          Do(&Cache::AddMultiSourceFile, kAlpha, HugeFile(folder, L"huge.bin", 3),
                             folder.Path() + L"\\to", 0)));
    Sleep(1500);
    const RunResult stop = RunEmulator(L"/Stop");
    EXPECT_EQ(stop.output, "Stopped.\n");
    EXPECT_LT(stop.elapsedMs, 20000.0);
    for (auto& call : calls) {
        EXPECT_EQ(Hex(call.get().hr), Hex(0x80080008));
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path() + L"\\to")) << "a copy cut short is gone";
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
}

// The emulator writes and deletes only files that it made, and never through a link: a hard or a symbolic
// link planted at each name it writes, its copy swapped for one, a claim written into state.json, and a
// data directory that is a link leave the user's file as it was.
TEST_F(Emulator, NothingOfAUsersIsWrittenOrDeleted) {
    const TempFolder folder;
    const std::string mine = "the user's own";
    const std::wstring user = folder.File(L"user.txt", mine), source = folder.File(L"payload.bin", "payload");
    const std::wstring to = folder.Folder(L"to"), copy = to + L"\\payload.bin";
    const Call add = Do(&Cache::AddMultiSourceFile, kAlpha, source, to, 0);
    const Call replace = Do(&Cache::AddMultiSourceFile, kAlpha, source, to, -1);
    const Call remove = Do(&Cache::DeleteMultiSourceFile, kAlpha);
    const auto plant = [&](LinkKind kind, std::wstring at) {
        return Act([=] { DeleteFileW(at.c_str()), MakeLink(kind, at, user); });
    };
    const auto unplant = [](std::wstring at) { return Act([=] { RemoveLink(at); }); };
    const Step intact = {File(user), S_OK, mine};
    const std::string unclaimed = R"({"multisource":[{"localCopy":false,"identity":null}]})";
    for (const LinkKind kind : {LinkKind::Hard, LinkKind::Symbolic}) {
        const std::string how = kind == LinkKind::Hard ? "a hard link " : "a symbolic link ";
        emulator::ClearJournal();
        // clang-format off
        const std::vector<Case> cases = {
            {how + "as journal.jsonl", One(1), {{plant(kind, emulator::JournalPath())}, {start, 0xA0044011}, intact,
                {unplant(emulator::JournalPath())}, {start, 0xA0044011}, {Calls({}), S_OK, "IStreamingClient.StartClient 0xA0044011"}}},
            {how + "as state.json.tmp", Scenario().Client(0), {{plant(kind, emulator::StatePath() + L".tmp")}, {start}, intact,
                {unplant(emulator::StatePath() + L".tmp")}}, R"({"client":{"state":2}})"},
            {how + "as state.json", std::nullopt, {{plant(kind, emulator::StatePath())}, {start, 0x80070570}, intact,
                {unplant(emulator::StatePath())}}},
            {how + "for the copy, deleted", One(1), {{add}, {plant(kind, copy)}, {remove}, intact,
                {Calls({{"DeleteMultiSourceFile"}}), S_OK, "IStreamingCache.DeleteMultiSourceFile"}, {unplant(copy)}}, R"({"multisource":[]})"},
            {how + "for the copy, replaced", One(1), {{add}, {plant(kind, copy)}, {replace, kFileExists}, intact, {unplant(copy)}}, unclaimed},
        };
        // clang-format on
        for (const Case& test : cases) {
            EXPECT_CASE(test);
        }
        const std::vector<ordered_json> journal = emulator::ReadJournal();
        EXPECT_TRUE(std::any_of(journal.begin(), journal.end(),
                                [&](const ordered_json& line) {
                                    return line.value("event", "") == "disown" &&
                                           line.value("path", "") == ToUtf8(copy);
                                }))
            << how << "for the copy: the journal says why it is left";
    }
    const Scenario forged = One(1).Multisource(kAlpha, source, user, {{"localCopy", true}});
    const Scenario forgedInTheWay =
        One(1).Multisource(kAlpha, source, to + L"\\user.txt", {{"localCopy", true}});
    // clang-format off
    const std::vector<Case> claims = {
        {"the copy changed by its user, deleted", One(1), {{add}, {Act([&] { WriteBytes(copy, "changed"); })}, {remove},
            {File(copy), S_OK, "changed"}}, R"({"multisource":[]})"},
        {"a claim written into state.json, deleted", forged, {{remove}, intact, {Calls({}), S_OK,
            "+IStreamingCache | IStreamingCache.Initialize | disown " + ToUtf8(user) + " | IStreamingCache.DeleteMultiSourceFile"}},
         R"({"multisource":[]})"},
        {"a claim written into state.json, replaced", forgedInTheWay, {{Act([&] { CopyFileW(user.c_str(), (to + L"\\user.txt").c_str(), FALSE); })},
            {Do(&Cache::AddMultiSourceFile, kAlpha, user, to, -1), kFileExists}, {File(to + L"\\user.txt"), S_OK, mine}}, unclaimed},
    };
    // clang-format on
    for (const Case& test : claims) {
        EXPECT_CASE(test);
    }
}

// The data directory and the cache folder are the emulator's own: made, or taken over when they exist, with
// an access list for SYSTEM, Administrators and the user alone, and refused when they are links. Wine keeps
// only what its file modes can hold of the list (no Administrators, no protection) and enforces nothing,
// so the list is read back.
TEST_F(Emulator, TheDataDirectoryIsTheEmulatorsOwn) {
    emulator::StopEmulator();
    std::filesystem::remove_all(emulator::DataDirectory());
    ASSERT_TRUE(CreateDirectoryW(emulator::DataDirectory().c_str(), nullptr)); // as anyone could have
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
    EXPECT_CASE("taken over", std::nullopt, {{start}});
    std::wstring sddl;
    ASSERT_EQ(quillet::emulator::EmulatorFolderSddl(sddl), S_OK);
    const std::string user = ToUtf8(sddl.substr(sddl.rfind(L';') + 1, sddl.size() - sddl.rfind(L';') - 2));
    for (const std::wstring& path : {emulator::DataDirectory(), emulator::CacheFolder()}) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        wchar_t* text = nullptr;
        ASSERT_EQ(GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                        nullptr, nullptr, nullptr, &descriptor),
                  ERROR_SUCCESS);
        ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr));
        const std::string dacl = ToUtf8(text);
        LocalFree(text);
        LocalFree(descriptor);
        const std::string full = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + ")";
        EXPECT_EQ(dacl, RunningUnderWine() ? "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + user + ")" : full)
            << ToUtf8(path);
    }
    const TempFolder elsewhere;
    for (const std::wstring& path : {emulator::CacheFolder(), emulator::DataDirectory()}) {
        const std::wstring aside = path + L".aside";
        ASSERT_TRUE(MoveFileW(path.c_str(), aside.c_str()));
        MakeLink(LinkKind::Symbolic, path, elsewhere.Path());
        EXPECT_CASE(ToUtf8(path) + " a link", std::nullopt,
                    {{Create<Client>()}, {Do(&Client::Initialize, 1), 0x8007112B}});
        RemoveLink(path);
        ASSERT_TRUE(MoveFileW(aside.c_str(), path.c_str()));
        EXPECT_TRUE(std::filesystem::is_empty(elsewhere.Path())) << ToUtf8(path);
    }
}

// A copy cut short by a crash (another client's call crashes the emulator) leaves its file at the name it
// had taken; the next start removes it, and nothing that a record written into state.json names.
TEST_F(Emulator, TheNextStartRemovesWhatACrashLeft) {
    const TempFolder folder;
    const std::wstring to = folder.Folder(L"to"), user = folder.File(L"user.txt", "the user's own");
    ordered_json scenario = ordered_json::parse(One(1).Crash("StartClient").Json());
    scenario["copiesInFlight"] = {{{"path", ToUtf8(user)}, {"process", 1}}};
    emulator::WriteScenario(scenario.dump());
    const Stopwatch clock;
    std::future<Outcome> copy =
        Later(clock, 0, Do(&Cache::AddMultiSourceFile, kAlpha, HugeFile(folder, L"huge.bin", 3), to, 0));
    while (std::filesystem::is_empty(to) && clock.ElapsedMs() < 20000) {
        Sleep(50);
    }
    EXPECT_CASE("a crash meanwhile", std::nullopt, {{start, kCallFailed}});
    EXPECT_EQ(Hex(copy.get().hr), Hex(kCallFailed));
    EXPECT_FALSE(std::filesystem::is_empty(to)) << "the copy had begun";
    ASSERT_EQ(emulator::RecoverAfterCrash(), S_OK);
    EXPECT_TRUE(std::filesystem::is_empty(to)) << "what the copy left is gone";
    EXPECT_EQ(emulator::ReadDataFile(user), "the user's own");
    EXPECT_EQ(emulator::ReadState()["copiesInFlight"], ordered_json::array());
    const std::vector<ordered_json> journal = emulator::ReadJournal();
    EXPECT_TRUE(std::any_of(journal.begin(), journal.end(), [](const ordered_json& line) {
        return line.value("event", "") == "leftover" && line.value("removed", false);
    })) << "the journal says what the start removed";
}

} // namespace
} // namespace quillet::testing
