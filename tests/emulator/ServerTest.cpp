// The emulator as a server: its state in state.json (kept across restarts, reloaded on an edit, written
// durably or not at all, refused when it cannot be read), its journal, the faults that stop it, the slow
// token sources that must not, and the interfaces that it shares with the real service.
#include "Files.h"
#include "LoopbackHttpServer.h"
#include "Runner.h"
#include "Service.h"
#include "ServiceCase.h"
#include "win32/Stopwatch.h"
#include "win32/UniqueHandle.h"

#include <oleauto.h>

#include <atomic>
#include <filesystem>
#include <thread>

namespace quillet::testing {
namespace {

const Call state = Do(&Client::GetClientState);
const Call start = Do(&Client::StartClient);

RunResult RunEmulator(const wchar_t* verb) {
    return Run({verb}, {.program = emulator::EmulatorPath(), .timeoutMs = 20000, .captureTrace = false});
}

TEST_F(Emulator, StateLivesInStateJsonDurably) {
    const std::wstring inTheWay = emulator::StatePath() + L".tmp";
    Scenario many = Scenario().Client(4); // big timings are the benchmark's: here they only have to cross
    for (int i = 0; i < 10000; ++i) {
        many.App(L"{" + std::to_wstring(10000000 + i) + L"-0000-4000-8000-000000000000}", L"App", 1);
    }
    const std::string defaults =
        R"({"applications":[{"guid":"{A}"},{"state":4294967295}],"multisource":[{"appGuid":"{A}"}],)"
        R"("faults":[{"method":"X"},{"method":"Y","hr":-2147467259}],"replies":[{"method":"Z","shape":"short"}]})";
    // clang-format off
    const std::vector<Case> cases = {
        // Edits of one size, one right after the other: the writer moves the time stamp as a later save would.
        {"edits", std::nullopt, {{Act([] { Scenario().Client(2).Write(); })}, {state, S_OK, "2"},
            {Act([] { Scenario().Client(5).Write(); })}, {state, S_OK, "5"}, {Act(emulator::ClearScenario)}, {state, S_OK, "0"}}},
        {"calls that change nothing write nothing", One(16), {{Do(&App::GetApplicationList, -1)}, {start, 0xA0044011},
            {Act([] { EXPECT_EQ(emulator::ReadDataFile(emulator::StatePath()).find('\n'), std::string::npos); })}}},
        // A change that is not on disk is not kept either.
        {"a folder in the way of the new state", Scenario().Client(0), {{Act([&] { CreateDirectoryW(inTheWay.c_str(), nullptr); })},
            {start, kAccessDenied}, {state, S_OK, "0"}, {Act([&] { RemoveDirectoryW(inTheWay.c_str()); })}},
         R"({"client":{"state":0}})"},
        {"the data directory deleted", Scenario().Client(0),
         {{state}, {Act([] { std::filesystem::remove_all(emulator::DataDirectory()); })}, {start}, {state, S_OK, "2"}},
         R"({"client":{"state":2}})"},
        // Every member is written, with its default where state.json had none; states keep all 32 bits.
        {"defaults and 32-bit values", std::nullopt, {{Act([&] { emulator::WriteScenario(defaults); })}, {start}},
         R"({"client":{"state":2,"isAdmin":null},"applications":[{"guid":"{A}","name":"","state":1,"requiresReboot":false,)"
         R"("stopPolls":0},{"state":-1}],"cache":{"sizeMB":2048,"usedMB":0},"multisource":[{"appGuid":"{A}","localCopy":false,)"
         R"("size":0,"startTime":0,"finished":true}],"faults":[{"method":"X","hr":"0x80004005","skip":0,"times":1,"guid":null,)"
         R"("action":"fail"},{"hr":"0x80004005"}],"replies":[{"times":-1}]})"},
        {"ten thousand applications in one reply", many, {{Act([&] {
            Objects objects;
            std::string out;
            EXPECT_EQ(Do(&App::GetApplicationList, -1)(objects, out), S_OK);
            EXPECT_TRUE(out.starts_with("10000; [BSTR {10000000-") && out.ends_with(", BSTR {10009999-0000-4000-8000-000000000000}]"));
        })}}},
    };
    // clang-format on
    for (const Case& test : cases) {
        EXPECT_CASE(test);
    }
    // What a restart finds, and a journal that goes on where it stopped.
    EXPECT_CASE("before a restart", One(1, 2),
                {{Do(&Client::InitApplications)}, {Do(&App::LoadApplication, kAlpha)}});
    emulator::StopEmulator();
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
    EXPECT_CASE(
        (Case{"after a restart",
              std::nullopt,
              {{state, S_OK, "4"},
               {Do(&App::GetApplicationProperties, kAlpha, 3), S_OK, "[I4 4, BSTR Alpha, EMPTY x38]"}}}));
    const std::vector<ordered_json> journal = emulator::ReadJournal();
    for (size_t i = 0; i < journal.size(); ++i) {
        EXPECT_EQ(journal[i].at("seq"), i + 1);
    }
}

TEST_F(Emulator, UnreadableStateFailsEveryCallUntilItIsFixed) {
    const std::pair<const char*, const char*> rows[] = {
        // clang-format off
        {"{\"client\":", "parse error at line 1, column 11"},
        {"{\"applications\":[{\"name\":\"\xC3(\"}]}", "ill-formed UTF-8"},
        {R"({"client":{"state":"two"}})", "state.client.state must be a 32-bit integer"},
        {R"({"applications":[{"state":4294967296}]})", "state.applications[0].state must be a 32-bit integer"},
        {R"({"faults":[{"hr":"0x1"}]})", "state.faults[0].method must be a method name"},
        {R"({"faults":[{"method":"X","hr":"80004005"}]})", "state.faults[0].hr must be a hexadecimal HRESULT"},
        {R"({"faults":[{"method":"X","action":"explode"}]})", R"(state.faults[0].action must be one of "fail" "crash" "hang")"},
        {R"({"replies":[{"method":"X","shape":"round"}]})", "state.replies[0].shape must be one of"},
        {R"({"multisource":[{"size":1.5}]})", "state.multisource[0].size must be an integer"},
        // clang-format on
    };
    for (const auto& [text, problem] : rows) {
        emulator::WriteScenario(text);
        EXPECT_CASE(
            (Case{text, std::nullopt, {{Create<Client>()}, {Do(&Client::Initialize, 1), 0x80070570}}}));
        // /Dump's reading of the file, in process.
        quillet::emulator::Service reader(quillet::emulator::DataDirectory::Locate());
        reader.CurrentState();
        EXPECT_NE(reader.StateProblem().value_or("").find(problem), std::string::npos) << text;
    }
    const RunResult broken = RunEmulator(L"/Dump");
    EXPECT_EQ(broken.exitCode, 0x80070570);
    EXPECT_EQ(broken.errors,
              "The state cannot be read: state.json: state.multisource[0].size must be an integer\n");
    EXPECT_CASE("fixed", Scenario().Client(2), {{state, S_OK, "2"}});
    const RunResult fixed = RunEmulator(L"/Dump");
    EXPECT_EQ(fixed.exitCode, 0u);
    EXPECT_EQ(fixed.output,
              "{\n  \"client\": {\"state\":2,\"isAdmin\":null},\n  \"applications\": [],\n  \"cache\": "
              "{\"location\":" +
                  ordered_json(ToUtf8(emulator::CacheFolder())).dump() +
                  ",\"sizeMB\":2048,\"usedMB\":0},\n  \"multisource\": [],\n  \"faults\": [],\n"
                  "  \"replies\": []\n}\n");
}

TEST_F(Emulator, JournalHasEveryCallInOrder) {
    const std::string arguments =
        "IStreamingApplication.StartApplicationWithParameters(\"" + ToUtf8(kAlpha) +
        R"(","\"-x\" \"a b\"","") | IStreamingApplication.AddApplication(null,0) 0x80070002 | )"
        R"(IStreamingCache.SetCacheSettings([{"vt":16,"value":67},{"vt":8,"value":"C:\\x"}]) 0x80070057)";
    const CallFilter filter = {{"StartApplicationWithParameters", "AddApplication", "SetCacheSettings"},
                               true};
    EXPECT_CASE("arguments", One(16),
                {{Do(&App::StartApplicationWithParameters, kAlpha, L"\"-x\" \"a b\"", L"")},
                 {Do(&App::AddApplication, nullptr, VARIANT_FALSE), 0x80070002},
                 {Settings({{0, VT_I1, 'C'}, {1, VT_BSTR, 0, L"C:\\x"}}, 2), kInvalidArgument},
                 {Calls(filter), S_OK, arguments}});
}

TEST_F(Emulator, HangAndCrashFaults) {
    const Stopwatch watch;
    EXPECT_CASE("hang: 30 s, then the HRESULT", Scenario().Fault("StopClient", 0x800705B4, 0, 1, {}, "hang"),
                {{Do(&Client::StopClient), 0x800705B4},
                 {Calls({{"StopClient"}}), S_OK, "IStreamingClient.StopClient 0x800705B4 hang"}});
    EXPECT_GE(watch.ElapsedMs(), 29500.0);
    // The client sees the broken call, never the fault's HRESULT; the count is saved before the end.
    EXPECT_CASE("crash inside the call", Scenario().Crash("StartClient"),
                {{start, kCallFailed},
                 {Calls({{"StartClient"}}), S_OK, "IStreamingClient.StartClient 0x8000FFFF crash"}},
                R"({"client":{"state":0},"faults":[{"times":0}]})");
    ASSERT_EQ(emulator::RecoverAfterCrash(), S_OK);
    EXPECT_CASE("back after the crash", std::nullopt, {{start}}, R"({"client":{"state":2}})");
    // /Reset stops the emulator and deletes its files.
    const RunResult reset = RunEmulator(L"/Reset");
    EXPECT_EQ(reset.output, "Stopped.\nState and journal deleted.\n");
    EXPECT_EQ(GetFileAttributesW(emulator::StatePath().c_str()) &
                  GetFileAttributesW(emulator::JournalPath().c_str()),
              INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(RunEmulator(L"/Stop").output, "Not running.\n");
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
}

// Slow or hostile token sources, all at once, so that the suite waits once: each add ends in time with its
// code, and another client is answered meanwhile.
TEST_F(Emulator, HostileTokenSourcesEndInTimeAndHoldUpNoOtherClient) {
    using Behaviour = LoopbackHttpServer::Behaviour;
    std::optional<LoopbackHttpServer> silent(std::in_place, 200, "", Behaviour::NeverAnswer);
    std::optional<LoopbackHttpServer> trickle(std::in_place, 200, R"({"name":"Slow"})", Behaviour::Trickle);
    std::optional<LoopbackHttpServer> tls(std::in_place, 200, "", Behaviour::StallTls);
    const std::wstring pipeName =
        L"\\\\.\\pipe\\quillet-emulator-" + std::to_wstring(GetCurrentProcessId()) + L".tok";
    UniqueFile pipe(
        CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr));
    const TempFolder folder;
    const std::wstring huge = folder.File(L"huge.tok", "");
    {
        const UniqueFile file(
            CreateFileW(huge.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(pipe && SetFilePointerEx(file.get(), {.QuadPart = 1200LL << 20}, nullptr, FILE_BEGIN) &&
                    SetEndOfFile(file.get()));
    }
    struct Add {
        std::wstring source;
        VARIANT_BOOL isUrl;
        DWORD expected;
        HRESULT hr = E_PENDING;
        double ms = 0;
        std::atomic<bool> done{false};
    } adds[] = {
        {silent->Url(L"/never"), VARIANT_TRUE, 0x80072EE2},
        {trickle->Url(L"/slow"), VARIANT_TRUE, 0x80072EE2}, // a byte every 5 s
        {tls->Url(L"/stalled"), VARIANT_TRUE, 0x80072EE2},
        {pipeName, VARIANT_FALSE, 0x800700DE}, // its server never writes
        {huge, VARIANT_FALSE, 0x800700DF},     // sparse: refused before it is read
    };
    Scenario().Client(4).Write();
    std::vector<std::thread> threads;
    for (Add& add : adds) {
        threads.emplace_back([&add] {
            const emulator::Apartment apartment;
            {
                Objects objects;
                std::string out;
                const Stopwatch watch;
                add.hr = Do(&App::AddApplication, add.source, add.isUrl)(objects, out);
                add.ms = watch.ElapsedMs();
            }
            add.done = true;
        });
    }
    const Stopwatch started;
    Objects other;
    for (int i = 0; i < 4; ++i) {
        Sleep(2000);
        const Stopwatch watch;
        std::string out;
        EXPECT_EQ(Do(&App::GetApplicationList, -1)(other, out), S_OK);
        EXPECT_LT(watch.ElapsedMs(), 2000.0) << "a list query waited for the adds";
    }
    const auto allDone = [&] {
        return std::all_of(std::begin(adds), std::end(adds), [](const Add& a) { return a.done.load(); });
    };
    while (started.ElapsedMs() < 25000 && !allDone()) {
        Sleep(100);
    }
    // Whatever still waits is let go, so that the test ends.
    silent.reset();
    trickle.reset();
    tls.reset();
    pipe.reset();
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const Add& add : adds) {
        EXPECT_EQ(Hex(add.hr), Hex(add.expected)) << ToUtf8(add.source);
        EXPECT_LT(add.ms, 20000.0) << ToUtf8(add.source);
    }
    EXPECT_EQ(emulator::ReadState().value("applications", ordered_json::array()).size(), 0u);
}

// The identifiers and the operation order are the contract with the real service. Quillet and the
// emulator compile from one IDL, so every other test would pass with a changed GUID or two swapped
// operations; only a check against the published values catches that.
TEST(Interfaces, KeepTheirIdentifiersAndOperationOrder) {
    // clang-format off
    const struct { const wchar_t* clsid; const wchar_t* iid; const char* operations; } classes[] = {
        {L"{E545E4EF-0B72-467E-A024-02D9E16B004A}", L"{4F302B5E-4562-4792-8F6F-01842CC39122}",
         "Initialize 1, Uninitialize 0, GetApplicationList 3, GetApplicationProperties 3, AddApplication 4, RemoveApplication 1, "
         "LoadApplication 1, UnloadApplication 1, MountApplication 1, UnmountApplication 1, StartApplication 1, "
         "StopApplication 1, StartApplicationInDesktop 2, StartApplicationWithParameters 3, RunApplicationCommand 6"},
        {L"{5D1949BF-E569-417F-8B20-C88415E94B56}", L"{A229B752-17EC-4704-9971-4B4021745A1C}",
         "Initialize 1, Uninitialize 0, GetClientState 1, StartClient 0, StopClient 0, InitApplications 0, "
         "UninitApplications 0, IsUserAdministrator 1"},
        {L"{70E9F528-E871-4B4B-ACE3-F756894D8C64}", L"{2682B219-AE4B-40A2-BDB3-4903B0A1885B}",
         "Initialize 1, Uninitialize 0, GetCacheLocation 2, SetCacheSettings 1, ClearCache 0, AddMultiSourceFile 4, "
         "DeleteMultiSourceFile 1, GetMultiSourceFileInfo 2, GetMultiSourceFileIdList 3"},
    };
    // clang-format on
    ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLibEx(emulator::EmulatorPath().c_str(), REGKIND_NONE, library.put()), S_OK);
    for (const auto& [clsidText, iidText, expected] : classes) {
        GUID clsid = {}, iid = {};
        ComPtr<ITypeInfo> coclass, dispatch, vtable;
        HREFTYPE reference = 0;
        TYPEATTR* attributes = nullptr;
        // The class names the dual interface; its vtable half lists the operations after IDispatch's seven.
        HRESULT hr = CLSIDFromString(clsidText, &clsid) | CLSIDFromString(iidText, &iid);
        hr |= library->GetTypeInfoOfGuid(clsid, coclass.put()) | coclass->GetRefTypeOfImplType(0, &reference);
        hr |= coclass->GetRefTypeInfo(reference, dispatch.put()) |
              dispatch->GetRefTypeOfImplType(-1, &reference);
        hr |= dispatch->GetRefTypeInfo(reference, vtable.put()) | vtable->GetTypeAttr(&attributes);
        ASSERT_EQ(hr, S_OK) << ToUtf8(clsidText);
        EXPECT_TRUE(IsEqualGUID(attributes->guid, iid)) << ToUtf8(iidText);
        std::string operations;
        for (UINT index = 0; index < attributes->cFuncs; ++index) {
            FUNCDESC* function = nullptr;
            UniqueBstr name;
            ASSERT_EQ(vtable->GetFuncDesc(index, &function), S_OK);
            vtable->GetDocumentation(function->memid, name.put(), nullptr, nullptr, nullptr);
            const bool inPlace = function->oVft == static_cast<short>((7 + index) * sizeof(void*));
            operations += (index == 0 ? "" : ", ") + ToUtf8(name.Text().value_or(L"")) + " " +
                          std::to_string(function->cParams) + (inPlace ? "" : " misplaced");
            vtable->ReleaseFuncDesc(function);
        }
        vtable->ReleaseTypeAttr(attributes);
        EXPECT_EQ(operations, expected);
    }
}

} // namespace
} // namespace quillet::testing
