// The reliability matrix: Quillet.exe against a service that dies inside a call, refuses to create an
// object, answers with malformed replies, never delivers a token, cannot save a change or holds files that
// are not its own, and against service text that could forge the output. Each row is one run whose exit
// code and output are checked; each section's rows go to build/reports/reliability/<section>.json, from
// which tools/report/render.py makes the reliability report.
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
#include <functional>
#include <future>
#include <thread>

namespace quillet::testing {
namespace {

using namespace std::string_literals;

// One run: the fault as the report names it, the service before the run (none: as the row before left
// it), the command as the report shows it (<Alpha>, <token>... stand for the test's own values), what
// Quillet must print and return, a message that it must trace, and hooks around the run for what
// state.json cannot hold.
struct Case {
    std::string fault;
    std::optional<Scenario> scenario;
    std::wstring command;
    std::string output;
    DWORD exitCode;
    std::wstring traced = {};
    std::function<void()> setup = {};
    std::function<void(const RunResult&)> check = {};
    RunOptions options = {};
};

constexpr DWORD kLost = kCallFailed;
constexpr char kCreateFailed[] = "Error: failed to call CoCreateInstance().\n";
constexpr char kAddFailed[] = "Adding application... Failed\n";
constexpr char kMismatch[] = "Error: unexpected failure 0x80020005.\n";
constexpr char kOutside[] = "Error: unexpected failure 0x8002000B.\n";
constexpr char kNoneToRemove[] = "Unable to remove applications, as there are no applications to remove.\n";
const std::string kA = ToUtf8(kAlpha), kB = ToUtf8(kBeta);
const std::wstring kWideA = kAlpha;

std::wstring Replaced(std::wstring text, const std::wstring& what, const std::wstring& with) {
    for (size_t at = text.find(what); at != std::wstring::npos; at = text.find(what, at + with.size())) {
        text.replace(at, what.size(), with);
    }
    return text;
}

// build/reports beside build/bin.
const std::wstring kReports = BinDirectory().substr(0, BinDirectory().find_last_of(L'\\')) + L"\\reports";

class Matrix : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(emulator::EnsureResident(), S_OK); }

    RunResult Launch(const Case& row) const {
        if (row.setup) {
            row.setup();
        }
        if (row.scenario) {
            row.scenario->Write();
        }
        int count = 0;
        LPWSTR* words = CommandLineToArgvW((L"Quillet " + row.command).c_str(), &count);
        std::vector<std::wstring> args(words + 1, words + count);
        LocalFree(words);
        for (const auto& [placeholder, value] : m_names) {
            std::ranges::for_each(args, [&](std::wstring& arg) { arg = Replaced(arg, placeholder, value); });
        }
        RunOptions options = row.options;
        options.captureTrace = !row.traced.empty();
        options.timeoutMs = 20000;
        return testing::Run(args, options);
    }

    // Checks the run and adds it to the section's rows.
    void Check(const Case& row, const RunResult& result) {
        const std::string name = row.fault + " / " + ToUtf8(row.command);
        EXPECT_EQ(Hex(result.exitCode), Hex(row.exitCode)) << name << "\n"
                                                           << ::testing::PrintToString(result.Calls());
        EXPECT_EQ(result.output, Crlf(row.output)) << name;
        if (!row.traced.empty()) {
            EXPECT_NE(std::find(result.trace.begin(), result.trace.end(), row.traced), result.trace.end())
                << name << ": not traced: " << ToUtf8(row.traced);
        }
        if (row.check) {
            row.check(result);
        }
        Record(row, result);
    }

    void Record(const Case& row, const RunResult& result) {
        m_rows.push_back({{"fault", row.fault},
                          {"command", ToUtf8(row.command)},
                          {"exitCode", result.exitCode},
                          {"output", result.output}});
    }

    // Runs the rows one after the other; after a crash the emulator comes back and answers.
    void RunAll(const std::string& section, const std::vector<Case>& rows, bool crashes = false) {
        for (const Case& row : rows) {
            const RunResult result = Launch(row);
            Check(row, result);
            if (crashes) {
                const auto crashed = [](const std::string& call) { return call.ends_with(" crash"); };
                EXPECT_EQ(std::ranges::count_if(result.Calls(), crashed), 1) << row.fault;
                ASSERT_EQ(emulator::RecoverAfterCrash(), S_OK) << row.fault;
            }
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
        const UniqueFile file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
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
    std::vector<std::pair<std::wstring, std::wstring>> m_names = {
        {L"<token>", m_token}, {L"<folder>", m_folder.Path()}, {L"<Alpha>", kAlpha}, {L"<Beta>", kBeta}};
    nlohmann::ordered_json m_rows = nlohmann::ordered_json::array();
};

// The emulator dies in the call, after skip calls of the method; Alpha is there unless alpha is 0.
Scenario Crash(std::string_view method, long long alpha = 0, int skip = 0) {
    Scenario scenario = Scenario().Client(4).Admin(true).Crash(method, skip);
    return alpha == 0 ? scenario : scenario.App(kAlpha, L"Alpha", alpha);
}

std::wstring Lost(const std::wstring& what) {
    return L"Failed to " + what + L" Application <" + kWideA;
}

// clang-format off
TEST_F(Matrix, ServiceDiesInsideACall) {
    const std::wstring start = L"application start <Alpha>", addMs = L"cache multisource add \"<Alpha>|C:\\src.stc| |TRUE\"";
    RunAll("crash", {
        {"crash in `StartClient`", Crash("StartClient", 1), start, kCannotStartClient, kFail, L"Failed to Start Client COM. [1726]\n"},
        {"crash in `GetApplicationProperties` (status)", Crash("GetApplicationProperties", 1), start, "Error: application does not exist.\n", kFail},
        // The name query dies; the next activation starts the service again and the command goes on.
        {"crash in `GetApplicationProperties` (name)", Crash("GetApplicationProperties", 1, 1), start, "Starting application [" + kA + "]... Success.\n", 0},
        {"crash in `LoadApplication`", Crash("LoadApplication", 1), start, "Starting application [Alpha]... Failed.\n", kLost, Lost(L"load") + L"> [1726].\n"},
        {"crash in `StopApplication`", Crash("StopApplication", 64), L"application stop <Alpha>", "Stopping application [Alpha]... Failed.\n", kLost, Lost(L"stop") + L"> [1726].\n"},
        {"crash in `StopApplication`", Crash("StopApplication", 64).App(kBeta, L"Beta", 64), L"application stop all", "Stopping application [Alpha]... Failed.\n", kLost},
        {"crash in `RemoveApplication`", Crash("RemoveApplication", 1), L"application remove <Alpha>", "Removing application [Alpha]... Failed.\n", kLost, Lost(L"remove") + L"> [1726].\n"},
        {"crash in `RunApplicationCommand`", Crash("RunApplicationCommand", 16), L"application run-cmd <Alpha> tool.exe", "Running command for application [Alpha]... Failed.\n", kLost,
         L"Failed to run command on Application <" + kWideA + L"> with exe path <tool.exe>, working dir <>, parameters <> [1726].\n"},
        {"crash in `GetApplicationList`", Crash("GetApplicationList", 1), L"application getIdList", "", kLost, L"Failed to call COM API to get Application List [1726].\n"},
        // remove all cannot tell a failed list from an empty one: it says so and exits with 0.
        {"crash in `GetApplicationList`", Crash("GetApplicationList", 1), L"application remove all", kNoneToRemove, 0},
        {"crash in `AddApplication`", Crash("AddApplication"), L"application add <token>", kAddFailed, kLost},
        {"crash in `GetApplicationProperties` (reboot)", Crash("GetApplicationProperties"), L"application add <token>", "Adding application... Success.\nAppName: [Alpha]\nAppGuid: [" + kA + "]\n", kLost},
        {"crash in `IStreamingCache.CreateInstance`", Crash("IStreamingCache.CreateInstance"), L"cache size", kCreateFailed, kLost},
        {"crash in `IStreamingCache.Initialize`", Crash("IStreamingCache.Initialize"), L"cache size", "Error: failed to intialize IStreamingCache object.\n", kLost},
        {"crash in `GetCacheLocation`", Crash("GetCacheLocation"), L"cache size", kCacheReadFailed, kLost},
        {"crash in `IsUserAdministrator`", Crash("IsUserAdministrator"), L"cache size 4096", kNotAdministrator, kFail},
        {"crash in `SetCacheSettings`", Crash("SetCacheSettings"), L"cache size 4096", "Changing cache size... Failed.\n", kLost},
        {"crash in `ClearCache`", Crash("ClearCache"), L"cache clear", "Invalid operation: Cannot clear cache while working offline or having running apps.\n", kLost},
        {"crash in `AddMultiSourceFile`", Crash("AddMultiSourceFile", 1), addMs, kMultisourceAddFailed, kLost},
        {"crash in `DeleteMultiSourceFile`", Crash("DeleteMultiSourceFile", 1), L"cache multisource delete <Alpha>", "Deleting multisource file...Failed.\n", kLost},
        {"crash in `GetMultiSourceFileInfo`", Crash("GetMultiSourceFileInfo", 1), L"cache multisource getInfo <Alpha>", "Getting multisource file info...Failed.\n", kLost},
        {"crash in `GetMultiSourceFileIdList`", Crash("GetMultiSourceFileIdList"), L"cache multisource getIdList", "Getting multisource file id list...Failed.\n", kLost},
        // The client commands print nothing and return their fixed code.
        {"crash in `StartClient`", Crash("StartClient").Client(0), L"client start", "", kFail, L"Failed to Start Client COM. [1726]\n"},
        {"crash in `InitApplications`", Crash("InitApplications").Client(2), L"client start", "", kFail, L"Failed to initialize Streaming Client COM. [1726]\n"},
        {"crash in `UninitApplications`", Crash("UninitApplications").Client(4), L"client stop", "", kFail, L"Failed to Uninitialize Streaming Client COM. [1726]\n"},
        {"crash in `StopClient`", Crash("StopClient").Client(2), L"client stop", "", kFail, L"Failed to Uninitialize Client COM. [1726]\n"},
    }, true);
}

TEST_F(Matrix, ServiceRefusesToCreateAnObject) {
    const auto refused = [](const std::string& name, std::wstring command, std::string output, DWORD code, std::wstring traced = {}) {
        return Case{"`" + name + "` refused", Scenario().Client(4).Admin(true).App(kAlpha, L"Alpha", 16).Fault(name + ".CreateInstance", kAccessDenied, {.times = -1}),
                    std::move(command), std::move(output), code, std::move(traced)};
    };
    std::vector<Case> rows = {
        refused("IStreamingClient", L"application start <Alpha>", kCannotStartClient, kFail, L"Failed to Create Client COM.\n"),
        refused("IStreamingClient", L"application stop <Alpha>", "Error: cannot start IStreamingClient execute application command.\n", kFail),
        refused("IStreamingClient", L"application add <token>", kCannotStartClient, kFail),
        refused("IStreamingClient", L"application getIdList", "", kFail, L"Cannot start Client to update Application status.\n"),
        refused("IStreamingClient", L"cache size", "2048\n", 0),
        refused("IStreamingClient", L"cache size 4096", kNotAdministrator, kFail),
        refused("IStreamingClient", L"cache clear", "Error: user is not an administrator. Operation cannot be executed.\n", kFail),
        refused("IStreamingClient", L"client start", "", kFail),
        refused("IStreamingClient", L"client stop", "", kFail),
        // The existence check cannot tell a refused object from an unknown application.
        refused("IStreamingApplication", L"application start <Alpha>", "Error: application does not exist.\n", kFail),
        refused("IStreamingApplication", L"application add <token>", "Error calling CoCreateInstance().\n", kAccessDenied),
        refused("IStreamingApplication", L"application getIdList", "", kAccessDenied, L"Failed to get Application List .\n"),
        refused("IStreamingApplication", L"application remove all", kNoneToRemove, 0),
    };
    for (const wchar_t* command : {L"cache size", L"cache location C:\\windows", L"cache clear", L"cache multisource add \"<Alpha>|C:\\src.stc| |TRUE\"",
                                   L"cache multisource delete <Alpha>", L"cache multisource getInfo <Alpha>", L"cache multisource getIdList"}) {
        rows.push_back(refused("IStreamingCache", command, kCreateFailed, kAccessDenied));
    }
    RunAll("create", rows);
}
// clang-format on

// Per group of shapes: what each of the query's commands prints and returns.
using Outcomes = std::vector<std::pair<std::string, DWORD>>;
Outcomes Each(size_t count, const std::string& output, DWORD code) {
    return Outcomes(count, {output, code});
}

// Every malformed reply shape of one query through every command that reads that answer.
class ReplyMatrix : public Matrix {
protected:
    void RunQuery(const std::string& method, const std::vector<std::pair<std::wstring, Scenario>>& commands,
                  const std::vector<std::pair<std::vector<std::string>, Outcomes>>& shapes) {
        std::vector<Case> rows;
        for (const auto& [names, expected] : shapes) {
            for (const std::string& shape : names) {
                for (size_t i = 0; i < commands.size(); ++i) {
                    rows.push_back({"`" + shape + "`", Scenario(commands[i].second).Reply(method, shape),
                                    commands[i].first, expected.at(i).first, expected.at(i).second});
                }
            }
        }
        RunAll("reply-" + method, rows);
    }
};

// clang-format off
TEST_F(ReplyMatrix, GetApplicationList) {
    const Scenario two = Scenario().Client(4).App(kAlpha, L"Alpha", 16).App(kBeta, L"Beta", 1);
    // A list with ids that are no strings could not be fetched: nothing is listed, and all finds nothing.
    RunQuery("GetApplicationList", {{L"application getIdList", two}, {L"application remove all", two}, {L"application stop all", two}},
             {{{"empty", "scalar", "noArray"}, Each(3, kMismatch, kTypeMismatch)},
              {{"short", "lowerBound1", "countTooLarge"}, Each(3, kOutside, kBadIndex)},
              {{"wrongTypes", "nullStrings"}, {{"", kTypeMismatch}, {kNoneToRemove, 0}, {"Unable to stop applications, as there are no applications to stop.\n", 0}}}});
}

TEST_F(ReplyMatrix, GetApplicationProperties) {
    const Scenario mounted = Scenario().Client(4).App(kAlpha, L"Alpha", 16);
    const std::string adding = "Adding application... Success", added = ".\nAppName: [Alpha]\nAppGuid: [" + kA + "]\n";
    const auto ladder = [&](const std::string& name, const std::string& outcome, DWORD code, const std::string& add) {
        Outcomes rows;
        for (const char* progress : {"Starting application", "Stopping application", "Removing application", "Running command for application"}) {
            rows.push_back({progress + " ["s + name + "]... " + outcome, code});
        }
        rows.push_back({adding + add + added, 0});
        return rows;
    };
    const auto failing = [&](const std::string& failure, DWORD code) {
        Outcomes rows = Each(4, failure, code);
        rows.push_back({adding + failure, code});
        return rows;
    };
    // wrongTypes reads the state as 7: a step that a mounted (or running) application refuses. The name and
    // the reboot flag are no string and no VARIANT_TRUE there, so the guid stands in for the name and no
    // reboot is shown.
    RunQuery("GetApplicationProperties",
             {{L"application start <Alpha>", mounted}, {L"application stop <Alpha>", Scenario().Client(4).App(kAlpha, L"Alpha", 64)},
              {L"application remove <Alpha>", mounted}, {L"application run-cmd <Alpha> tool.exe", mounted}, {L"application add <token>", Scenario().Client(4)}},
             {{{"empty", "scalar", "noArray"}, failing(kMismatch, kTypeMismatch)},
              {{"short", "lowerBound1"}, failing(kOutside, kBadIndex)},
              {{"wrongTypes"}, ladder(kA, "Failed.\n", kInvalidState, "")},
              {{"nullStrings"}, ladder(kA, "Success.\n", 0, " (Requires Reboot)")},
              {{"countTooLarge"}, ladder("Alpha", "Success.\n", 0, " (Requires Reboot)")}});
}

TEST_F(ReplyMatrix, GetCacheLocation) {
    const Scenario cache = Scenario().Client(4).Admin(true).Cache(L"C:\\PlenumCache", 2048);
    const std::string size = "Changing cache size... ", location = "Changing cache location... ";
    // A settings array that does not hold what it should goes back whole and the service refuses it.
    RunQuery("GetCacheLocation", {{L"cache size", cache}, {L"cache size 4096", cache}, {L"cache location", cache}, {L"cache location C:\\windows", cache}},
             {{{"empty", "scalar", "noArray"}, Each(4, kMismatch, kTypeMismatch)},
              {{"lowerBound1"}, Each(4, kOutside, kBadIndex)},
              {{"short"}, {{kOutside, kBadIndex}, {size + kOutside, kBadIndex}, {kOutside, kBadIndex}, {location + kOutside, kBadIndex}}},
              {{"wrongTypes"}, {{"7\n", 0}, {size + "Failed.\n", kTypeMismatch}, {"\n"s + kMismatch, kTypeMismatch}, {location + "Failed.\n", kInvalidArgument}}},
              {{"nullStrings"}, {{"2048\n", 0}, {size + "Failed.\n", kInvalidArgument}, {"\n"s + kMismatch, kTypeMismatch}, {location + "Success.\n", 0}}},
              {{"countTooLarge"}, {{"2048\n", 0}, {size + "Success.\n", 0}, {"C:\\PlenumCache\n", 0}, {location + "Success.\n", 0}}}});
}

TEST_F(ReplyMatrix, GetMultiSourceFileInfo) {
    const std::string heading = "Getting multisource file info...Success.\nMultiSourceFileInfo: \n";
    const std::string start = "Start Time - 12/30/1899 00:00:00 \n", times = start + "Finish Time - 12/30/1899 00:00:00 \n";
    const std::string paths = "Application GUID - " + kA + "\nSource Path - C:\\a.stc\nLocal Path - C:\\PlenumCache\\a.stc\n";
    const std::string noStrings = heading + "Application GUID - \nSource Path - \nLocal Path - \n";
    // The numbers are read through their value fields, whatever the element holds.
    RunQuery("GetMultiSourceFileInfo", {{L"cache multisource getInfo <Alpha>", Scenario().App(kAlpha, L"Alpha", 1).Multisource(kAlpha, L"C:\\a.stc", L"C:\\PlenumCache\\a.stc")}},
             {{{"empty", "scalar", "noArray"}, {{heading + kMismatch, kTypeMismatch}}},
              {{"short"}, {{heading + paths + "Size - 0\nMax Size - 0\n" + start + kOutside, kBadIndex}}},
              {{"wrongTypes"}, {{noStrings + "Size - 7\nMax Size - 7\n" + times + kMismatch, kTypeMismatch}}},
              {{"nullStrings"}, {{noStrings + "Size - 0\nMax Size - 0\n" + times + kMismatch, kTypeMismatch}}},
              {{"lowerBound1"}, {{heading + kOutside, kBadIndex}}},
              {{"countTooLarge"}, {{heading + paths + "Size - 0\nMax Size - 0\n" + times, 0}}}});
}

TEST_F(ReplyMatrix, GetMultiSourceFileIdList) {
    const std::string heading = "Getting multisource file id list...Success.\nMultiSourceFileIdList: \n";
    // The array's bounds alone decide what is printed; an id that is no string prints as empty and fails
    // the command.
    RunQuery("GetMultiSourceFileIdList", {{L"cache multisource getIdList", Scenario().Multisource(kAlpha, L"C:\\a.stc", L"C:\\a.stc").Multisource(kBeta, L"C:\\b.stc", L"C:\\b.stc")}},
             {{{"empty", "scalar"}, {{heading + kMismatch, kTypeMismatch}}},
              {{"noArray"}, {{heading + "Emtpy\n", 0}}},
              {{"short"}, {{heading + "1 - " + kA + "\n", 0}}},
              {{"wrongTypes", "nullStrings"}, {{heading + "1 - \n2 - \n" + kMismatch, kTypeMismatch}}},
              {{"lowerBound1", "countTooLarge"}, {{heading + "1 - " + kA + "\n2 - " + kB + "\n", 0}}}});
}

// Text from the service can pass neither for a line of Quillet's own nor for another guid, nor act as a
// format; output that cannot be written fails a command that would have succeeded.
TEST_F(Matrix, ServiceTextCannotForgeOutputAndUnwrittenOutputFails) {
    m_names.insert(m_names.begin(), {L"<forged>", m_folder.File(L"forged.tok", R"({"name":"Mallory\r\nAppGuid: [{FAKE}]","guid":")" + kA + R"("})")});
    Scenario many = Scenario().Client(4);
    std::string list = "\nAppIdList: \n";
    for (int i = 1; i <= 2000; ++i) {
        const std::wstring guid = L"{" + std::to_wstring(10000000 + i) + L"-0000-4000-8000-000000000000}";
        many.App(guid, L"Many", 1);
        list += std::to_string(i) + " - " + ToUtf8(guid) + "\n";
    }
    const RunOptions closed = {.closedOutput = true};
    const std::string pipe = "standard output is a closed pipe";
    const Scenario one = Scenario().Client(4).App(kAlpha, L"Alpha", 1);
    // What U+FFFD and a fullwidth letter become: `?` in most code pages, themselves in UTF-8.
    const std::string x = InOutputCodePage(L"\uFFFD");
    const std::wstring wide = L"{" + std::wstring(8, L'\uFF21') + L"-0000-4000-8000-0000000000A1}";
    const std::wstring escapes = L"\x1b[2J\0hidden\t\x1f~\x7f\x80\x9f %s%n"s;
    RunAll("output", {
        {"name holds CR LF and a line of its own", Scenario().Client(4), L"application add <forged>",
         "Adding application... Success.\nAppName: [Mallory" + x + x + "AppGuid: [{FAKE}]]\nAppGuid: [" + kA +
             "]\n", 0},
        {"name holds an escape sequence, a NUL, the other control characters and conversions",
         Scenario().Client(4).App(kAlpha, escapes, 16), L"application start <Alpha>",
         "Starting application [" + x + "[2J" + x + "hidden\t" + x + "~" + x + x + x + " %s%n]... Success.\n",
         0},
        {"location holds a line feed", Scenario().Client(4).Cache(L"C:\\Cache\nC:\\Other", 2048),
         L"cache location", "C:\\Cache" + x + "C:\\Other\n", 0},
        {"guid in fullwidth letters", Scenario().Client(4).App(wide, L"Wide", 1), L"application getIdList",
         "\nAppIdList: \n1 - " + InOutputCodePage(wide) + "\n", 0},
        {"2,000 applications, more than one piece of output", many, L"application getIdList", list, 0},
        {pipe, one, L"application getIdList", "", kClosedPipe, {}, {}, {}, closed},
        {pipe, {}, L"-h", "", kClosedPipe, {}, {}, {}, closed},
        // A command that failed keeps its own code.
        {pipe + ", the application does not exist", Scenario().Client(4), L"application remove <Alpha>", "",
         kFail, {}, {}, {}, closed},
    });
}
// clang-format on

// A check that the run ended within ms.
std::function<void(const RunResult&)> Within(double ms) {
    return [ms](const RunResult& run) { EXPECT_LT(run.elapsedMs, ms); };
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
    const std::wstring huge = Sparse(L"huge.tok", 1200);
    const LoopbackHttpServer late(200, R"({"name":"Gamma","guid":")" + ToUtf8(kGamma) + R"("})", Behaviour::Late);
    m_folder.Folder(L"to");
    m_names.insert(m_names.begin(), {{L"<never>", never.Url(L"/never.tok")},
                                     {L"<trickle>", trickle.Url(L"/trickle.tok")},
                                     {L"<stall>", stall.Url(L"/stall.tok")},
                                     {L"<late>", late.Url(L"/late.tok")},
                                     {L"<pipe>", pipe},
                                     {L"<huge>", huge},
                                     {L"<2 GB file>", Sparse(L"big.bin", 2048)}});
    Scenario().Client(4).Admin(true).App(kBeta, L"Beta", 1).Write();
    constexpr DWORD kTimedOut = 0x80072EE2;
    // clang-format off
    const std::vector<Case> rows = {
        {"the token server never answers", {}, L"application add <never>", kAddFailed, kTimedOut, {}, {}, Within(20000)},
        {"the token server sends a byte every 5 s", {}, L"application add <trickle>", kAddFailed, kTimedOut, {}, {}, Within(20000)},
        {"the token server never completes the TLS handshake", {}, L"application add <stall>", kAddFailed, kTimedOut, {}, {}, Within(20000)},
        {"the token file is a named pipe", {}, L"application add <pipe>", kAddFailed, 0x800700DE, {}, {}, Within(20000)},
        {"the token file is a sparse file of 1.2 GB", {}, L"application add <huge>", kAddFailed, 0x800700DF, {}, {}, Within(20000)},
        {"the token server never answers, 4 s after the first", {}, L"application add <never>", kAddFailed, kTimedOut, {}, [] { Sleep(4000); }, Within(17000)},
        {"the token server never answers, 8 s after the first", {}, L"application add <never>", kAddFailed, kTimedOut, {}, [] { Sleep(8000); }, Within(17000)},
        {"the token comes after 2 s", {}, L"application add <late>", "Adding application... Success.\nAppName: [Gamma]\nAppGuid: [" + ToUtf8(kGamma) + "]\n", 0, {}, {}, Within(5000)},
        {"a copy of a 2 GB file, begun after the add above", {}, L"cache multisource add \"<Beta>|<2 GB file>|<folder>\\to|FALSE\"", "Adding multisource file...Success.", 0, {}, [] { Sleep(500); }},
        // Before the last deadline: the service answers while the adds above wait.
        {"while the adds above wait", {}, L"application getIdList", "\nAppIdList: \n1 - " + kB + "\n2 - " + ToUtf8(kGamma) + "\n", 0, {}, [] { Sleep(10000); }, Within(5000)},
    };
    // clang-format on
    std::vector<std::future<RunResult>> runs;
    for (const Case& row : rows) {
        runs.push_back(std::async(std::launch::async, [this, &row] { return Launch(row); }));
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        Check(rows[i], runs[i].get());
    }
    // Stopped while eight adds wait: each ends at once, and its client sees the failure.
    const Case stop = {"eight adds wait for a token server that never answers", {}, L"/Stop", "Stopped.\n", 0, {},
                       [] { Sleep(2000); }, Within(20000), {.program = emulator::EmulatorPath()}};
    std::vector<std::future<RunResult>> adds;
    for (int i = 0; i < 8; ++i) {
        adds.push_back(std::async(std::launch::async, [&] { return Launch(rows[0]); }));
    }
    const RunResult stopping = Launch(stop);
    EXPECT_EQ(stopping.output, stop.output); // the emulator writes UTF-8 with LF line ends
    EXPECT_EQ(stopping.exitCode, 0u);
    stop.check(stopping);
    Record(stop, stopping);
    const Case stopped = {"PlenumEmulator /Stop meanwhile", {}, L"application add <never>", kAddFailed, 0x80080008};
    for (auto& add : adds) {
        const RunResult result = add.get();
        EXPECT_EQ(Hex(result.exitCode), Hex(stopped.exitCode));
        EXPECT_EQ(result.output, Crlf(stopped.output));
        if (&add == &adds.back()) {
            Check(stopped, result);
        }
    }
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
    WriteSection("liveness");
}

constexpr char kDeleted[] = "Deleting multisource file...Success.";

// Once a copy has begun in folder, a call of this process's crashes the service (a StartClient fault).
void CrashDuringCopy(std::wstring folder) {
    for (const Stopwatch waited; std::filesystem::is_empty(folder) && waited.ElapsedMs() < 20000;) {
        Sleep(50);
    }
    const emulator::Apartment apartment;
    ComPtr<IStreamingClient> client;
    if (SUCCEEDED(CoCreateInstance(CLSID_StreamingClient, nullptr, CLSCTX_LOCAL_SERVER, IID_PPV_ARGS(client.put())))) {
        client->Initialize(GetCurrentProcessId());
        client->StartClient();
    }
}

TEST_F(Matrix, ChangesThatCannotBeSavedAndFilesThatAreNotTheServices) {
    std::ranges::for_each(std::array{L"src", L"docs", L"cache"},
                          [&](const wchar_t* name) { m_folder.Folder(name); });
    m_folder.File(L"src\\report.stc", "the source");
    const std::wstring users = m_folder.File(L"docs\\report.stc", "a user's text"),
                       source = m_folder.File(L"src\\data.stc", "first"),
                       copy = m_folder.Path() + L"\\cache\\data.stc",
                       shared = m_folder.File(L"cache\\shared.stc", "listed twice");
    const auto holds = [](std::wstring path, std::string text) {
        return [=](const RunResult&) { EXPECT_EQ(emulator::ReadDataFile(path), text) << ToUtf8(path); };
    };
    UniqueFile locked;
    std::thread crasher;
    Sparse(L"big.bin", 2048);
    m_folder.Folder(L"to");
    const Scenario two = Scenario().Client(4).App(kAlpha, L"Alpha", 1).App(kBeta, L"Beta", 1);
    const Scenario beta = Scenario().Client(4).App(kBeta, L"Beta", 1);
    const std::wstring temporary = emulator::StatePath() + L".tmp";
    const std::string list = "\nAppIdList: \n1 - " + kA + "\n2 - " + kB + "\n";
    const std::string kAdded = "Adding application... Success (Requires Reboot).\nAppName: [Alpha]\nAppGuid: [" + kA + "]\n";
    const auto plant = [&](LinkKind kind, std::wstring at) { return [=] { DeleteFileW(at.c_str()), MakeLink(kind, at, users); }; };
    const auto unplant = [&](std::wstring at) { return [=](const RunResult& run) { RemoveLink(at); holds(users, "a user's text")(run); }; };
    const nlohmann::ordered_json own = {{"localCopy", true}};
    const std::wstring onto = L"cache multisource add \"<Alpha>|<folder>\\src\\report.stc|<folder>\\docs|";
    const std::wstring intoCache =
        L"cache multisource add \"<Alpha>|<folder>\\src\\data.stc|<folder>\\cache|";
    // clang-format off
    RunAll("files", {
        {"`state.json` held by another program", {}, L"application add <token>", kAddFailed, kAccessDenied, {},
         [&] { Scenario().Client(4).App(kBeta, L"Beta", 1).Write(); locked.reset(CreateFileW(emulator::StatePath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)); }},
        {"the add above was not kept", {}, L"application getIdList", "\nAppIdList: \n1 - " + kB + "\n", 0, {}, [&] { locked.reset(); }},
        {"a user's file at the destination", two, onto + L"FALSE\"", kMultisourceAddFailed, 0x80070050, {}, {}, holds(users, "a user's text")},
        {"a user's file that the entry lists but did not copy", Scenario(two).Multisource(kAlpha, L"C:\\old.stc", users), onto + L"TRUE\"", kMultisourceAddFailed, 0x80070050, {}, {}, holds(users, "a user's text")},
        {"a user's file that the entry claims as the service's copy", Scenario(two).Multisource(kAlpha, L"C:\\old.stc", users, own), onto + L"TRUE\"", kMultisourceAddFailed, 0x80070050, {}, {}, holds(users, "a user's text")},
        {"the service's own copy", two, intoCache + L"FALSE\"", "Adding multisource file...Success.", 0, {}, {}, holds(copy, "first")},
        // The source is locked: the copy that would replace the service's own fails.
        {"the replacement of the service's own copy fails", {}, intoCache + L"TRUE\"", kMultisourceAddFailed, 0x80070020, {},
         [&] { WriteBytes(source, "second"); locked.reset(CreateFileW(source.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)); },
         [&](const RunResult& run) { locked.reset(); holds(copy, "first")(run); }},
        {"the service's copy above swapped for a symbolic link to a user's file", {}, L"cache multisource delete <Alpha>", kDeleted, 0, {},
         [&] { DeleteFileW(copy.c_str()), MakeLink(LinkKind::Symbolic, copy, users); }, [&](const RunResult& run) { RemoveLink(copy); holds(users, "a user's text")(run); }},
        {"a user's file that the entry claims as the service's copy", Scenario(two).Multisource(kAlpha, L"C:\\old.stc", users, own), L"cache multisource delete <Alpha>", kDeleted, 0, {}, {}, holds(users, "a user's text")},
        {"another entry lists the same file", Scenario(two).Multisource(kAlpha, L"C:\\a.stc", shared, own).Multisource(kBeta, L"C:\\b.stc", shared, own),
         L"cache multisource delete <Alpha>", kDeleted, 0, {}, {}, holds(shared, "listed twice")},
        {"a hard link to a user's file as `journal.jsonl`", two, L"application getIdList", list, 0, {}, plant(LinkKind::Hard, emulator::JournalPath()), unplant(emulator::JournalPath())},
        {"a symbolic link to a user's file as `journal.jsonl`", two, L"application getIdList", list, 0, {}, plant(LinkKind::Symbolic, emulator::JournalPath()), unplant(emulator::JournalPath())},
        {"a hard link to a user's file as `state.json.tmp`", beta, L"application add <token>", kAdded, 0, {}, plant(LinkKind::Hard, temporary), unplant(temporary)},
        {"a symbolic link to a user's file as `state.json.tmp`", beta, L"application add <token>", kAdded, 0, {}, plant(LinkKind::Symbolic, temporary), unplant(temporary)},
        // Another client's call crashes the service while the copy runs; the next start removes what it left.
        {"the service crashes during a copy of a 2 GB file", Scenario(beta).Crash("StartClient"), L"cache multisource add \"<Beta>|<folder>\\big.bin|<folder>\\to|FALSE\"",
         kMultisourceAddFailed, kLost, {}, [&] { crasher = std::thread(CrashDuringCopy, m_folder.Path() + L"\\to"); },
         [&](const RunResult&) { crasher.join(); ASSERT_EQ(emulator::RecoverAfterCrash(), S_OK); EXPECT_TRUE(std::filesystem::is_empty(m_folder.Path() + L"\\to")); }},
    });
    // clang-format on
}

} // namespace
} // namespace quillet::testing
