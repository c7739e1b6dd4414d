// Text that a format, a shell or a code page could take for something else, and arguments as long as a
// command line allows, given as guids, paths, URLs, launch parameters and multisource strings: it reaches
// the service unchanged, prints literally, and never makes a trace line overrun its buffer.
#include "Emulator.h"
#include "Files.h"
#include "RunChecks.h"
#include "Codes.h"
#include "common/CommandLine.h"

#include <gtest/gtest.h>

namespace quillet::testing::reliability {
namespace {

// Conversions, quotes, backslashes (one before a quote, one at the end), a separator, wildcards, Latin,
// Cyrillic and CJK letters, and a character above U+FFFF.
const std::wstring kHostile = L"%s%n%x \"q\\\" |*? caf\u00e9 \u0416 \u4e2d \U0001F600\\";
// The same without the multisource separator, for one multisource field.
const std::wstring kField = L"%s%n%x \"q\\\" *? caf\u00e9 \u0416 \U0001F600\\";
// The same without what a file name cannot hold.
const std::wstring kFileName = L"%s%n%x caf\u00e9 \u0416 \U0001F600";

// A command line holds 32,767 characters with its terminator.
constexpr size_t kLongestCommandLine = 32766;

// The arguments of every call of Interface.Method, in order.
std::vector<nlohmann::ordered_json> ArgumentsOf(std::string_view method) {
    std::vector<nlohmann::ordered_json> calls;
    for (const nlohmann::ordered_json& line : emulator::ReadJournal()) {
        if (line.contains("method") &&
            line.at("interface").get<std::string>() + "." + line.at("method").get<std::string>() == method) {
            calls.push_back(line.at("args"));
        }
    }
    return calls;
}

std::string Argument(std::string_view method, size_t index) {
    const std::vector<nlohmann::ordered_json> calls = ArgumentsOf(method);
    EXPECT_EQ(calls.size(), 1u) << method;
    if (calls.size() != 1 || calls[0].size() <= index) {
        return "(not called)";
    }
    const nlohmann::ordered_json& argument = calls[0][index];
    return argument.is_string() ? argument.get<std::string>() : argument.dump();
}

// The text that SetCacheSettings was handed as the location (element 3 of the array).
std::string LocationSent() {
    const std::vector<nlohmann::ordered_json> calls = ArgumentsOf("IStreamingCache.SetCacheSettings");
    if (calls.size() != 1) {
        return "(not called)";
    }
    return calls[0].at(0).at(3).at("value").get<std::string>();
}

std::string JsonText(const std::wstring& text) {
    return nlohmann::ordered_json(ToUtf8(text)).dump();
}

class HostileInput : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(emulator::EnsureResident(), S_OK);
        emulator::ClearJournal();
    }

    // Runs Quillet and checks what holds for any input: the output is what was expected, encoded as the
    // console's code page has it, and no trace line is longer than its buffer.
    RunResult Run(const std::vector<std::wstring>& args, const std::wstring& output) {
        const RunResult result = testing::Run(args);
        EXPECT_EQ(result.output, ConsoleBytes(output));
        EXPECT_LE(LongestTraceLine(result), kLongestTraceLine);
        return result;
    }

    static void ExpectTraced(const RunResult& result, const std::wstring& message) {
        const std::vector<std::wstring> messages = result.trace;
        EXPECT_NE(std::find(messages.begin(), messages.end(), AsTraced(message)), messages.end())
            << ToUtf8(message);
    }
};

TEST_F(HostileInput, GuidReachesTheServiceAndPrintsLiterally) {
    // The service knows an application by the hostile text, and calls it by it too.
    Scenario().Client(4).App(kHostile, kHostile, 16).Write();
    const RunResult result =
        Run({L"application", L"start", kHostile}, L"Starting application [" + kHostile + L"]... Success.\n");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(Argument("IStreamingApplication.StartApplication", 0), ToUtf8(kHostile));
    ExpectTraced(result, L"Querying app =<" + kHostile + L"> returns with status 16.\n");
    ExpectTraced(result, L"Modifying app =<" + kHostile + L"> from [16] to [64] succeeded.\n");
}

TEST_F(HostileInput, PathsReachTheServiceAndPrintLiterally) {
    const std::wstring token = TempPath(kFileName + L".tok");
    WriteBytes(token, R"({"name":)" + JsonText(kHostile) + R"(,"guid":")" + ToUtf8(kAlpha) + R"("})");
    Scenario().Client(4).Cache(kHostile, 2048).Write();
    RunResult result =
        Run({L"application", L"add", token},
            L"Adding application... Success.\nAppName: [" + kHostile + L"]\nAppGuid: [" + kAlpha + L"]\n");
    DeleteFileW(token.c_str());
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(Argument("IStreamingApplication.AddApplication", 0), ToUtf8(token));

    result = Run({L"cache", L"location"}, kHostile + L"\n");
    EXPECT_EQ(result.exitCode, 0u);

    // A wildcard stays what it is: no file names take its place.
    emulator::ClearJournal();
    Scenario().Client(4).Admin(true).Write();
    result = Run({L"cache", L"location", L"C:\\windows\\*"}, L"Changing cache location... Failed.\n");
    EXPECT_NE(result.exitCode, 0u);
    EXPECT_EQ(LocationSent(), "C:\\windows\\*");

    emulator::ClearJournal();
    result = Run({L"cache", L"location", kHostile}, L"Changing cache location... Failed.\n");
    EXPECT_NE(result.exitCode, 0u);
    EXPECT_EQ(LocationSent(), ToUtf8(kHostile));
}

TEST_F(HostileInput, UrlReachesTheServiceUnchanged) {
    // Nothing listens on port 1: the service refuses at once.
    const std::wstring url = L"http://127.0.0.1:1/" + kHostile;
    Scenario().Client(4).Write();
    const RunResult result = Run({L"application", L"add", url}, L"Adding application... Failed\n");
    EXPECT_NE(result.exitCode, 0u);
    EXPECT_EQ(Argument("IStreamingApplication.AddApplication", 0), ToUtf8(url));
    EXPECT_EQ(Argument("IStreamingApplication.AddApplication", 1), "-1");
}

TEST_F(HostileInput, ParametersReachTheServiceQuotedAndTraceLiterally) {
    // The service refuses both calls, so that the texts show in their failure traces.
    Scenario()
        .Client(4)
        .App(kAlpha, L"Alpha", 16)
        .Fault("StartApplicationWithParameters", kInvalidArgument)
        .Fault("RunApplicationCommand", kInvalidArgument)
        .Write();
    const std::wstring quoted = L"\"" + kHostile + L"\" \"" + kField + L"\"";
    RunResult result = Run({L"application", L"start", kAlpha, kHostile, kField},
                           L"Starting application [Alpha]... Failed.\n");
    EXPECT_EQ(result.exitCode, kInvalidArgument);
    EXPECT_EQ(Argument("IStreamingApplication.StartApplicationWithParameters", 1), ToUtf8(quoted));
    ExpectTraced(result, std::wstring(L"Failed to start Application <") + kAlpha + L"> with parameters <" +
                             quoted + L"> [87].\n");

    result = Run({L"application", L"run-cmd", kAlpha, kHostile, kField, kHostile},
                 L"Running command for application [Alpha]... Failed.\n");
    EXPECT_EQ(result.exitCode, kInvalidArgument);
    EXPECT_EQ(ArgumentsOf("IStreamingApplication.RunApplicationCommand").at(0).dump(),
              "[" + JsonText(kAlpha) + "," + JsonText(kHostile) + "," + JsonText(kField) + "," +
                  JsonText(L"\"" + kHostile + L"\"") + R"(,"",""])");
    ExpectTraced(result, std::wstring(L"Failed to run command on Application <") + kAlpha +
                             L"> with exe path <" + kHostile + L">, working dir <" + kField +
                             L">, parameters <\"" + kHostile + L"\"> [87].\n");
}

TEST_F(HostileInput, MultisourceStringsReachTheServiceSplitAndPrintLiterally) {
    Scenario().Client(4).App(kField, L"Field", 1).Multisource(kField, kField, kHostile).Write();
    // The fields are split at every separator, the hostile text's own included, and trimmed.
    RunResult result = Run({L"cache", L"multisource", L"add", L" " + kField + L" |" + kHostile + L"|TRUE"},
                           L"Adding multisource file...Failed.\n");
    EXPECT_NE(result.exitCode, 0u);
    const size_t separator = kHostile.find(L'|');
    EXPECT_EQ(ArgumentsOf("IStreamingCache.AddMultiSourceFile").at(0).dump(),
              "[" + JsonText(kField) + "," + JsonText(kHostile.substr(0, separator - 1)) + "," +
                  JsonText(kHostile.substr(separator + 1)) + ",-1]");

    emulator::ClearJournal();
    result = Run({L"cache", L"multisource", L"getInfo", kField},
                 L"Getting multisource file info...Success.\nMultiSourceFileInfo: \nApplication GUID - " +
                     kField + L"\nSource Path - " + kField + L"\nLocal Path - " + kHostile +
                     L"\nSize - 0\nMax Size - 0\nStart Time - 12/30/1899 00:00:00 \nFinish Time - 12/30/1899 "
                     L"00:00:00 \n");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(Argument("IStreamingCache.GetMultiSourceFileInfo", 0), ToUtf8(kField));

    // Untrimmed: the padded guid names no application that the service knows.
    emulator::ClearJournal();
    result =
        Run({L"cache", L"multisource", L"delete", L"  " + kField}, L"Deleting multisource file...Failed.\n");
    EXPECT_EQ(result.exitCode, 0x80070490u);
    EXPECT_EQ(Argument("IStreamingCache.DeleteMultiSourceFile", 0), ToUtf8(L"  " + kField));
}

// The longest command line that CreateProcess accepts: the arguments with filler, a run of pattern as
// long as it can be, at the place of the one empty argument text, between prefix and suffix.
struct LongArgument {
    std::vector<std::wstring> args;
    std::wstring filler;
};

std::wstring CommandLine(const std::vector<std::wstring>& args) {
    std::wstring line = tools::QuoteArgument(BinDirectory() + L"\\Quillet.exe");
    for (const std::wstring& arg : args) {
        line += L" " + tools::QuoteArgument(arg);
    }
    return line;
}

LongArgument Longest(std::vector<std::wstring> args, size_t at, const std::wstring& prefix,
                     const std::wstring& suffix, const std::wstring& pattern) {
    std::wstring filler;
    while (filler.size() < kLongestCommandLine) {
        filler += pattern;
    }
    for (;;) {
        args[at] = prefix + filler + suffix;
        const size_t length = CommandLine(args).size();
        if (length <= kLongestCommandLine) {
            break;
        }
        filler.resize(filler.size() - std::min(filler.size(), length - kLongestCommandLine));
        // Never half of a surrogate pair.
        if (!filler.empty() && IS_HIGH_SURROGATE(filler.back())) {
            filler.pop_back();
        }
    }
    while (CommandLine(args).size() < kLongestCommandLine) {
        filler.push_back(L'x');
        args[at] = prefix + filler + suffix;
    }
    return {args, filler};
}

TEST_F(HostileInput, LongestArgumentsReachTheServiceAndCutTheirTraceLines) {
    const std::wstring pattern = L"%s%n%x\u00e9\u0416\U0001F600";
    Scenario().Client(4).Admin(true).Write();

    // A guid: the service is asked for it, and the trace lines that carry it are cut at the buffer's end.
    LongArgument guid = Longest({L"application", L"start", L""}, 2, L"", L"", pattern);
    Scenario().Client(4).Admin(true).App(guid.args[2], L"Long", 16).Write();
    RunResult result = Run(guid.args, L"Starting application [Long]... Success.\n");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(Argument("IStreamingApplication.StartApplication", 0), ToUtf8(guid.args[2]));
    ASSERT_FALSE(result.traceLines.empty());
    for (const std::wstring& line : result.traceLines) {
        EXPECT_EQ(line.size(), kLongestTraceLine) << "a line with the guid is cut, not overrun";
        EXPECT_NE(line.back(), L'\n');
    }

    // A path.
    emulator::ClearJournal();
    const LongArgument path = Longest({L"cache", L"location", L""}, 2, L"C:\\", L"", pattern);
    result = Run(path.args, L"Changing cache location... Failed.\n");
    EXPECT_NE(result.exitCode, 0u);
    EXPECT_EQ(LocationSent(), ToUtf8(path.args[2]));

    // A URL.
    emulator::ClearJournal();
    const LongArgument url = Longest({L"application", L"add", L""}, 2, L"http://127.0.0.1:1/", L"", pattern);
    result = Run(url.args, L"Adding application... Failed\n");
    EXPECT_NE(result.exitCode, 0u);
    EXPECT_EQ(Argument("IStreamingApplication.AddApplication", 0), ToUtf8(url.args[2]));

    // Launch parameters, refused by the service so that they show in the trace.
    emulator::ClearJournal();
    Scenario()
        .Client(4)
        .App(kAlpha, L"Alpha", 16)
        .Fault("StartApplicationWithParameters", kInvalidArgument)
        .Write();
    const LongArgument parameters = Longest({L"application", L"start", kAlpha, L""}, 3, L"", L"", pattern);
    result = Run(parameters.args, L"Starting application [Alpha]... Failed.\n");
    EXPECT_EQ(result.exitCode, kInvalidArgument);
    EXPECT_EQ(Argument("IStreamingApplication.StartApplicationWithParameters", 1),
              ToUtf8(L"\"" + parameters.args[3] + L"\""));
    const std::wstring failed =
        std::wstring(L"Failed to start Application <") + kAlpha + L"> with parameters <\"";
    bool cut = false;
    for (const std::wstring& line : result.trace) {
        cut = cut || (line.starts_with(AsTraced(failed)) &&
                      line.size() + kTracePrefixLength == kLongestTraceLine && line.back() != L'\n');
    }
    EXPECT_TRUE(cut) << "the failure line is cut at the buffer's end";

    // A multisource string.
    emulator::ClearJournal();
    Scenario().Client(4).App(kAlpha, L"Alpha", 1).Write();
    const LongArgument multisource = Longest({L"cache", L"multisource", L"add", L""}, 3,
                                             std::wstring(kAlpha) + L"|C:\\", L"| |FALSE", pattern);
    result = Run(multisource.args, L"Adding multisource file...Failed.\n");
    EXPECT_NE(result.exitCode, 0u);
    EXPECT_EQ(ArgumentsOf("IStreamingCache.AddMultiSourceFile").at(0).dump(),
              "[" + JsonText(kAlpha) + "," + JsonText(L"C:\\" + multisource.filler) + R"(,"",0])");
}

// One character more than a command line holds never reaches Quillet whole. Windows refuses to start
// the process; Wine starts it with the command line cut at the limit, so that the argument arrives
// without its last character.
TEST_F(HostileInput, ArgumentOneCharacterTooLongNeverArrivesWhole) {
    Scenario().Client(4).Admin(true).Write();
    const LongArgument longest = Longest({L"cache", L"location", L""}, 2, L"C:\\", L"", L"x");
    std::wstring line = CommandLine(longest.args) + L"y";
    ASSERT_EQ(line.size(), kLongestCommandLine + 1);
    const HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    PROCESS_INFORMATION process = {};
    const std::wstring program = BinDirectory() + L"\\Quillet.exe";
    const BOOL created = CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
    const DWORD error = GetLastError();
    if (created) {
        WaitForSingleObject(process.hProcess, 30000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(nul);
    if (RunningUnderWine()) {
        EXPECT_TRUE(created);
        EXPECT_EQ(LocationSent(), ToUtf8(longest.args[2]));
    } else {
        EXPECT_FALSE(created);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE));
        EXPECT_TRUE(ArgumentsOf("IStreamingCache.SetCacheSettings").empty());
    }
}

} // namespace
} // namespace quillet::testing::reliability
