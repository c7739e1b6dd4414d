// The cache and client commands against the emulator: what each prints, its exit code, the service calls
// it makes (with their arguments for the cache object, where the parsed values show) and its trace.
#include "Files.h"
#include "Row.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace quillet::testing {
namespace {

using Calls = std::vector<std::string>;
using Trace = std::vector<std::wstring>;
using Args = std::vector<std::wstring>;

const CallFilter kCache = {{"IStreamingCache"}, true};
const CallFilter kClient = {{"IStreamingClient"}};

// Most runs end in well under 2 s; a hang should fail its row, not the whole program.
Row R(std::string name, std::optional<Scenario> scenario, Args args, std::string output, DWORD code,
      Calls calls, CallFilter only = kCache, std::optional<Trace> trace = {}) {
    return {std::move(name),  std::move(scenario), std::move(args),  std::move(output),   code, "",
            std::move(calls), std::move(only),     std::move(trace), {.timeoutMs = 20000}};
}

// The cache object's life around the calls of one command (given without the interface's name).
Calls CacheCalls(const Calls& calls, bool uninitialize) {
    return Life("IStreamingCache", calls, {.arguments = true, .uninitialize = uninitialize});
}

// How the call view ends a failed call's line.
std::string Failure(DWORD code) {
    char text[16] = "";
    if (code != 0) {
        std::snprintf(text, sizeof text, " 0x%08lX", code);
    }
    return text;
}

std::string Json(std::wstring_view text) {
    return nlohmann::ordered_json(ToUtf8(text)).dump();
}

// Reading the settings and handing them back: as the emulator gave them (layout 1, 6 elements, 100 MB in
// use last) with the location's first character, the location and the size as the command wrote them.
Calls SettingsCalls(int first, std::wstring_view location, long long size, DWORD code) {
    return CacheCalls({"GetCacheLocation(0)",
                       R"(SetCacheSettings([{"vt":3,"value":1},{"vt":3,"value":6},{"vt":16,"value":)" +
                           std::to_string(first) + R"(},{"vt":8,"value":)" + Json(location) +
                           R"(},{"vt":3,"value":)" + std::to_string(size) + R"(},{"vt":3,"value":100}]))" +
                           Failure(code)},
                      false);
}

TEST(Cache, WrongWordsPrintOneMessageAndCallNothing) {
    const auto wrong = [](std::string name, Args args, const char* message) {
        args.insert(args.begin(), L"cache");
        return R(std::move(name), {}, std::move(args), message, kInvalidArgument, {}, {});
    };
    const auto ms = [&](std::string name, Args args) {
        args.insert(args.begin(), L"multisource");
        return wrong(std::move(name), std::move(args), kIncorrectNumber);
    };
    // clang-format off
    EXPECT_ROWS((std::vector<Row>{
        wrong("unknown word", {L"purge"}, kInvalidArguments),
        wrong("size with a unit", {L"size", L"2048", L"MB"}, kIncorrectNumber),
        wrong("location in two words", {L"location", L"C:\\Plenum", L"Cache"}, kIncorrectNumber),
        wrong("clear with a word", {L"clear", L"all"}, kIncorrectNumber),
        ms("multisource alone", {}),
        ms("unknown sub-command", {L"copy", L"x"}),
        ms("add without parameters", {L"add"}),
        ms("add with five fields", {L"add", L"a|b|c|TRUE|x"}),
        ms("delete without parameters", {L"delete"}),
        ms("delete with two fields", {L"delete", L"{G}|x"}),
        ms("getInfo without parameters", {L"getInfo"}),
        ms("getIdList with two values", {L"getIdList", L"TRUE|FALSE"}),
        ms("getIdList value is not trimmed", {L"getIdList", L" TRUE"}),
    }));
    // clang-format on
}
constexpr char kSizeSuccess[] = "Changing cache size... Success.\n";
constexpr char kSizeFailed[] = "Changing cache size... Failed.\n";
constexpr char kLocationSuccess[] = "Changing cache location... Success.\n";
constexpr char kLocationFailed[] = "Changing cache location... Failed.\n";

TEST(Cache, SettingsAreShownToAllAndChangedByAdministrators) {
    const Scenario user = Scenario().Admin(false).Cache(L"C:\\PlenumCache", 2048, 100);
    const Scenario admin = Scenario().Admin(true).Cache(L"C:\\PlenumCache", 2048, 100);
    const Scenario readFails = Scenario(admin).Fault("GetCacheLocation", 0x8007001F);
    const Calls show = CacheCalls({"GetCacheLocation(0)"}, false);
    const Calls readFailed = CacheCalls({"GetCacheLocation(0) 0x8007001F"}, false);
    const auto size = [&](std::wstring text, std::string output, DWORD code, long long sent) {
        return R("size " + ToUtf8(text), admin, {L"cache", L"size", text}, output, code,
                 SettingsCalls('C', L"C:\\PlenumCache", sent, code));
    };
    const auto location = [&](std::wstring text, std::string output, DWORD code, int first) {
        return R("location " + ToUtf8(text), admin, {L"cache", L"location", text}, output, code,
                 SettingsCalls(first, text, 2048, code));
    };
    // The client is brought up first; the query's own object is released without Uninitialize. No cache
    // object follows a denial.
    const Calls adminQuery = {"+IStreamingClient",
                              "IStreamingClient.Initialize",
                              "IStreamingClient.StartClient",
                              "IStreamingClient.InitApplications",
                              "IStreamingClient.Uninitialize",
                              "-IStreamingClient",
                              "+IStreamingClient",
                              "IStreamingClient.Initialize",
                              "IStreamingClient.IsUserAdministrator",
                              "-IStreamingClient"};
    const Trace noClient = {L"Failed to Start Client COM. [16389]\n",
                            L"Cannot start Client to update Application status.\n"};
    // clang-format off
    EXPECT_ROWS((std::vector<Row>{
        R("show size as a user", user, {L"cache", L"size"}, "2048\n", 0, show),
        R("show location as a user", user, {L"cache", L"LOCATION"}, "C:\\PlenumCache\n", 0, show),
        R("change size as a user", user, {L"cache", L"size", L"4096"}, kNotAdministrator, kFail, adminQuery, {}),
        R("change location as a user", user, {L"cache", L"location", L"D:\\"}, kNotAdministrator, kFail, {}),
        R("no administrator without a client", Scenario(admin).Fault("StartClient", kFail),
          {L"cache", L"size", L"4096"}, kNotAdministrator, kFail, {}, kCache, noClient),
        size(L"4096", kSizeSuccess, 0, 4096),
        size(L"50", kSizeFailed, 0x80070070, 50),
        size(L"abc", kSizeFailed, 0x80070057, 0),
        size(L" +12MB", kSizeFailed, 0x80070070, 12),
        size(L"99999999999", kSizeSuccess, 0, 2147483647),
        size(L"-99999999999", kSizeFailed, 0x80070057, -2147483648LL),
        location(L"C:\\windows", kLocationSuccess, 0, 'C'),
        location(L"", kLocationFailed, 0x800700A1, 0),
        location(L" D:\\a b|c ", kLocationFailed, 0x800700A1, ' '),
        // Only the low byte of the first character, as a signed byte: 0x1E9 gives -23.
        location(L"\u01E9:\\Cache", kLocationFailed, 0x80070003, -23),
        R("size while the read fails", readFails, {L"cache", L"size", L"4096"}, kCacheReadFailed, 0x8007001F, readFailed),
        R("location while the read fails", readFails, {L"cache", L"location", L"D:\\"}, kCacheReadFailed, 0x8007001F,
          readFailed),
    }));
    // clang-format on
}

TEST(Cache, ClearIsForAdministratorsAndPassesTheServiceResultOn) {
    const Scenario admin = Scenario().Admin(true);
    // clang-format off
    EXPECT_ROWS((std::vector<Row>{
        R("cleared", Scenario(admin).Cache(L"C:\\PlenumCache", 2048, 500), {L"cache", L"Clear"},
          "Cache successfully cleared!\n", 0, CacheCalls({"ClearCache()"}, false)),
        R("user", Scenario().Admin(false), {L"cache", L"clear"},
          "Error: user is not an administrator. Operation cannot be executed.\n", kFail, {}),
        R("refused while an application runs", Scenario(admin).App(kAlpha, L"Alpha", 64), {L"cache", L"clear"},
          "Invalid operation: Cannot clear cache while working offline or having running apps.\n", 0x800700AA,
          CacheCalls({"ClearCache() 0x800700AA"}, false)),
        R("object not created", Scenario(admin).Fault("IStreamingCache.CreateInstance", 0x80080005),
          {L"cache", L"clear"}, "Error: failed to call CoCreateInstance().\n", 0x80080005,
          {"!IStreamingCache 0x80080005"}),
        R("initialize fails", Scenario(admin).Fault("IStreamingCache.Initialize", kAccessDenied), {L"cache", L"clear"},
          "Error: failed to intialize IStreamingCache object.\n", kAccessDenied,
          {"+IStreamingCache", "IStreamingCache.Initialize(pid) 0x80070005", "-IStreamingCache"}),
    }));
    // clang-format on
}

// The multisource commands need no administrator, hand the parsed fields to the service and always
// uninitialize the object they opened; add and delete end their output without a line end.
TEST(Cache, MultisourceRequestsAndAnswers) {
    const TempFolder files;
    const std::wstring source = files.File(L"payload.stc", "0123456789");
    const std::wstring folder = files.Folder(L"Destination");
    const Scenario apps =
        Scenario().App(kAlpha, L"Alpha", 0).App(kBeta, L"Beta", 0).Cache(files.Path(), 2048);
    const Scenario added = Scenario(apps).Multisource(kAlpha, source, source);
    const Scenario two = Scenario(apps)
                             .Multisource(kAlpha, L"\\\\server\\share\\p.stc", L"C:\\Cache\\p.stc",
                                          {{"size", 5000000000},
                                           {"maxSize", 6000000000},
                                           {"startTime", 0},
                                           {"finishTime", 45296.377164351851}})
                             .Multisource(kBeta, L"b", L"b", {{"finished", false}});
    const Scenario outOfCalendar =
        Scenario(apps).Multisource(kAlpha, L"s", L"l", {{"startTime", 1e9}, {"finishTime", -1e9}});
    const std::string alpha = Json(kAlpha);
    // The call's line ends with its failure, or with the malformed reply that the scenario asked for.
    const auto ms = [&](std::string name, Scenario scenario, Args args, std::string output, DWORD code,
                        std::string call, const char* shape = nullptr) {
        args.insert(args.begin(), {L"cache", L"multisource"});
        call += shape != nullptr ? std::string(" reply=") + shape : Failure(code);
        if (shape != nullptr) {
            scenario.Reply(call.substr(0, call.find('(')), shape);
        }
        return R(std::move(name), scenario, std::move(args), std::move(output), code,
                 CacheCalls({call}, true));
    };
    const auto add = [&](std::string name, const Scenario& scenario, std::wstring fields, std::string output,
                         DWORD code, std::string sent) {
        return ms(std::move(name), scenario, {L"add", fields}, output, code,
                  "AddMultiSourceFile(" + sent + ")");
    };
    const auto list = [&](std::string name, const Scenario& scenario, Args args, std::string output,
                          DWORD code, const char* sent, const char* shape = nullptr) {
        return ms(std::move(name), scenario, args, "Getting multisource file id list..." + output, code,
                  std::string("GetMultiSourceFileIdList(") + sent + ")", shape);
    };
    const auto info = [&](std::string name, const Scenario& scenario, std::string output, DWORD code,
                          const char* shape = nullptr) {
        return ms(std::move(name), scenario, {L"getinfo", kAlpha, L"x"},
                  "Getting multisource file info..." + output, code, "GetMultiSourceFileInfo(" + alpha + ")",
                  shape);
    };
    const std::string sent = alpha + "," + Json(source) + ",";
    constexpr char kAdded[] = "Adding multisource file...Success.";
    constexpr char kInfo[] = "Success.\nMultiSourceFileInfo: \nApplication GUID - ";
    constexpr char kListed[] = "Success.\nMultiSourceFileIdList: \n";
    const std::string kMismatch = "Error: unexpected failure 0x80020005.\n";
    const std::string alphaInfo = ToUtf8(kAlpha) +
                                  "\nSource Path - \\\\server\\share\\p.stc\n"
                                  "Local Path - C:\\Cache\\p.stc\nSize - 5000000000\nMax Size - 6000000000\n"
                                  "Start Time - 12/30/1899 00:00:00 \n";
    const std::string both = std::string(kListed) + "1 - " + ToUtf8(kAlpha) + "\n2 - " + ToUtf8(kBeta) + "\n";
    // clang-format off
    EXPECT_ROWS((std::vector<Row>{
        add("copy into a folder", apps, kAlpha + (L"|" + source + L"|" + folder + L"|FALSE"), kAdded, 0,
            sent + Json(folder) + ",0"),
        add("entry exists", added, kAlpha + (L"|" + source + L"|" + folder + L"|x"), kMultisourceAddFailed, kAlreadyExists,
            sent + Json(folder) + ",0"),
        add("overwrite in place", added, kAlpha + (L"|" + source + L"|" + source + L"|true"), kAdded, 0,
            sent + Json(source) + ",-1"),
        add("blank field is empty", apps, L"{G}|C:\\src.stc| |true", kMultisourceAddFailed, kNotFound,
            R"("{G}","C:\\src.stc","",-1)"),
        add("fields trimmed, separators collapse", apps, L"|| {G} |\ta b\t|| c |  TRUE |", kMultisourceAddFailed, kNotFound,
            R"("{G}","a b","c",-1)"),
        add("too few fields to set the flag", apps, L"{G}||C:\\dst|TRUE", kMultisourceAddFailed, kNotFound,
            R"("{G}","C:\\dst","TRUE",0)"),
        add("flag only for TRUE", apps, L"{G}|s|d|1", kMultisourceAddFailed, kNotFound, R"("{G}","s","d",0)"),
        add("lone separator", apps, L"|", kMultisourceAddFailed, kNotFound, R"("","","",0)"),
        ms("delete", added, {L"DELETE", kAlpha}, "Deleting multisource file...Success.", 0,
           "DeleteMultiSourceFile(" + alpha + ")"),
        ms("delete keeps blanks", added, {L"delete", L"  {G} "}, "Deleting multisource file...Failed.\n", kNotFound,
           R"(DeleteMultiSourceFile("  {G} "))"),
        // Dates: 0 is the calendar's first day; 45296.377... is 5 January 2024, 09:03:07.
        info("info", two, kInfo + alphaInfo + "Finish Time - 01/05/2024 09:03:07 \n", 0),
        info("info of a short reply", two, kInfo + alphaInfo + "Error: unexpected failure 0x8002000B.\n", kBadIndex,
             "short"),
        info("info of wrong types", two, std::string(kInfo) + "\nSource Path - \nLocal Path - \nSize - 7\n"
             "Max Size - 7\nStart Time - 12/30/1899 00:00:00 \nFinish Time - 12/30/1899 00:00:00 \n" + kMismatch,
             kTypeMismatch, "wrongTypes"),
        info("info of null strings and dates beyond the calendar", outOfCalendar, std::string(kInfo) +
             "\nSource Path - \nLocal Path - \nSize - 0\nMax Size - 0\nStart Time - -1/-1/-1 -1:-1:-1 \n"
             "Finish Time - -1/-1/-1 -1:-1:-1 \n" + kMismatch, kTypeMismatch, "nullStrings"),
        info("info of no entry", apps, "Failed.\n", kNotFound),
        list("id list", two, {L"getIdList"}, both, 0, "0"),
        list("finished only", two, {L"getIdList", L"true"}, std::string(kListed) + "1 - " + ToUtf8(kAlpha) + "\n",
             0, "-1"),
        list("empty id list", apps, {L"getIdList", L"False"}, kListed, 0, "0"),
        list("id list from 1", two, {L"getIdList"}, both, 0, "0", "lowerBound1"),
        list("id list without dimensions", two, {L"getIdList"}, std::string(kListed) + "Emtpy\n", 0, "0", "noArray"),
        list("id list of wrong types", two, {L"getIdList"}, kListed + ("1 - \n2 - \n" + kMismatch), kTypeMismatch,
             "0", "wrongTypes"),
        list("id list not an array", two, {L"getIdList"}, kListed + kMismatch, kTypeMismatch, "0", "scalar"),
        R("object not initialized", Scenario(apps).Fault("IStreamingCache.Initialize", kAccessDenied),
          {L"cache", L"multisource", L"getIdList"}, "Error: failed to intialize IStreamingCache object.\n",
          kAccessDenied, {"+IStreamingCache", "IStreamingCache.Initialize(pid) 0x80070005", "-IStreamingCache"}),
    }));
    // clang-format on
}

// client start and stop print nothing: the exit code is 0 or 0x80004005, and failures show in the trace.
// Started from the runner's console, which is not its own, start returns at once (well within the row's
// time limit) instead of lingering; the linger after a console of its own cannot be reached headless.
TEST(Client, StartAndStopFollowTheClientState) {
    const auto client = [](std::string name, Scenario scenario, const wchar_t* command, DWORD code,
                           std::string calls, Trace trace = {}) {
        Calls all = {"+IStreamingClient"};
        for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
            end = calls.find(' ', start);
            const std::string word = calls.substr(start, end - start);
            if (word.starts_with("0x")) {
                all.back() += " " + word;
            } else {
                all.push_back("IStreamingClient." + word);
            }
        }
        all.push_back("-IStreamingClient");
        return R(std::move(name), std::move(scenario), {L"client", command}, "", code, std::move(all),
                 kClient, std::move(trace));
    };
    const auto at = [](int state) { return Scenario().Client(state); };
    constexpr char kStart[] = "Initialize StartClient InitApplications Uninitialize";
    constexpr char kStop[] = "Initialize GetClientState GetClientState StopClient Uninitialize";
    const std::wstring already =
        L"Streaming Client COM calling UninitApplications when it has already been uninitialized.\n";
    // clang-format off
    EXPECT_ROWS((std::vector<Row>{
        client("start from stopped", at(0), L"start", 0, kStart),
        // Already started and initialized: the service's codes for that count as success, silently.
        client("start when ready", at(4), L"START", 0,
               "Initialize StartClient 0xA0044011 InitApplications 0xA0044021 Uninitialize"),
        client("start offline", at(5), L"start", kFail,
               "Initialize StartClient 0xA0044011 InitApplications 0x800708CA Uninitialize",
               {L"Failed to initialize Streaming Client COM. [2250]\n"}),
        client("start fails", at(0).Fault("StartClient", kFail), L"start", kFail,
               "Initialize StartClient 0x80004005 Uninitialize", {L"Failed to Start Client COM. [16389]\n"}),
        client("start not initialized", at(0).Fault("IStreamingClient.Initialize", kAccessDenied), L"start", kFail,
               "Initialize 0x80070005", {L"Failed to Initialize Client COM [5].\n"}),
        R("start without object", at(0).Fault("IStreamingClient.CreateInstance", 0x80080005), {L"client", L"start"},
          "", kFail, {"!IStreamingClient 0x80080005"}, kClient, Trace{L"Failed to Create Client COM.\n"}),
        client("stop when stopped", at(0), L"stop", 0, "Initialize GetClientState GetClientState Uninitialize"),
        client("stop when started", at(2), L"stop", 0, kStop),
        client("stop when offline", at(5), L"stop", 0, kStop),
        client("stop when ready", at(4), L"Stop", 0,
               "Initialize GetClientState UninitApplications GetClientState StopClient Uninitialize"),
        client("applications already uninitialized", at(4).Fault("UninitApplications", 0xA0044020), L"stop", 0,
               "Initialize GetClientState UninitApplications 0xA0044020 GetClientState Uninitialize", {already}),
        client("client already stopped", at(2).Fault("StopClient", 0xA0044010), L"stop", 0,
               "Initialize GetClientState GetClientState StopClient 0xA0044010 Uninitialize", {already}),
        client("uninitializing fails", at(4).Fault("UninitApplications", kAccessDenied), L"stop", kFail,
               "Initialize GetClientState UninitApplications 0x80070005 Uninitialize",
               {L"Failed to Uninitialize Streaming Client COM. [5]\n"}),
        client("stopping fails", at(2).Fault("StopClient", kAccessDenied), L"stop", kFail,
               "Initialize GetClientState GetClientState StopClient 0x80070005 Uninitialize",
               {L"Failed to Uninitialize Client COM. [5]\n"}),
    }));
    // clang-format on
}

} // namespace
} // namespace quillet::testing
