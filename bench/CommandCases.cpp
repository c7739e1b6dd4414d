#include "CommandCases.h"

#include "service/ServiceContract.h"
#include "win32/Utf8.h"

#include <strsafe.h>

namespace quillet::bench {

namespace {

// How many applications the list and "all" commands of the catalogue find.
constexpr int kFew = 3;

// Above this, a command is too slow for a script that drives many of them.
constexpr double kLargeTokenLimitMs = 1000;
constexpr double kRemoveAmongLimitMs = 2000;

// The benchmark's own application guids and names, numbered from 1.
std::wstring BenchGuid(int number) {
    wchar_t guid[40];
    StringCchPrintfW(guid, std::size(guid), L"{B0000000-0000-4000-8000-%012X}",
                     static_cast<unsigned>(number));
    return guid;
}

std::wstring BenchName(int number) {
    return L"Bench App " + std::to_wstring(number);
}

// What the emulator holds before one sample of a command, so that every sample of it does the same work:
// the client started with applications initialised (what a script usually finds), and the administrator
// answer fixed to yes, so that the machine's own check never decides anything.
testing::Scenario Defaults() {
    return testing::Scenario().Client(kClientApplicationsInitialized).Admin(true);
}

// The defaults with applications 1 to count, all in the given state.
testing::Scenario WithApplications(int count, int state) {
    testing::Scenario scenario = Defaults();
    for (int number = 1; number <= count; ++number) {
        scenario.App(BenchGuid(number), BenchName(number), state);
    }
    return scenario;
}

std::string ListLine(int number) {
    return std::to_string(number) + " - " + ToUtf8(BenchGuid(number));
}

testing::Scenario WithMultisourceFiles(int count, const std::wstring& sourcePath) {
    testing::Scenario scenario = WithApplications(count, APP_STATE_ADDED);
    for (int number = 1; number <= count; ++number) {
        // Registered where it lies, so that deleting the entry deletes no file.
        scenario.Multisource(BenchGuid(number), sourcePath, sourcePath);
    }
    return scenario;
}

testing::Scenario WithClient(int clientState) {
    return Defaults().Client(clientState);
}

CommandCase Case(std::string label, std::string situation, std::optional<testing::Scenario> scenario,
                 std::vector<std::wstring> args, std::string expectedOutput, DWORD expectedExitCode = S_OK,
                 int applications = 0, double limitMs = 0) {
    return {std::move(label),
            std::move(situation),
            std::move(args),
            std::move(scenario),
            expectedExitCode,
            std::move(expectedOutput),
            applications,
            limitMs,
            {}};
}

// The copy goes into the benchmark's own folder, and each sample starts without the last one's copy.
CommandCase MultisourceAddCase(const BenchFiles& files, testing::Scenario scenario) {
    CommandCase add = Case("cache multisource add", "1 application, no file", std::move(scenario),
                           {L"cache", L"multisource", L"add",
                            BenchGuid(1) + L"|" + files.sourcePath + L"|" + files.cacheFolder + L"|FALSE"},
                           "Adding multisource file...Success.");
    add.leftover = files.cacheFolder + files.sourcePath.substr(files.sourcePath.rfind(L'\\'));
    return add;
}

} // namespace

std::vector<CommandCase> CommandCatalogue(const BenchFiles& files) {
    const std::wstring guid = BenchGuid(1);
    const std::string name = ToUtf8(BenchName(1));
    const std::string last = ToUtf8(BenchName(kFew));
    const auto one = [](int state) { return WithApplications(1, state); };
    const auto few = [](int state) { return WithApplications(kFew, state); };
    return {
        Case("-h", "", std::nullopt, {L"-h"}, "SYNTAX:"),
        Case("apps (a wrong command line)", "", std::nullopt, {L"apps"}, "Error: invalid arguments entered.",
             static_cast<DWORD>(E_INVALIDARG)),
        Case("application add <token file>", "no application", Defaults(),
             {L"application", L"add", files.tokenPath}, "AppName: [Bench Token App]"),
        Case("application remove <guid>", "mounted (16)", one(APP_STATE_MOUNTED),
             {L"application", L"remove", guid}, "Removing application [" + name + "]... Success."),
        Case("application start <guid>", "added (1)", one(APP_STATE_ADDED), {L"application", L"start", guid},
             "Starting application [" + name + "]... Success."),
        Case("application stop <guid>", "running (64)", one(APP_STATE_RUNNING),
             {L"application", L"stop", guid}, "Stopping application [" + name + "]... Success."),
        Case("application run-cmd <guid> <exe>", "mounted (16)", one(APP_STATE_MOUNTED),
             {L"application", L"run-cmd", guid, L"C:\\Bench\\tool.exe"},
             "Running command for application [" + name + "]... Success."),
        Case("application getIdList", "3 applications", few(APP_STATE_ADDED), {L"application", L"getIdList"},
             ListLine(kFew)),
        Case("application remove all", "3 added (1)", few(APP_STATE_ADDED),
             {L"application", L"remove", L"all"}, "Removing application [" + last + "]... Success."),
        Case("application stop all", "3 running (64)", few(APP_STATE_RUNNING),
             {L"application", L"stop", L"all"}, "Stopping application [" + last + "]... Success."),
        Case("cache size", "defaults", Defaults(), {L"cache", L"size"}, "2048"),
        Case("cache size 4096", "defaults", Defaults(), {L"cache", L"size", L"4096"},
             "Changing cache size... Success."),
        Case("cache location", "defaults", Defaults(), {L"cache", L"location"}, "PlenumEmulator\\Cache"),
        Case("cache location <folder>", "defaults", Defaults(), {L"cache", L"location", files.cacheFolder},
             "Changing cache location... Success."),
        Case("cache clear", "defaults", Defaults(), {L"cache", L"clear"}, "Cache successfully cleared!"),
        MultisourceAddCase(files, one(APP_STATE_ADDED)),
        Case("cache multisource delete", "1 file", WithMultisourceFiles(1, files.sourcePath),
             {L"cache", L"multisource", L"delete", guid}, "Deleting multisource file...Success."),
        Case("cache multisource getInfo", "1 file", WithMultisourceFiles(1, files.sourcePath),
             {L"cache", L"multisource", L"getInfo", guid}, "Application GUID - " + ToUtf8(guid)),
        Case("cache multisource getIdList", "3 files", WithMultisourceFiles(kFew, files.sourcePath),
             {L"cache", L"multisource", L"getIdList"}, ListLine(kFew)),
        Case("client start", "client stopped", WithClient(kClientStopped), {L"client", L"start"}, ""),
        Case("client stop", "client started", WithClient(kClientApplicationsInitialized),
             {L"client", L"stop"}, ""),
    };
}

CommandCase IdListCase(int count) {
    return Case("application getIdList", std::to_string(count) + " applications",
                WithApplications(count, APP_STATE_ADDED), {L"application", L"getIdList"}, ListLine(count),
                S_OK, count);
}

CommandCase RemoveAllCase(int count) {
    return Case("application remove all", std::to_string(count) + " added (1)",
                WithApplications(count, APP_STATE_ADDED), {L"application", L"remove", L"all"},
                "Removing application [" + ToUtf8(BenchName(count)) + "]... Success.", S_OK, count);
}

CommandCase LargeTokenCase(const BenchFiles& files) {
    return Case("application add <token file>",
                std::to_string(files.largeTokenBytes / 1000) + " KB token, " +
                    std::to_string(kLargeTokenKeys) + " keys",
                Defaults(), {L"application", L"add", files.largeTokenPath}, "AppName: [Bench Large Token]",
                S_OK, 0, kLargeTokenLimitMs);
}

CommandCase RemoveAmongCase(int count) {
    // The last one: a service that looks its applications up one by one takes longest for it.
    return Case("application remove <guid>", std::to_string(count) + " added (1)",
                WithApplications(count, APP_STATE_ADDED), {L"application", L"remove", BenchGuid(count)},
                "Removing application [" + ToUtf8(BenchName(count)) + "]... Success.", S_OK, count,
                kRemoveAmongLimitMs);
}

} // namespace quillet::bench
