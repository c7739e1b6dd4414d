// The reliability matrix: Quillet.exe against a service that dies inside a call, refuses to create an
// object, answers with malformed replies, never delivers a token, cannot save a change or holds files that
// are not its own, and against service text that could forge the output. Each row is one run, checked as
// every row is (Row.h); each section's rows go to build/reports/reliability/<section>.json, from which
// tools/report/render.py makes the reliability report.
#include "Emulator.h"
#include "Files.h"
#include "LoopbackHttpServer.h"
#include "Row.h"
#include "StreamingService.h"
#include "service/ComPtr.h"
#include "win32/Stopwatch.h"
#include "win32/Utf8.h"
#include "win32/WholeFile.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <winioctl.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <thread>

namespace quillet::testing {
namespace {

using namespace std::string_literals;

constexpr DWORD kLost = kCallFailed;
constexpr char kCreateFailed[] = "Error: failed to call CoCreateInstance().\n";
constexpr char kAddFailed[] = "Adding application... Failed\n";
constexpr char kMismatch[] = "Error: unexpected failure 0x80020005.\n";
constexpr char kOutside[] = "Error: unexpected failure 0x8002000B.\n";
constexpr char kNoneToRemove[] = "Unable to remove applications, as there are no applications to remove.\n";
const std::string kA = ToUtf8(kAlpha), kB = ToUtf8(kBeta);

// What a run must return, print and trace: the whole trace, when it is given.
Row Exits(DWORD code, std::string output = "", std::vector<std::wstring> trace = {}) {
    Row row = {.output = std::move(output), .exitCode = code};
    if (!trace.empty()) {
        row.trace = std::move(trace);
    }
    return row;
}

// A row of the report: the fault as the report names it, the service before the run (none: as the row
// before left it), the command as the report shows it (<Alpha>, <token>... stand for the test's own
// values) and what the run must do.
Row Fault(std::string fault, std::optional<Scenario> before, const std::wstring& command, Row row) {
    row.name = std::move(fault);
    row.scenario = std::move(before);
    int count = 0;
    LPWSTR* words = CommandLineToArgvW((L"Quillet " + command).c_str(), &count);
    row.args.assign(words + 1, words + count);
    LocalFree(words);
    return row;
}

// Hooks around the run for what state.json cannot hold.
Row Hooked(Row row, std::function<void()> before, std::function<void(const RunResult&)> after = {}) {
    row.setup = std::move(before);
    row.check = std::move(after);
    return row;
}

// The command as the report shows it: a word that holds a blank or the shell's pipe in quotes.
std::string Command(const std::vector<std::wstring>& args) {
    std::wstring text;
    for (const std::wstring& arg : args) {
        const bool quoted = arg.find_first_of(L" |") != std::wstring::npos;
        text += (text.empty() ? L"" : L" ") + (quoted ? L"\"" + arg + L"\"" : arg);
    }
    return ToUtf8(text);
}

// A check that the run ended within ms.
std::function<void(const RunResult&)> Within(double ms) {
    return [ms](const RunResult& run) { EXPECT_LT(run.elapsedMs, ms); };
}

// build/reports beside build/bin.
const std::wstring kReports = BinDirectory().substr(0, BinDirectory().find_last_of(L'\\')) + L"\\reports";

class Matrix : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(emulator::EnsureResident(), S_OK); }

    // The row as it runs: its words with the placeholders' values, named with its command; a hang fails
    // the row after 20 s, unless the row gives a limit of its own.
    Row Resolved(Row row) const {
        row.name += " / " + Command(row.args);
        for (std::wstring& arg : row.args) {
            for (const auto& [placeholder, value] : m_names) {
                for (size_t at = arg.find(placeholder); at != std::wstring::npos;
                     at = arg.find(placeholder, at + value.size())) {
                    arg.replace(at, placeholder.size(), value);
                }
            }
        }
        if (row.options.timeoutMs == RunOptions{}.timeoutMs) {
            row.options.timeoutMs = 20000;
        }
        return row;
    }

    void Record(const Row& row, const RunResult& run) {
        m_rows.push_back({{"fault", row.name},
                          {"command", Command(row.args)},
                          {"exitCode", run.exitCode},
                          {"output", run.output}});
    }

    // Runs the rows one after the other and writes the section.
    void RunAll(const std::string& section, const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            Record(row, EXPECT_ROW(Resolved(row)));
        }
        WriteSection(section);
    }

    // Writes the section's rows, with the values that the placeholders stand for, so that the report can
    // show the output with the placeholders too.
    void WriteSection(const std::string& section) const {
        const std::wstring folder = kReports + L"\\reliability\\";
        std::filesystem::create_directories(folder);
        nlohmann::ordered_json names = nlohmann::ordered_json::array();
        for (const auto& [placeholder, value] : m_names) {
            names.push_back({ToUtf8(placeholder), ToUtf8(value)});
        }
        const nlohmann::ordered_json data = {
            {"platform", RunningUnderWine() ? "Wine" : "Windows"}, {"names", names}, {"rows", m_rows}};
        // Output is in the console's code page: what is not UTF-8 is shown as U+FFFD.
        const std::string text = data.dump(1, ' ', false, nlohmann::json::error_handler_t::replace);
        EXPECT_EQ(WriteWholeFile(folder + FromUtf8(section) + L".json", text), S_OK);
    }

    // A sparse file of that many MB in the test's folder: quick to make, slow to read.
    std::wstring Sparse(const wchar_t* name, long long megabytes) const {
        const std::wstring path = m_folder.File(name, "");
        const UniqueFile file(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        DWORD ignored = 0;
        DeviceIoControl(file.get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
        EXPECT_TRUE(SetFilePointerEx(file.get(), {.QuadPart = megabytes << 20}, nullptr, FILE_BEGIN) &&
                    SetEndOfFile(file.get()));
        return path;
    }

    TempFolder m_folder;
    const std::wstring m_token =
        m_folder.File(L"alpha.tok", R"({"name":"Alpha","guid":")" + kA + R"(","requiresReboot":true})");
    // Placeholders and what they stand for; a value that holds another comes first.
    std::vector<std::pair<std::wstring, std::wstring>> m_names = {{L"<token>", m_token},
                                                                  {L"<folder>", m_folder.Path()},
                                                                  {L"<Alpha>", kAlpha},
                                                                  {L"<Beta>", kBeta},
                                                                  {L"<Gamma>", kGamma}};
    nlohmann::ordered_json m_rows = nlohmann::ordered_json::array();
};

// The emulator dies in the call, after skip calls of the method; Alpha is there unless alpha is 0.
Scenario Crash(std::string_view method, long long alpha = 0, int skip = 0) {
    Scenario scenario = Scenario().Client(4).Admin(true).Crash(method, skip);
    return alpha == 0 ? scenario : scenario.App(kAlpha, L"Alpha", alpha);
}

// After a crash: one call of the run died, and the emulator comes back and answers.
void Recovers(const RunResult& run) {
    const auto crashed = [](const std::string& call) { return call.ends_with(" crash"); };
    EXPECT_EQ(std::ranges::count_if(run.Calls(), crashed), 1);
    EXPECT_EQ(emulator::RecoverAfterCrash(), S_OK);
}

// The trace of a step that the crash ended: the status query that found Alpha in state, then the failure.
std::vector<std::wstring> Lost(int state, const std::wstring& step) {
    return {L"Querying app =<" + std::wstring(kAlpha) + L"> returns with status " + std::to_wstring(state) +
                L".\n",
            L"Failed to " + step + L" [1726].\n"};
}

TEST_F(Matrix, ServiceDiesInsideACall) {
    const auto crash = [](const std::string& method, long long alpha, const std::wstring& command,
                          Row expected) {
        return Fault("crash in `" + method + "`", Crash(method, alpha), command, std::move(expected));
    };
    const std::wstring start = L"application start <Alpha>", size = L"cache size",
                       change = L"cache size 4096";
    const std::wstring app = L"Application <" + std::wstring(kAlpha) + L">";
    std::vector<Row> rows = {
        crash("StartClient", 1, start,
              Exits(kFail, kCannotStartClient, {L"Failed to Start Client COM. [1726]\n"})),
        Fault("crash in `GetApplicationProperties` (status)", Crash("GetApplicationProperties", 1), start,
              Exits(kFail, "Error: application does not exist.\n")),
        // The name query dies; the next activation starts the service again and the command goes on.
        Fault("crash in `GetApplicationProperties` (name)", Crash("GetApplicationProperties", 1, 1), start,
              Exits(0, "Starting application [" + kA + "]... Success.\n")),
        crash("LoadApplication", 1, start,
              Exits(kLost, "Starting application [Alpha]... Failed.\n", Lost(1, L"load " + app))),
        // remove all cannot tell a failed list from an empty one: it says so and exits with 0.
        crash("GetApplicationList", 1, L"application remove all", Exits(0, kNoneToRemove)),
        crash("AddApplication", 0, L"application add <token>", Exits(kLost, kAddFailed)),
        Fault("crash in `GetApplicationProperties` (reboot)", Crash("GetApplicationProperties"),
              L"application add <token>",
              Exits(kLost, "Adding application... Success.\nAppName: [Alpha]\nAppGuid: [" + kA + "]\n")),
        crash("IStreamingCache.CreateInstance", 0, size, Exits(kLost, kCreateFailed)),
        crash("IStreamingCache.Initialize", 0, size,
              Exits(kLost, "Error: failed to intialize IStreamingCache object.\n")),
        crash("IsUserAdministrator", 0, change, Exits(kFail, kNotAdministrator)),
        crash("ClearCache", 0, L"cache clear",
              Exits(kLost,
                    "Invalid operation: Cannot clear cache while working offline or having running apps.\n")),
        // client stop prints nothing and returns its fixed code.
        Fault("crash in `StopClient`", Crash("StopClient").Client(2), L"client stop",
              Exits(kFail, "", {L"Failed to Uninitialize Client COM. [1726]\n"})),
    };
    for (Row& row : rows) {
        row.check = Recovers;
    }
    RunAll("crash", rows);
}

TEST_F(Matrix, ServiceRefusesToCreateAnObject) {
    const auto refused = [](const std::string& face, const std::wstring& command, Row expected) {
        const Scenario refusing = Scenario().Client(4).Admin(true).App(kAlpha, L"Alpha", 16);
        return Fault("`" + face + "` refused",
                     Scenario(refusing).Fault(face + ".CreateInstance", kAccessDenied, {.times = -1}),
                     command, std::move(expected));
    };
    const std::string client = "IStreamingClient", app = "IStreamingApplication";
    std::vector<Row> rows = {
        refused(client, L"application start <Alpha>",
                Exits(kFail, kCannotStartClient, {L"Failed to Create Client COM.\n"})),
        refused(client, L"application stop <Alpha>",
                Exits(kFail, "Error: cannot start IStreamingClient execute application command.\n")),
        refused(client, L"application add <token>", Exits(kFail, kCannotStartClient)),
        refused(client, L"application getIdList",
                Exits(kFail, "",
                      {L"Failed to Create Client COM.\n",
                       L"Cannot start Client to update Application status.\n"})),
        refused(client, L"cache size", Exits(0, "2048\n")),
        refused(client, L"cache size 4096", Exits(kFail, kNotAdministrator)),
        refused(client, L"cache clear",
                Exits(kFail, "Error: user is not an administrator. Operation cannot be executed.\n")),
        refused(client, L"client start", Exits(kFail)),
        refused(client, L"client stop", Exits(kFail)),
        // The existence check cannot tell a refused object from an unknown application.
        refused(app, L"application start <Alpha>", Exits(kFail, "Error: application does not exist.\n")),
        refused(app, L"application add <token>", Exits(kAccessDenied, "Error calling CoCreateInstance().\n")),
        refused(app, L"application getIdList",
                Exits(kAccessDenied, "", {L"Failed to get Application List .\n"})),
        refused(app, L"application remove all", Exits(0, kNoneToRemove)),
    };
    // Every cache command opens its object alike.
    for (const wchar_t* command : {L"cache size", L"cache clear", L"cache multisource getIdList"}) {
        rows.push_back(refused("IStreamingCache", command, Exits(kAccessDenied, kCreateFailed)));
    }
    RunAll("create", rows);
}

// Every malformed reply shape of one query through every command that reads that answer: per group of
// shapes, the outcome of each command in turn.
class ReplyMatrix : public Matrix {
protected:
    using Group = std::pair<std::vector<std::string>, std::vector<Row>>;

    void RunQuery(const std::string& method, const std::vector<std::pair<std::wstring, Scenario>>& commands,
                  const std::vector<Group>& groups) {
        std::vector<Row> rows;
        for (const auto& [shapes, outcomes] : groups) {
            for (const std::string& shape : shapes) {
                for (size_t i = 0; i < commands.size(); ++i) {
                    rows.push_back(Fault("`" + shape + "`", Scenario(commands[i].second).Reply(method, shape),
                                         commands[i].first, outcomes.at(i)));
                }
            }
        }
        RunAll("reply-" + method, rows);
    }
};

// The same outcome for each of count commands.
std::vector<Row> Each(size_t count, DWORD code, const std::string& output) {
    return std::vector<Row>(count, Exits(code, output));
}

TEST_F(ReplyMatrix, GetApplicationList) {
    const Scenario two = Scenario().Client(4).App(kAlpha, L"Alpha", 16).App(kBeta, L"Beta", 1);
    const std::string noneToStop = "Unable to stop applications, as there are no applications to stop.\n";
    // A list with ids that are no strings could not be fetched: nothing is listed, and all finds nothing.
    RunQuery(
        "GetApplicationList",
        {{L"application getIdList", two}, {L"application remove all", two}, {L"application stop all", two}},
        {Group({"empty", "scalar", "noArray"}, Each(3, kTypeMismatch, kMismatch)),
         Group({"short", "lowerBound1", "countTooLarge"}, Each(3, kBadIndex, kOutside)),
         Group({"wrongTypes", "nullStrings"},
               {Exits(kTypeMismatch), Exits(0, kNoneToRemove), Exits(0, noneToStop)})});
}

TEST_F(ReplyMatrix, GetApplicationProperties) {
    const Scenario mounted = Scenario().Client(4).App(kAlpha, L"Alpha", 16);
    const std::string adding = "Adding application... Success",
                      added = ".\nAppName: [Alpha]\nAppGuid: [" + kA + "]\n";
    // start with the outcome, then the add.
    const auto ladder = [&](const std::string& name, DWORD code, const std::string& outcome,
                            const std::string& add) {
        return std::vector{Exits(code, "Starting application [" + name + "]... " + outcome),
                           Exits(0, adding + add + added)};
    };
    const auto failing = [&](DWORD code, const std::string& failure) {
        return std::vector{Exits(code, failure), Exits(code, adding + failure)};
    };
    // wrongTypes reads the state as 7: a step that a mounted application refuses. The name and the reboot
    // flag are no string and no VARIANT_TRUE there, so the guid stands in for the name and no reboot is
    // shown. stop, remove and run-cmd read the state and the name as start does.
    RunQuery("GetApplicationProperties",
             {{L"application start <Alpha>", mounted}, {L"application add <token>", Scenario().Client(4)}},
             {Group({"empty", "scalar", "noArray"}, failing(kTypeMismatch, kMismatch)),
              Group({"short", "lowerBound1"}, failing(kBadIndex, kOutside)),
              Group({"wrongTypes"}, ladder(kA, kInvalidState, "Failed.\n", "")),
              Group({"nullStrings"}, ladder(kA, 0, "Success.\n", " (Requires Reboot)")),
              Group({"countTooLarge"}, ladder("Alpha", 0, "Success.\n", " (Requires Reboot)"))});
}

TEST_F(ReplyMatrix, GetCacheLocation) {
    const Scenario cache = Scenario().Client(4).Admin(true).Cache(L"C:\\PlenumCache", 2048);
    const std::string size = "Changing cache size... ", location = "Changing cache location... ";
    // A settings array that does not hold what it should goes back whole and the service refuses it.
    RunQuery(
        "GetCacheLocation",
        {{L"cache size", cache},
         {L"cache size 4096", cache},
         {L"cache location", cache},
         {L"cache location C:\\windows", cache}},
        {Group({"empty", "scalar", "noArray"}, Each(4, kTypeMismatch, kMismatch)),
         Group({"lowerBound1"}, Each(4, kBadIndex, kOutside)),
         Group({"short"}, {Exits(kBadIndex, kOutside), Exits(kBadIndex, size + kOutside),
                           Exits(kBadIndex, kOutside), Exits(kBadIndex, location + kOutside)}),
         Group({"wrongTypes"},
               {Exits(0, "7\n"), Exits(kTypeMismatch, size + "Failed.\n"),
                Exits(kTypeMismatch, "\n"s + kMismatch), Exits(kInvalidArgument, location + "Failed.\n")}),
         Group({"nullStrings"}, {Exits(0, "2048\n"), Exits(kInvalidArgument, size + "Failed.\n"),
                                 Exits(kTypeMismatch, "\n"s + kMismatch), Exits(0, location + "Success.\n")}),
         Group({"countTooLarge"}, {Exits(0, "2048\n"), Exits(0, size + "Success.\n"),
                                   Exits(0, "C:\\PlenumCache\n"), Exits(0, location + "Success.\n")})});
}

TEST_F(ReplyMatrix, GetMultiSourceFileInfo) {
    const std::string heading = "Getting multisource file info...Success.\nMultiSourceFileInfo: \n";
    const std::string start = "Start Time - 12/30/1899 00:00:00 \n",
                      times = start + "Finish Time - 12/30/1899 00:00:00 \n";
    const std::string paths =
        "Application GUID - " + kA + "\nSource Path - C:\\a.stc\nLocal Path - C:\\PlenumCache\\a.stc\n";
    const std::string noStrings = heading + "Application GUID - \nSource Path - \nLocal Path - \n";
    const Scenario one =
        Scenario().App(kAlpha, L"Alpha", 1).Multisource(kAlpha, L"C:\\a.stc", L"C:\\PlenumCache\\a.stc");
    // The numbers are read through their value fields, whatever the element holds.
    RunQuery("GetMultiSourceFileInfo", {{L"cache multisource getInfo <Alpha>", one}},
             {Group({"empty", "scalar", "noArray"}, {Exits(kTypeMismatch, heading + kMismatch)}),
              Group({"short"},
                    {Exits(kBadIndex, heading + paths + "Size - 0\nMax Size - 0\n" + start + kOutside)}),
              Group({"wrongTypes"},
                    {Exits(kTypeMismatch, noStrings + "Size - 7\nMax Size - 7\n" + times + kMismatch)}),
              Group({"nullStrings"},
                    {Exits(kTypeMismatch, noStrings + "Size - 0\nMax Size - 0\n" + times + kMismatch)}),
              Group({"lowerBound1"}, {Exits(kBadIndex, heading + kOutside)}),
              Group({"countTooLarge"}, {Exits(0, heading + paths + "Size - 0\nMax Size - 0\n" + times)})});
}

TEST_F(ReplyMatrix, GetMultiSourceFileIdList) {
    const std::string heading = "Getting multisource file id list...Success.\nMultiSourceFileIdList: \n";
    const Scenario two = Scenario()
                             .Multisource(kAlpha, L"C:\\a.stc", L"C:\\a.stc")
                             .Multisource(kBeta, L"C:\\b.stc", L"C:\\b.stc");
    // The array's bounds alone decide what is printed; an id that is no string prints as empty and fails
    // the command.
    RunQuery(
        "GetMultiSourceFileIdList", {{L"cache multisource getIdList", two}},
        {Group({"empty", "scalar"}, {Exits(kTypeMismatch, heading + kMismatch)}),
         Group({"noArray"}, {Exits(0, heading + "Emtpy\n")}),
         Group({"short"}, {Exits(0, heading + "1 - " + kA + "\n")}),
         Group({"wrongTypes", "nullStrings"}, {Exits(kTypeMismatch, heading + "1 - \n2 - \n" + kMismatch)}),
         Group({"lowerBound1", "countTooLarge"}, {Exits(0, heading + "1 - " + kA + "\n2 - " + kB + "\n")})});
}

// Text from the service can pass neither for a line of Quillet's own nor for another guid, nor act as a
// format; output that cannot be written fails a command that would have succeeded.
TEST_F(Matrix, ServiceTextCannotForgeOutputAndUnwrittenOutputFails) {
    const std::string forged = R"({"name":"Mallory\r\nAppGuid: [{FAKE}]","guid":")" + kA + R"("})";
    m_names.insert(m_names.begin(), {L"<forged>", m_folder.File(L"forged.tok", forged)});
    Scenario many = Scenario().Client(4);
    std::string list = "\nAppIdList: \n";
    for (int i = 1; i <= 2000; ++i) {
        const std::wstring guid = L"{" + std::to_wstring(10000000 + i) + L"-0000-4000-8000-000000000000}";
        many.App(guid, L"Many", 1);
        list += std::to_string(i) + " - " + ToUtf8(guid) + "\n";
    }
    const std::string pipe = "standard output is a closed pipe";
    // Into a pipe whose reader has gone.
    const auto closed = [](Row row) {
        row.options.closedOutput = true;
        return row;
    };
    // What U+FFFD and a fullwidth letter become: `?` in most code pages, themselves in UTF-8.
    const std::string x = InOutputCodePage(L"\uFFFD");
    const std::wstring wide = L"{" + std::wstring(8, L'\uFF21') + L"-0000-4000-8000-0000000000A1}";
    const std::wstring escapes = L"\x1b[2J\0hidden\t\x1f~\x7f\x80\x9f %s%n"s;
    RunAll("output",
           {Fault("name holds CR LF and a line of its own", Scenario().Client(4), L"application add <forged>",
                  Exits(0, "Adding application... Success.\nAppName: [Mallory" + x + x +
                               "AppGuid: [{FAKE}]]\nAppGuid: [" + kA + "]\n")),
            Fault("name holds an escape sequence, a NUL, the other control characters and conversions",
                  Scenario().Client(4).App(kAlpha, escapes, 16), L"application start <Alpha>",
                  Exits(0, "Starting application [" + x + "[2J" + x + "hidden\t" + x + "~" + x + x + x +
                               " %s%n]... Success.\n")),
            Fault("location holds a line feed", Scenario().Client(4).Cache(L"C:\\Cache\nC:\\Other", 2048),
                  L"cache location", Exits(0, "C:\\Cache" + x + "C:\\Other\n")),
            Fault("guid in fullwidth letters", Scenario().Client(4).App(wide, L"Wide", 1),
                  L"application getIdList", Exits(0, "\nAppIdList: \n1 - " + InOutputCodePage(wide) + "\n")),
            Fault("2,000 applications, more than one piece of output", many, L"application getIdList",
                  Exits(0, list)),
            closed(Fault(pipe, Scenario().Client(4).App(kAlpha, L"Alpha", 1), L"application getIdList",
                         Exits(kClosedPipe))),
            closed(Fault(pipe, {}, L"-h", Exits(kClosedPipe))),
            // A command that failed keeps its own code.
            closed(Fault(pipe + ", the application does not exist", Scenario().Client(4),
                         L"application remove <Alpha>", Exits(kFail)))});
}

// The adds whose token never comes run at once, so that the suite waits for the service's deadline once.
TEST_F(Matrix, TokenThatNeverComesFailsInTimeAndOthersAreAnswered) {
    using Behaviour = LoopbackHttpServer::Behaviour;
    const LoopbackHttpServer never(200, "{}", Behaviour::NeverAnswer), trickle(200, "{}", Behaviour::Trickle),
        stall(200, "{}", Behaviour::StallTls);
    // Two instances that are never written to: Quillet's check of the path takes one, the service the other.
    const std::wstring pipe = L"\\\\.\\pipe\\quillet-" + std::to_wstring(GetCurrentProcessId()) + L".tok";
    const auto instance = [&] {
        return CreateNamedPipeW(pipe.c_str(), PIPE_ACCESS_DUPLEX, 0, 2, 0, 0, 0, nullptr);
    };
    const UniqueFile instances[2] = {UniqueFile(instance()), UniqueFile(instance())};
    const std::string gamma = ToUtf8(kGamma);
    const LoopbackHttpServer late(200, R"({"name":"Gamma","guid":")" + gamma + R"("})", Behaviour::Late);
    m_folder.Folder(L"to");
    m_names.insert(m_names.begin(), {{L"<never>", never.Url(L"/never.tok")},
                                     {L"<trickle>", trickle.Url(L"/trickle.tok")},
                                     {L"<stall>", stall.Url(L"/stall.tok")},
                                     {L"<late>", late.Url(L"/late.tok")},
                                     {L"<pipe>", pipe},
                                     {L"<huge>", Sparse(L"huge.tok", 1200)},
                                     {L"<3 GB file>", Sparse(L"big.bin", 3072)}});
    Scenario().Client(4).Admin(true).App(kBeta, L"Beta", 1).Write();
    constexpr DWORD kTimedOut = 0x80072EE2;
    const auto add = [](std::string fault, const std::wstring& token, DWORD code) {
        return Fault(std::move(fault), {}, L"application add " + token, Exits(code, kAddFailed));
    };
    // A run begun that long after the first that must end within ms.
    const auto later = [](DWORD sleep, Row row, double within) {
        row.setup = [sleep] { Sleep(sleep); };
        row.check = Within(within);
        return row;
    };
    // Writing 3 GB takes longer than a row's usual 20 s on a loaded machine.
    const auto copying = [](Row row) {
        row.options.timeoutMs = 90000;
        return row;
    };
    const std::vector<Row> rows = {
        later(0, add("the token server never answers", L"<never>", kTimedOut), 20000),
        later(0, add("the token server sends a byte every 5 s", L"<trickle>", kTimedOut), 20000),
        later(0, add("the token server never completes the TLS handshake", L"<stall>", kTimedOut), 20000),
        later(0, add("the token file is a named pipe", L"<pipe>", 0x800700DE), 20000),
        later(0, add("the token file is a sparse file of 1.2 GB", L"<huge>", 0x800700DF), 20000),
        later(4000, add("the token server never answers, 4 s after the first", L"<never>", kTimedOut), 20000),
        later(8000, add("the token server never answers, 8 s after the first", L"<never>", kTimedOut), 20000),
        later(0,
              Fault("the token comes after 2 s", {}, L"application add <late>",
                    Exits(0, "Adding application... Success.\nAppName: [Gamma]\nAppGuid: [" + gamma + "]\n")),
              5000),
        copying(Hooked(Fault("a copy of a 3 GB file, begun after the add above", {},
                             L"cache multisource add \"<Beta>|<3 GB file>|<folder>\\to|FALSE\"",
                             Exits(0, "Adding multisource file...Success.")),
                       [] { Sleep(500); })),
        // Before the last deadline: the service answers while the adds above wait.
        later(10000,
              Fault("while the adds above wait", {}, L"application getIdList",
                    Exits(0, "\nAppIdList: \n1 - " + kB + "\n2 - " + gamma + "\n")),
              3000),
    };
    std::vector<std::future<RunResult>> runs;
    for (const Row& row : rows) {
        runs.push_back(std::async(std::launch::async, [this, &row] { return EXPECT_ROW(Resolved(row)); }));
    }
    std::vector<RunResult> results;
    for (size_t i = 0; i < rows.size(); ++i) {
        Record(rows[i], results.emplace_back(runs[i].get()));
    }
    // The add ended before the copy that began half a second after it.
    EXPECT_LT(results[7].elapsedMs, 500 + results[8].elapsedMs) << "the add waited for the copy";
    // Stopped while eight adds wait: each ends at once, and its client sees the failure. An add calls as
    // soon as its object is initialised.
    const Row stopped = Fault("PlenumEmulator /Stop meanwhile", {}, L"application add <never>",
                              Exits(0x80080008, kAddFailed));
    const uint64_t from = emulator::JournalLength();
    std::vector<std::future<RunResult>> adds;
    for (int i = 0; i < 8; ++i) {
        adds.push_back(std::async(std::launch::async, [&] { return EXPECT_ROW(Resolved(stopped)); }));
    }
    const auto waiting = [from] {
        return std::ranges::count(CallView(emulator::ReadJournal(from), 0),
                                  "IStreamingApplication.Initialize"s);
    };
    for (const Stopwatch waited; waiting() < 8 && waited.ElapsedMs() < 20000;) {
        Sleep(100);
    }
    Sleep(500);
    const RunResult stopping = emulator::RunEmulator(L"/Stop");
    EXPECT_EQ(stopping.output, "Stopped.\n"); // the emulator writes UTF-8 with LF line ends
    EXPECT_EQ(stopping.exitCode, 0u);
    EXPECT_LT(stopping.elapsedMs, 20000);
    Record({.name = "eight adds wait for a token server that never answers", .args = {L"/Stop"}}, stopping);
    for (auto& run : adds) {
        const RunResult result = run.get();
        if (&run == &adds.back()) {
            Record(stopped, result);
        }
    }
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
    WriteSection("liveness");
}

// Once a copy has begun in folder, a call of this process's crashes the service (a StartClient fault).
void CrashDuringCopy(std::wstring folder) {
    for (const Stopwatch waited; std::filesystem::is_empty(folder) && waited.ElapsedMs() < 20000;) {
        Sleep(50);
    }
    const emulator::Apartment apartment;
    ComPtr<IStreamingClient> client;
    if (SUCCEEDED(CoCreateInstance(CLSID_StreamingClient, nullptr, CLSCTX_LOCAL_SERVER,
                                   IID_PPV_ARGS(client.put())))) {
        client->Initialize(GetCurrentProcessId());
        client->StartClient();
    }
}

TEST_F(Matrix, ChangesThatCannotBeSavedAndFilesThatAreNotTheServices) {
    for (const wchar_t* folder : {L"src", L"docs", L"cache", L"to"}) {
        m_folder.Folder(folder);
    }
    m_folder.File(L"src\\report.stc", "the source");
    const std::wstring users = m_folder.File(L"docs\\report.stc", "a user's text"),
                       source = m_folder.File(L"src\\data.stc", "first"),
                       copy = m_folder.Path() + L"\\cache\\data.stc",
                       shared = m_folder.File(L"cache\\shared.stc", "listed twice"),
                       lookalike = m_folder.File(L"docs\\a.{C0FFEE00-0000-4000-8000-000000000000}.tmp",
                                                 "a user's text");
    Sparse(L"big.bin", 2048);
    const auto holds = [](std::wstring path, std::string text) {
        return [=](const RunResult&) { EXPECT_EQ(emulator::ReadDataFile(path), text) << ToUtf8(path); };
    };
    const auto untouched = holds(users, "a user's text");
    // A link at a path to the user's file, planted before the run and removed after it.
    const auto planted = [&](Row row, LinkKind kind, std::wstring at) {
        return Hooked(
            std::move(row), [=] { DeleteFileW(at.c_str()), MakeLink(kind, at, users); },
            [=](const RunResult& run) { RemoveLink(at), untouched(run); });
    };
    UniqueFile locked;
    std::thread crasher;
    const Scenario two = Scenario().Client(4).App(kAlpha, L"Alpha", 1).App(kBeta, L"Beta", 1);
    const Scenario beta = Scenario().Client(4).App(kBeta, L"Beta", 1);
    const Scenario claims = Scenario(two).Multisource(kAlpha, L"C:\\old.stc", users, {{"localCopy", true}});
    const std::wstring temporary = emulator::StatePath() + L".tmp", journal = emulator::JournalPath();
    const std::wstring onto = L"cache multisource add \"<Alpha>|<folder>\\src\\report.stc|<folder>\\docs|";
    const std::wstring intoCache =
        L"cache multisource add \"<Alpha>|<folder>\\src\\data.stc|<folder>\\cache|";
    const std::wstring deleteAlpha = L"cache multisource delete <Alpha>", list = L"application getIdList";
    const Row listed = Exits(0, "\nAppIdList: \n1 - " + kA + "\n2 - " + kB + "\n"),
              refused = Exits(0x80070050, kMultisourceAddFailed);
    const Row added = Exits(
        0, "Adding application... Success (Requires Reboot).\nAppName: [Alpha]\nAppGuid: [" + kA + "]\n");
    const Row deleted = Exits(0, "Deleting multisource file...Success.");
    RunAll(
        "files",
        {
            Hooked(Fault("`state.json` held by another program", {}, L"application add <token>",
                         Exits(kAccessDenied, kAddFailed)),
                   [&] {
                       Scenario().Client(4).App(kBeta, L"Beta", 1).Write();
                       locked.reset(CreateFileW(emulator::StatePath().c_str(), GENERIC_READ,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                                nullptr));
                   }),
            Hooked(Fault("the add above was not kept", {}, list, Exits(0, "\nAppIdList: \n1 - " + kB + "\n")),
                   [&] { locked.reset(); }),
            Hooked(Fault("a user's file at the destination", two, onto + L"FALSE\"", refused), {}, untouched),
            Hooked(Fault("a user's file that the entry lists but did not copy",
                         Scenario(two).Multisource(kAlpha, L"C:\\old.stc", users), onto + L"TRUE\"", refused),
                   {}, untouched),
            Hooked(Fault("a user's file that the entry claims as the service's copy", claims,
                         onto + L"TRUE\"", refused),
                   {}, untouched),
            Hooked(Fault("the service's own copy", two, intoCache + L"FALSE\"",
                         Exits(0, "Adding multisource file...Success.")),
                   {}, holds(copy, "first")),
            // The source is locked: the copy that would replace the service's own fails.
            Hooked(
                Fault("the replacement of the service's own copy fails", {}, intoCache + L"TRUE\"",
                      Exits(0x80070020, kMultisourceAddFailed)),
                [&] {
                    WriteBytes(source, "second");
                    locked.reset(
                        CreateFileW(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
                },
                [&](const RunResult& run) { locked.reset(), holds(copy, "first")(run); }),
            planted(Fault("the service's copy above swapped for a symbolic link to a user's file", {},
                          deleteAlpha, deleted),
                    LinkKind::Symbolic, copy),
            Hooked(Fault("a user's file that the entry claims as the service's copy", claims, deleteAlpha,
                         deleted),
                   {}, untouched),
            Hooked(Fault("another entry lists the same file",
                         Scenario(two)
                             .Multisource(kAlpha, L"C:\\a.stc", shared, {{"localCopy", true}})
                             .Multisource(kBeta, L"C:\\b.stc", shared, {{"localCopy", true}}),
                         deleteAlpha, deleted),
                   {}, holds(shared, "listed twice")),
            planted(Fault("a hard link to a user's file as `journal.jsonl`", two, list, listed),
                    LinkKind::Hard, journal),
            planted(Fault("a symbolic link to a user's file as `journal.jsonl`", two, list, listed),
                    LinkKind::Symbolic, journal),
            planted(Fault("a hard link to a user's file as `state.json.tmp`", beta,
                          L"application add <token>", added),
                    LinkKind::Hard, temporary),
            planted(Fault("a symbolic link to a user's file as `state.json.tmp`", beta,
                          L"application add <token>", added),
                    LinkKind::Symbolic, temporary),
            // Another client's call crashes the service while the copy runs; the next start removes what it
            // left, and neither of the user's files that records written into state.json name: one by its
            // name, one named as the service names its copies.
            Hooked(
                Fault("the service crashes during a copy of a 2 GB file",
                      Scenario(beta)
                          .Crash("StartClient")
                          .Set("copiesInFlight", {{{"path", ToUtf8(users)}}, {{"path", ToUtf8(lookalike)}}}),
                      L"cache multisource add \"<Beta>|<folder>\\big.bin|<folder>\\to|FALSE\"",
                      Exits(kLost, kMultisourceAddFailed)),
                [&] { crasher = std::thread(CrashDuringCopy, m_folder.Path() + L"\\to"); },
                [&](const RunResult& run) {
                    crasher.join();
                    ASSERT_EQ(emulator::RecoverAfterCrash(), S_OK);
                    EXPECT_TRUE(std::filesystem::is_empty(m_folder.Path() + L"\\to"));
                    untouched(run), holds(lookalike, "a user's text")(run);
                }),
        });
}

} // namespace
} // namespace quillet::testing
