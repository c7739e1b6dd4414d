// Every malformed reply shape of the emulator, for each of the five calls that answer with a VARIANT,
// through every command that reads that answer: never a crash, never a name or path made of something
// that is no string, and a failing exit code wherever an element could not be read.
#include "Emulator.h"
#include "MatrixReport.h"
#include "RunChecks.h"
#include "Codes.h"

#include <gtest/gtest.h>

namespace quillet::testing::reliability {
namespace {

struct Expect {
    std::string output;
    DWORD exitCode;
};

struct Command {
    std::vector<std::wstring> args;
    Scenario scenario; // the service before the run, without the reply rule
};

// One shape and what each of the query's commands does with it, in the order of the commands.
struct ShapeRow {
    const char* shape;
    std::vector<Expect> expected;
};

constexpr char kMismatch[] = "Error: unexpected failure 0x80020005.\n";
constexpr char kOutsideTheArray[] = "Error: unexpected failure 0x8002000B.\n";
constexpr char kNothingToRemove[] =
    "Unable to remove applications, as there are no applications to remove.\n";
constexpr char kNothingToStop[] = "Unable to stop applications, as there are no applications to stop.\n";
constexpr wchar_t kCacheFolder[] = L"C:\\PlenumCache";

class ReplyMatrix : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(emulator::EnsureResident(), S_OK); }

    // Runs every (shape, command) pair of one query and records it under the query's section.
    void RunMatrix(const char* method, const std::vector<Command>& commands,
                   const std::vector<ShapeRow>& rows) {
        MatrixSection report(std::string("reply-") + method);
        report.Abbreviate(m_alpha.Path(), L"<token>");
        for (const ShapeRow& row : rows) {
            ASSERT_EQ(row.expected.size(), commands.size()) << row.shape;
            for (size_t i = 0; i < commands.size(); ++i) {
                const Command& command = commands[i];
                SCOPED_TRACE(std::string(row.shape) + " / " +
                             ToUtf8(command.args[0] + L" " + command.args[1]));
                emulator::ClearJournal();
                Scenario scenario = command.scenario;
                scenario.Reply(method, row.shape).Write();
                const RunResult result = testing::Run(command.args);
                const Expect& expected = row.expected[i];
                EXPECT_EQ(result.output,
                          ConsoleBytes(std::wstring(expected.output.begin(), expected.output.end())));
                EXPECT_EQ(result.exitCode, expected.exitCode) << std::hex << result.exitCode;
                report.Add(std::string("`") + row.shape + "`", command.args, result);
            }
        }
        report.Write();
    }

    AlphaToken m_alpha;
};

const std::string kA = ToUtf8(kAlpha);
const std::string kB = ToUtf8(kBeta);

// The same expectation for every command of a query.
std::vector<Expect> Each(size_t count, const std::string& output, DWORD exitCode) {
    return std::vector<Expect>(count, Expect{output, exitCode});
}

TEST_F(ReplyMatrix, GetApplicationList) {
    const Scenario two = Scenario().Client(4).App(kAlpha, L"Alpha", 16).App(kBeta, L"Beta", 1);
    const std::vector<Command> commands = {
        {{L"application", L"getIdList"}, two},
        {{L"application", L"remove", L"all"}, two},
        {{L"application", L"stop", L"all"}, two},
    };
    // A list with ids that are no strings could not be fetched: nothing is listed, and all finds nothing.
    const std::vector<ShapeRow> rows = {
        {"empty", Each(3, kMismatch, kTypeMismatch)},
        {"scalar", Each(3, kMismatch, kTypeMismatch)},
        {"noArray", Each(3, kMismatch, kTypeMismatch)},
        {"short", Each(3, kOutsideTheArray, kBadIndex)},
        {"wrongTypes", {{"", kTypeMismatch}, {kNothingToRemove, 0}, {kNothingToStop, 0}}},
        {"nullStrings", {{"", kTypeMismatch}, {kNothingToRemove, 0}, {kNothingToStop, 0}}},
        {"lowerBound1", Each(3, kOutsideTheArray, kBadIndex)},
        {"countTooLarge", Each(3, kOutsideTheArray, kBadIndex)},
    };
    RunMatrix("GetApplicationList", commands, rows);
}

TEST_F(ReplyMatrix, GetApplicationProperties) {
    const std::wstring alpha = kAlpha;
    const Scenario mounted = Scenario().Client(4).App(kAlpha, L"Alpha", 16);
    const std::vector<Command> commands = {
        {{L"application", L"start", alpha}, mounted},
        {{L"application", L"stop", alpha}, Scenario().Client(4).App(kAlpha, L"Alpha", 64)},
        {{L"application", L"remove", alpha}, mounted},
        {{L"application", L"run-cmd", alpha, L"tool.exe"}, mounted},
        {{L"application", L"add", m_alpha.Path()}, Scenario().Client(4)},
    };
    const std::string added = ".\nAppName: [Alpha]\nAppGuid: [" + kA + "]\n";
    const std::string adding = "Adding application... Success";
    const auto ladder = [](const std::string& outcome, DWORD exitCode, const std::string& name) {
        return std::vector<Expect>{
            {"Starting application [" + name + "]... " + outcome, exitCode},
            {"Stopping application [" + name + "]... " + outcome, exitCode},
            {"Removing application [" + name + "]... " + outcome, exitCode},
            {"Running command for application [" + name + "]... " + outcome, exitCode},
        };
    };
    const auto with = [](std::vector<Expect> expected, Expect add) {
        expected.push_back(std::move(add));
        return expected;
    };
    // wrongTypes reads the state as 7: a step that a mounted (or running) application refuses. The name
    // and the reboot flag are no string and no VARIANT_TRUE there, so the guid stands in for the name
    // and no reboot is shown.
    const std::vector<ShapeRow> rows = {
        {"empty", with(Each(4, kMismatch, kTypeMismatch), {adding + kMismatch, kTypeMismatch})},
        {"scalar", with(Each(4, kMismatch, kTypeMismatch), {adding + kMismatch, kTypeMismatch})},
        {"noArray", with(Each(4, kMismatch, kTypeMismatch), {adding + kMismatch, kTypeMismatch})},
        {"short", with(Each(4, kOutsideTheArray, kBadIndex), {adding + kOutsideTheArray, kBadIndex})},
        {"wrongTypes", with(ladder("Failed.\n", kInvalidState, kA), {adding + added, 0})},
        {"nullStrings", with(ladder("Success.\n", 0, kA), {adding + " (Requires Reboot)" + added, 0})},
        {"lowerBound1", with(Each(4, kOutsideTheArray, kBadIndex), {adding + kOutsideTheArray, kBadIndex})},
        {"countTooLarge", with(ladder("Success.\n", 0, "Alpha"), {adding + " (Requires Reboot)" + added, 0})},
    };
    RunMatrix("GetApplicationProperties", commands, rows);
}

TEST_F(ReplyMatrix, GetCacheLocation) {
    const Scenario cache = Scenario().Client(4).Admin(true).Cache(kCacheFolder, 2048);
    const std::vector<Command> commands = {
        {{L"cache", L"size"}, cache},
        {{L"cache", L"size", L"4096"}, cache},
        {{L"cache", L"location"}, cache},
        {{L"cache", L"location", L"C:\\windows"}, cache},
    };
    const std::string size = "Changing cache size... ";
    const std::string location = "Changing cache location... ";
    // A settings array that does not hold what it should goes back whole and the service refuses it.
    const std::vector<ShapeRow> rows = {
        {"empty", Each(4, kMismatch, kTypeMismatch)},
        {"scalar", Each(4, kMismatch, kTypeMismatch)},
        {"noArray", Each(4, kMismatch, kTypeMismatch)},
        {"short",
         {{kOutsideTheArray, kBadIndex},
          {size + kOutsideTheArray, kBadIndex},
          {kOutsideTheArray, kBadIndex},
          {location + kOutsideTheArray, kBadIndex}}},
        {"wrongTypes",
         {{"7\n", 0},
          {size + "Failed.\n", kTypeMismatch},
          {std::string("\n") + kMismatch, kTypeMismatch},
          {location + "Failed.\n", kInvalidArgument}}},
        {"nullStrings",
         {{"2048\n", 0},
          {size + "Failed.\n", kInvalidArgument},
          {std::string("\n") + kMismatch, kTypeMismatch},
          {location + "Success.\n", 0}}},
        {"lowerBound1", Each(4, kOutsideTheArray, kBadIndex)},
        {"countTooLarge",
         {{"2048\n", 0}, {size + "Success.\n", 0}, {"C:\\PlenumCache\n", 0}, {location + "Success.\n", 0}}},
    };
    RunMatrix("GetCacheLocation", commands, rows);
}

TEST_F(ReplyMatrix, GetMultiSourceFileInfo) {
    const std::vector<Command> commands = {
        {{L"cache", L"multisource", L"getInfo", kAlpha},
         Scenario()
             .App(kAlpha, L"Alpha", 1)
             .Multisource(kAlpha, L"C:\\src\\a.stc", L"C:\\PlenumCache\\a.stc")},
    };
    const std::string heading = "Getting multisource file info...Success.\nMultiSourceFileInfo: \n";
    const std::string epoch = " - 12/30/1899 00:00:00 \n";
    const std::string paths = "Application GUID - " + kA + "\nSource Path - C:\\src\\a.stc\n" +
                              "Local Path - C:\\PlenumCache\\a.stc\n";
    const std::string numbers = "Size - 0\nMax Size - 0\n";
    const std::string noStrings = "Application GUID - \nSource Path - \nLocal Path - \n";
    const std::vector<ShapeRow> rows = {
        {"empty", {{heading + kMismatch, kTypeMismatch}}},
        {"scalar", {{heading + kMismatch, kTypeMismatch}}},
        {"noArray", {{heading + kMismatch, kTypeMismatch}}},
        {"short", {{heading + paths + numbers + "Start Time" + epoch + kOutsideTheArray, kBadIndex}}},
        // The numbers are read through their value fields, whatever the element holds.
        {"wrongTypes",
         {{heading + noStrings + "Size - 7\nMax Size - 7\nStart Time" + epoch + "Finish Time" + epoch +
               kMismatch,
           kTypeMismatch}}},
        {"nullStrings",
         {{heading + noStrings + numbers + "Start Time" + epoch + "Finish Time" + epoch + kMismatch,
           kTypeMismatch}}},
        {"lowerBound1", {{heading + kOutsideTheArray, kBadIndex}}},
        {"countTooLarge", {{heading + paths + numbers + "Start Time" + epoch + "Finish Time" + epoch, 0}}},
    };
    RunMatrix("GetMultiSourceFileInfo", commands, rows);
}

TEST_F(ReplyMatrix, GetMultiSourceFileIdList) {
    const std::vector<Command> commands = {
        {{L"cache", L"multisource", L"getIdList"},
         Scenario()
             .Multisource(kAlpha, L"C:\\a.stc", L"C:\\a.stc")
             .Multisource(kBeta, L"C:\\b.stc", L"C:\\b.stc")},
    };
    const std::string heading = "Getting multisource file id list...Success.\nMultiSourceFileIdList: \n";
    const std::string both = heading + "1 - " + kA + "\n2 - " + kB + "\n";
    // The array's bounds alone decide what is printed; an id that is no string prints as empty and fails
    // the command.
    const std::vector<ShapeRow> rows = {
        {"empty", {{heading + kMismatch, kTypeMismatch}}},
        {"scalar", {{heading + kMismatch, kTypeMismatch}}},
        {"noArray", {{heading + "Emtpy\n", 0}}},
        {"short", {{heading + "1 - " + kA + "\n", 0}}},
        {"wrongTypes", {{heading + "1 - \n2 - \n" + kMismatch, kTypeMismatch}}},
        {"nullStrings", {{heading + "1 - \n2 - \n" + kMismatch, kTypeMismatch}}},
        {"lowerBound1", {{both, 0}}},
        {"countTooLarge", {{both, 0}}},
    };
    RunMatrix("GetMultiSourceFileIdList", commands, rows);
}

} // namespace
} // namespace quillet::testing::reliability
