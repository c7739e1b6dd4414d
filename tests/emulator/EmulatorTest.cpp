// The emulator as a client meets it and as a server. Quillet's own runs against it (tests/e2e and the
// reliability matrix) already show the steps and faults that Quillet takes; here are the boundaries and
// refusals that they do not reach, its state in state.json, calls side by side, the stop, the files that it
// may touch and its data directory.
#include "DataDirectory.h"
#include "Files.h"
#include "InstanceNames.h"
#include "LoopbackHttpServer.h"
#include "Reply.h"
#include "Runner.h"
#include "ServiceCase.h"

#include <aclapi.h>
#include <sddl.h>

#include <deque>
#include <filesystem>
#include <future>

namespace quillet::testing {
namespace {

const Call start = Do(&Client::StartClient), state = Do(&Client::GetClientState);

TEST_F(Emulator, LaddersTokensAndFaults) {
    const Call stop = Do(&Client::StopClient);
    const Call run = Do(&App::RunApplicationCommand, kAlpha, L"tool.exe", L"", L"", L"", L"");
    // The client's state and Alpha's before the call, and after it in state.json. An operation on an
    // application needs the applications initialised (client state 4); an unknown guid is refused.
    // clang-format off
    const struct { int client; long long from; Call call; DWORD hr; int clientTo; const char* to; } rows[] = {
        {3, 1,          Do(&Client::InitApplications),         kInvalidState, 3, "1"},
        {2, 1,          Do(&Client::UninitApplications),       0xA0044020,    2, "1"},
        {0, 1,          stop,                                  0xA0044010,    0, "1"},
        {4, 1,          stop,                                  kInvalidState, 4, "1"},
        {2, 16,         run,                                   kNotReady,     2, "16"},
        {4, 3,          Do(&App::LoadApplication, kAlpha),     S_OK,          4, "4"},
        {4, 4294967295, Do(&App::LoadApplication, kAlpha),     kInvalidState, 4, "4294967295"},
        {4, 1,          Do(&App::LoadApplication, kUnknown),   kNotFound,     4, "1"},
        {4, 15,         Do(&App::MountApplication, kAlpha),    S_OK,          4, "16"},
        {4, 15,         Do(&App::StartApplication, kAlpha),    kInvalidState, 4, "15"},
        {4, 65,         Do(&App::StopApplication, kAlpha),     kInvalidState, 4, "65"},
        {4, 64,         Do(&App::UnmountApplication, kAlpha),  kInvalidState, 4, "64"},
        {4, 16,         Do(&App::UnloadApplication, kAlpha),   kInvalidState, 4, "16"},
        {4, 3,          Do(&App::RemoveApplication, kAlpha),   S_OK,          4, "null"},
        {4, 65,         run,                                   kInvalidState, 4, "65"},
    };
    // clang-format on
    for (const auto& row : rows) {
        EXPECT_CASE("row " + std::to_string(&row - rows), One(row.from, row.client),
                    {Step(row.call, row.hr), Step(Saved("/client/state"), S_OK, std::to_string(row.clientTo)),
                     Step(Saved("/applications/0/state"), S_OK, row.to)});
    }
    const Call status = Do(&App::GetApplicationProperties, kAlpha, 1);
    // A repeated stop, as a client sends while it waits, does not start the count again; guids ignore case.
    EXPECT_CASE("stop after two status queries", One(64, 4, 2),
                {Do(&App::StopApplication, kAlpha), Step(status, S_OK, "64"),
                 Do(&App::StopApplication, L"{a1a1a1a1-0000-4000-8000-0000000000a1}"),
                 Step(status, S_OK, "64"), Step(status, S_OK, "16")});
    // A token's guid comes back braced and in upper case; on failure both out strings are null.
    const TempFolder folder;
    const LoopbackHttpServer missing(404, "not here");
    const std::wstring token =
        folder.File(L"a.tok", R"({"name":"A","guid":"a1a1a1a1-0000-4000-8000-0000000000a1"})");
    EXPECT_CASE("tokens", Scenario().Client(4),
                {Step(Do(&App::AddApplication, token, 0), S_OK, "A; " + ToUtf8(kAlpha)),
                 Step(Do(&App::AddApplication, token, 0), kAlreadyExists, "null; null"),
                 Step(Do(&App::AddApplication, folder.File(L"b.tok", "name=B"), 0), 0x8007000D),
                 Step(Do(&App::AddApplication, missing.Url(L"/t"), -1), 0x80190194)});
    // A fault named without its interface, in any case, acts in every interface.
    EXPECT_CASE("a fault in Initialize", Scenario().Fault("initialize", kAccessDenied, {.times = -1}),
                {Step(state, kAccessDenied), Step(Do(&Cache::ClearCache), kAccessDenied)});
}

// SetCacheSettings with these elements, in an array made as the emulator makes its replies.
Call Settings(std::vector<quillet::emulator::ReplyElement> elements) {
    return [elements](Objects& objects, std::string&) {
        Cache* cache = nullptr;
        UniqueVariant settings;
        HRESULT hr = objects.Get(cache);
        hr = SUCCEEDED(hr) ? quillet::emulator::WriteReply({elements}, {}, settings.put(), nullptr) : hr;
        return SUCCEEDED(hr) ? cache->SetCacheSettings(settings) : hr;
    };
}

// The settings by the rules that Quillet's own requests do not reach, with Alpha in the state given and
// 100 MB of 2048 in use.
TEST_F(Emulator, CacheSettings) {
    using E = quillet::emulator::ReplyElement;
    const std::wstring cache = emulator::CacheFolder(), unc = L"\\\\server\\share\\c";
    // What GetCacheLocation gives, with the location (and, unless given, its first character), the size
    // and the space in use replaced.
    const auto set = [](const std::wstring& location, E size, wchar_t first = 0, LONG used = 100) {
        const char byte = static_cast<char>(first != 0 ? first : location[0]);
        return Settings({E::I4(1), E::I4(6), E::I1(byte), E::Bstr(location), size, E::I4(used)});
    };
    // clang-format off
    const struct { int client; long long state; Call call; DWORD hr; const char* after; } rows[] = {
        {4, 1,  set(cache, E::I4(100)),                  S_OK,             R"("sizeMB":100,"usedMB":100)"},
        {4, 64, set(cache, E::I4(1024)),                 0x800700AA,       R"("sizeMB":2048,"usedMB":100)"},
        {4, 1,  set(cache, E::I4(2048), L'Z'),           kInvalidArgument, R"("sizeMB":2048,"usedMB":100)"},
        {4, 1,  set(cache, E::I4(2048), 0, 0),           kInvalidArgument, R"("sizeMB":2048,"usedMB":100)"},
        {4, 1,  set(cache, E::Bstr(L"2048")),            kTypeMismatch,    R"("sizeMB":2048,"usedMB":100)"},
        {4, 1,  set(unc, E::I4(2048)),                   0x80070035,       R"("sizeMB":2048,"usedMB":100)"},
        {4, 1,  set(emulator::StatePath(), E::I4(2048)), 0x8007010B,       R"("sizeMB":2048,"usedMB":100)"},
        {4, 16, Do(&Cache::ClearCache),                  S_OK,             R"("sizeMB":2048,"usedMB":0)"},
        {5, 1,  Do(&Cache::ClearCache),                  0x800708CA,       R"("sizeMB":2048,"usedMB":100)"},
    };
    // clang-format on
    const std::string location = R"({"location":)" + ordered_json(ToUtf8(cache)).dump() + ",";
    for (const auto& row : rows) {
        EXPECT_CASE("settings row " + std::to_string(&row - rows),
                    One(row.state, row.client).Cache(cache, 2048, 100),
                    {Step(row.call, row.hr), Step(Saved("/cache"), S_OK, location + row.after + "}")});
    }
}

TEST_F(Emulator, StateLivesInStateJsonDurably) {
    UniqueFile held; // state.json open without leave to delete it, as another program may hold it
    const Call hold = Act([&] {
        held.reset(CreateFileW(emulator::StatePath().c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    });
    std::future<void> release; // lets go after a moment, as a scanner does
    // A change that is not on disk is not kept; one held up for a moment is tried again. A query, which
    // writes nothing, is answered meanwhile. A deleted data directory is made again.
    EXPECT_CASE("state.json held by another program", Scenario().Client(0),
                {hold, Step(start, kAccessDenied), Step(state, S_OK, "0"),
                 Act([&] { release = std::async(std::launch::async, [&] { Sleep(100), held.reset(); }); }),
                 start, Step(Saved("/client/state"), S_OK, "2"),
                 Act([] { std::filesystem::remove_all(emulator::DataDirectory()); }), start,
                 Do(&Client::InitApplications)});
    // What a restart finds, and a journal that goes on where it stopped.
    emulator::StopEmulator();
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
    EXPECT_CASE("after a restart", std::nullopt, {Step(state, S_OK, "4")});
    for (size_t seq = 1; const ordered_json& line : emulator::ReadJournal()) {
        EXPECT_EQ(line.at("seq"), seq++);
    }
    // Every call is refused until state.json can be read; /Dump says why.
    for (const char* text :
         {"{\"client\":", R"({"applications":[{"state":4294967296}]})",
          R"({"faults":[{"method":"X","hr":"0x100000000"}]})", R"({"multisource":[{"size":1.5}]})"}) {
        emulator::WriteScenario(text);
        EXPECT_CASE(text, std::nullopt, {Step(state, 0x80070570)});
    }
    const RunResult broken = emulator::RunEmulator(L"/Dump");
    EXPECT_EQ(broken.exitCode, 0x80070570);
    EXPECT_EQ(broken.errors,
              "The state cannot be read: state.json: state.multisource[0].size must be an integer\n");
    // The client sees the broken call, never the fault's HRESULT; the count is saved before the end.
    EXPECT_CASE("crash inside the call", Scenario().Crash("StartClient"),
                {Step(start, kCallFailed),
                 Step(Calls({{"StartClient"}}), S_OK, "IStreamingClient.StartClient 0x8000FFFF crash"),
                 Step(Saved("/faults/0/times"), S_OK, "0")});
    ASSERT_EQ(emulator::RecoverAfterCrash(), S_OK);
    EXPECT_EQ(emulator::RunEmulator(L"/Reset").output, "Stopped.\nState and journal deleted.\n");
    EXPECT_FALSE(std::filesystem::exists(emulator::StatePath()) ||
                 std::filesystem::exists(emulator::JournalPath()));
    // A link as state.json is left for its owner to remove; the journal goes all the same.
    const TempFolder folder;
    const std::wstring user = folder.File(L"user.txt", "the user's own");
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
    EXPECT_CASE("a journal again", std::nullopt, {start});
    DeleteFileW(emulator::StatePath().c_str()), MakeLink(LinkKind::Symbolic, emulator::StatePath(), user);
    const RunResult linked = emulator::RunEmulator(L"/Reset");
    RemoveLink(emulator::StatePath());
    EXPECT_EQ(Hex(linked.exitCode), Hex(0x8007112B));
    EXPECT_FALSE(std::filesystem::exists(emulator::JournalPath()));
    EXPECT_EQ(emulator::ReadDataFile(user), "the user's own");
    // What holds the ready event but cannot be activated (nothing is registered) is no running instance.
    emulator::RunEmulator(L"/UnregServer");
    const std::wstring readyName = quillet::emulator::InstanceObjectName(quillet::emulator::kReadyEvent);
    const UniqueHandle ready(CreateEventW(nullptr, TRUE, TRUE, readyName.c_str()));
    SetEvent(ready.get()); // also when it was there already
    const RunResult unreachable = emulator::RunEmulator(L"/Start");
    EXPECT_EQ(unreachable.exitCode, kClassNotRegistered);
    EXPECT_EQ(unreachable.errors, "No client can activate the running instance; /Stop ends it: 0x80040154\n");
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
}

// state.json edited as its owner could: read, changed, and written back.
Call Edit(std::function<void(ordered_json& multisource)> change) {
    return Act([change] {
        ordered_json saved = emulator::ReadState();
        change(saved["multisource"]);
        emulator::WriteScenario(saved.dump());
    });
}

// The emulator writes and deletes only files that it made and that no other entry lists, and never through
// a link: a link planted as state.json, its copy swapped for one or changed, and a claim written into
// state.json leave the user's file as it was, and the journal says why a file was left. The reliability
// matrix plants links at the journal and the temporary state, and crashes a copy.
TEST_F(Emulator, NothingOfAUsersIsWrittenOrDeleted) {
    const TempFolder folder;
    const std::string mine = "the user's own",
                      changed = "not the copy the service made: changed, replaced or a link";
    const std::wstring user = folder.File(L"user.txt", mine), source = folder.File(L"payload.bin", "payload");
    const std::wstring to = folder.Folder(L"to"), copy = to + L"\\payload.bin";
    const Call add = Do(&Cache::AddMultiSourceFile, kAlpha, source, to, 0);
    const Call replace = Do(&Cache::AddMultiSourceFile, kAlpha, source, to, -1);
    const Call remove = Do(&Cache::DeleteMultiSourceFile, kAlpha),
               unclaimed = Saved("/multisource/0/localCopy");
    const Step intact(File(user), S_OK, mine), stays(File(copy), S_OK, "payload"),
        gone(File(copy), S_OK, "(missing)");
    const std::wstring saved = emulator::StatePath();
    for (const LinkKind kind : {LinkKind::Hard, LinkKind::Symbolic}) {
        const std::string how = kind == LinkKind::Hard ? "a hard link " : "a symbolic link ";
        const auto plant = [&](std::wstring at) {
            return Act([=] { DeleteFileW(at.c_str()), MakeLink(kind, at, user); });
        };
        const auto unplant = [](std::wstring at) { return Act([=] { RemoveLink(at); }); };
        EXPECT_CASE(how + "as state.json", std::nullopt,
                    {plant(saved), Step(start, 0x80070570), intact, unplant(saved)});
        // Replaced, then made again and deleted.
        EXPECT_CASE(how + "for the copy", One(1),
                    {add, plant(copy), Step(replace, kFileExists), intact, Step(unclaimed, S_OK, "false"),
                     unplant(copy), replace, plant(copy), remove, intact, unplant(copy),
                     Step(Disowned(), S_OK, changed + " | " + changed),
                     Step(Saved("/multisource"), S_OK, "[]")});
    }
    const std::string noRecord = "no record of the copy the service made";
    const Scenario two = One(1).App(kBeta, L"Beta", 1);
    const Call clean = Act([&] { DeleteFileW(copy.c_str()); }); // a copy that an earlier case left
    EXPECT_CASE("the copy changed by its user", One(1),
                {add, Act([&] { WriteBytes(copy, "changed"); }), remove, Step(File(copy), S_OK, "changed")});
    EXPECT_CASE("a claim written into state.json, deleted",
                One(1).Multisource(kAlpha, source, user, {{"localCopy", true}}),
                {remove, intact, Step(Disowned(), S_OK, noRecord)});
    // Alpha's copy listed by Beta's entry too, then by Beta's alone, which no longer claims it: the copy
    // stays, and it is not Beta's to replace.
    EXPECT_CASE("a copy that another entry lists", two,
                {clean, add, Edit([](ordered_json& multisource) {
                     multisource.push_back(multisource[0]), multisource[1]["appGuid"] = ToUtf8(kBeta);
                 }),
                 remove, stays, Edit([](ordered_json& multisource) { multisource[0]["localCopy"] = false; }),
                 Step(Do(&Cache::AddMultiSourceFile, kBeta, source, to, -1), kFileExists),
                 Do(&App::RemoveApplication, kBeta), stays});
    // The emulator's own copy goes once the entry lists another path: none into the source's own folder.
    EXPECT_CASE("a copy moved", two,
                {clean, add, Do(&Cache::AddMultiSourceFile, kAlpha, source, folder.Path(), -1), gone,
                 Step(Saved("/multisource/0/localPath"), S_OK, ordered_json(ToUtf8(source)).dump())});
}

// The data directory and the cache folder are the emulator's own: taken over when they exist, with an
// access list for SYSTEM, Administrators and the user alone, and refused when they are links. Wine keeps
// only what its file modes can hold of the list (no Administrators, no protection) and enforces nothing,
// so the list is read back.
TEST_F(Emulator, TheDataDirectoryIsTheEmulatorsOwn) {
    emulator::StopEmulator();
    std::filesystem::remove_all(emulator::DataDirectory());
    ASSERT_TRUE(CreateDirectoryW(emulator::DataDirectory().c_str(), nullptr)); // as anyone could have
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
    EXPECT_CASE("taken over", std::nullopt, {start});
    std::wstring sddl;
    ASSERT_EQ(quillet::emulator::EmulatorFolderSddl(sddl), S_OK);
    const std::wstring expected =
        RunningUnderWine() ? L"D:(A;OICI;FA;;;SY)" + sddl.substr(sddl.rfind(L'(')) : sddl;
    for (const std::wstring& path : {emulator::DataDirectory(), emulator::CacheFolder()}) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        wchar_t* text = nullptr;
        GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                              nullptr, nullptr, &descriptor);
        ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                             DACL_SECURITY_INFORMATION, &text, nullptr);
        EXPECT_EQ(ToUtf8(text != nullptr ? text : L"(none)"), ToUtf8(expected)) << ToUtf8(path);
        LocalFree(text), LocalFree(descriptor);
    }
    const TempFolder elsewhere;
    for (const std::wstring& path : {emulator::CacheFolder(), emulator::DataDirectory()}) {
        const std::wstring aside = path + L".aside";
        ASSERT_TRUE(MoveFileW(path.c_str(), aside.c_str()));
        MakeLink(LinkKind::Symbolic, path, elsewhere.Path());
        EXPECT_CASE(ToUtf8(path) + " a link", std::nullopt, {Step(state, 0x8007112B)});
        RemoveLink(path);
        ASSERT_TRUE(MoveFileW(aside.c_str(), path.c_str()));
        EXPECT_TRUE(std::filesystem::is_empty(elsewhere.Path())) << ToUtf8(path);
    }
}

} // namespace
} // namespace quillet::testing
