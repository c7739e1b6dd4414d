#include "CommandCases.h"

#include "win32/Utf8.h"

namespace quillet::bench {

namespace {

constexpr DWORD kInvalidArguments = 0x80070057;

constexpr int kAdded = 1;
constexpr int kMounted = 16;
constexpr int kRunning = 64;
constexpr int kClientStopped = 0;
constexpr int kClientStarted = 4;

// How many applications the list and "all" commands of the catalogue find.
constexpr int kFew = 3;

std::string Narrow(const std::wstring& text) {
    return ToUtf8(text);
}

std::string ListLine(int number) {
    return std::to_string(number) + " - " + Narrow(BenchGuid(number));
}

testing::Scenario WithMultisourceFiles(int count, const std::wstring& sourcePath) {
    testing::Scenario scenario = WithApplications(count, kAdded);
    for (int number = 1; number <= count; ++number) {
        // Registered where it lies, so that deleting the entry deletes no file.
        scenario.Multisource(BenchGuid(number), sourcePath, sourcePath);
    }
    return scenario;
}

testing::Scenario WithClient(int clientState) {
    return Defaults().Client(clientState);
}

} // namespace

std::vector<CommandCase> CommandCatalogue(const BenchFiles& files) {
    const std::wstring guid = BenchGuid(1);
    const std::string name = Narrow(BenchName(1));
    const std::string last = Narrow(BenchName(kFew));
    std::vector<CommandCase> cases;
    cases.push_back({"-h", "", {L"-h"}, std::nullopt, S_OK, "SYNTAX:"});
    cases.push_back({"apps (a wrong command line)",
                     "",
                     {L"apps"},
                     std::nullopt,
                     kInvalidArguments,
                     "Error: invalid arguments entered."});
    cases.push_back({"application add <token file>",
                     "no application",
                     {L"application", L"add", files.tokenPath},
                     Defaults(),
                     S_OK,
                     "AppName: [Bench Token App]"});
    cases.push_back({"application remove <guid>",
                     "mounted (16)",
                     {L"application", L"remove", guid},
                     WithApplications(1, kMounted),
                     S_OK,
                     "Removing application [" + name + "]... Success."});
    cases.push_back({"application start <guid>",
                     "added (1)",
                     {L"application", L"start", guid},
                     WithApplications(1, kAdded),
                     S_OK,
                     "Starting application [" + name + "]... Success."});
    cases.push_back({"application stop <guid>",
                     "running (64)",
                     {L"application", L"stop", guid},
                     WithApplications(1, kRunning),
                     S_OK,
                     "Stopping application [" + name + "]... Success."});
    cases.push_back({"application run-cmd <guid> <exe>",
                     "mounted (16)",
                     {L"application", L"run-cmd", guid, L"C:\\Bench\\tool.exe"},
                     WithApplications(1, kMounted),
                     S_OK,
                     "Running command for application [" + name + "]... Success."});
    cases.push_back({"application getIdList",
                     "3 applications",
                     {L"application", L"getIdList"},
                     WithApplications(kFew, kAdded),
                     S_OK,
                     ListLine(kFew)});
    cases.push_back({"application remove all",
                     "3 added (1)",
                     {L"application", L"remove", L"all"},
                     WithApplications(kFew, kAdded),
                     S_OK,
                     "Removing application [" + last + "]... Success."});
    cases.push_back({"application stop all",
                     "3 running (64)",
                     {L"application", L"stop", L"all"},
                     WithApplications(kFew, kRunning),
                     S_OK,
                     "Stopping application [" + last + "]... Success."});
    cases.push_back({"cache size", "defaults", {L"cache", L"size"}, Defaults(), S_OK, "2048"});
    cases.push_back({"cache size 4096",
                     "defaults",
                     {L"cache", L"size", L"4096"},
                     Defaults(),
                     S_OK,
                     "Changing cache size... Success."});
    cases.push_back(
        {"cache location", "defaults", {L"cache", L"location"}, Defaults(), S_OK, "PlenumEmulator\\Cache"});
    cases.push_back({"cache location <folder>",
                     "defaults",
                     {L"cache", L"location", files.cacheFolder},
                     Defaults(),
                     S_OK,
                     "Changing cache location... Success."});
    cases.push_back(
        {"cache clear", "defaults", {L"cache", L"clear"}, Defaults(), S_OK, "Cache successfully cleared!"});
    cases.push_back({"cache multisource add",
                     "1 application, no file",
                     {L"cache", L"multisource", L"add", guid + L"|" + files.sourcePath + L"| |FALSE"},
                     WithApplications(1, kAdded),
                     S_OK,
                     "Adding multisource file...Success."});
    cases.push_back({"cache multisource delete",
                     "1 file",
                     {L"cache", L"multisource", L"delete", guid},
                     WithMultisourceFiles(1, files.sourcePath),
                     S_OK,
                     "Deleting multisource file...Success."});
    cases.push_back({"cache multisource getInfo",
                     "1 file",
                     {L"cache", L"multisource", L"getInfo", guid},
                     WithMultisourceFiles(1, files.sourcePath),
                     S_OK,
                     "Application GUID - " + Narrow(guid)});
    cases.push_back({"cache multisource getIdList",
                     "3 files",
                     {L"cache", L"multisource", L"getIdList"},
                     WithMultisourceFiles(kFew, files.sourcePath),
                     S_OK,
                     ListLine(kFew)});
    cases.push_back(
        {"client start", "client stopped", {L"client", L"start"}, WithClient(kClientStopped), S_OK, ""});
    cases.push_back(
        {"client stop", "client started", {L"client", L"stop"}, WithClient(kClientStarted), S_OK, ""});
    return cases;
}

CommandCase IdListCase(int count) {
    return {"application getIdList",
            std::to_string(count) + " applications",
            {L"application", L"getIdList"},
            WithApplications(count, kAdded),
            S_OK,
            ListLine(count)};
}

CommandCase RemoveAllCase(int count) {
    return {"application remove all",
            std::to_string(count) + " added (1)",
            {L"application", L"remove", L"all"},
            WithApplications(count, kAdded),
            S_OK,
            "Removing application [" + Narrow(BenchName(count)) + "]... Success."};
}

} // namespace quillet::bench
