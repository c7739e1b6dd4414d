// The cache and client commands against the emulator: what each prints, its exit code, the service calls
// it makes (with their arguments for the cache object, where the parsed values show) and its trace. What
// they do when the service fails a call, refuses an object or replies malformed is the reliability
// matrix's (tests/reliability).
#include "Files.h"
#include "Row.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

namespace quillet::testing {
namespace {

using Lines = std::vector<std::string>;

const CallFilter kCache = {.names = {"IStreamingCache"}, .arguments = true};
constexpr char kFace[] = "IStreamingCache";
constexpr char kNotInitialized[] = "Error: failed to intialize IStreamingCache object.\n";
// A cache object that could not be initialised is released at once, without Uninitialize.
const Lines kInitializeRefused = {"+IStreamingCache", "IStreamingCache.Initialize(pid) 0x80070005",
                                  "-IStreamingCache"};

// What a run must print and return, and the calls it must make: the cache object's, with their
// arguments, unless told otherwise.
Row Does(std::string output, DWORD code, Lines calls, CallFilter only = kCache) {
    return {
        .output = std::move(output), .exitCode = code, .calls = std::move(calls), .only = std::move(only)};
}

// A row: its name, the service before the run, the command's words, and what the run must do.
Row Runs(std::string name, std::optional<Scenario> scenario, std::vector<std::wstring> args, Row row) {
    row.name = std::move(name);
    row.scenario = std::move(scenario);
    row.args = std::move(args);
    return row;
}

std::string Json(std::wstring_view text) {
    return nlohmann::ordered_json(ToUtf8(text)).dump();
}

// A call's line ends with its HRESULT when it failed.
std::string Failed(DWORD code) {
    return code == 0 ? "" : " " + Hex(code);
}

// The settings that a change hands back: the emulator's (layout 1, 6 elements, 100 MB in use last) with the
// location's first character, the location and the size as the command wrote them.
std::string SetCacheSettings(int first, std::wstring_view location, long long size) {
    const auto element = [](int vt, const nlohmann::ordered_json& value) {
        return nlohmann::ordered_json{{"vt", vt}, {"value", value}};
    };
    const nlohmann::ordered_json settings = {element(3, 1),      element(3, 6),
                                             element(16, first), element(8, ToUtf8(location)),
                                             element(3, size),   element(3, 100)};
    return "SetCacheSettings(" + settings.dump() + ")";
}

TEST(Cache, WrongWordsPrintOneMessageAndCallNothing) {
    const struct {
        const char* name;
        std::vector<std::wstring> words; // after "cache"
        const char* message;
    } wrong[] = {
        // clang-format off
        {"unknown word",                   {L"purge"},                                kInvalidArguments},
        {"clear with a word",              {L"clear", L"all"},                        kIncorrectNumber},
        // Every multisource refusal, an unknown sub-command's too, reads as a missing word.
        {"multisource alone",              {L"multisource"},                          kIncorrectNumber},
        {"unknown sub-command",            {L"multisource", L"copy", L"x"},           kIncorrectNumber},
        {"add with five fields",           {L"multisource", L"add", L"a|b|c|TRUE|x"}, kIncorrectNumber},
        {"delete with two fields",         {L"multisource", L"delete", L"{G}|x"},     kIncorrectNumber},
        {"getIdList value is not trimmed", {L"multisource", L"getIdList", L" TRUE"},  kIncorrectNumber},
        // clang-format on
    };
    for (const auto& [name, words, message] : wrong) {
        std::vector<std::wstring> args = {L"cache"};
        args.insert(args.end(), words.begin(), words.end());
        EXPECT_ROW(Runs(name, {}, args, Does(message, kInvalidArgument, {}, {})));
    }
}

// A settings command and clear ask whether the user is an administrator first, and release their cache
// object without Uninitialize.
TEST(Cache, SettingsAndClearAreForAdministrators) {
    const Scenario admin = Scenario().Admin(true).Cache(L"C:\\PlenumCache", 2048, 100);
    const auto released = [](const Lines& calls) {
        return Life(kFace, calls, {.arguments = true, .uninitialize = false});
    };
    // The client is brought up first; the query's own object is released without Uninitialize. No cache
    // object follows a denial.
    const Lines adminQuery =
        Join({Life("IStreamingClient", {"StartClient", "InitApplications"}),
              Life("IStreamingClient", {"IsUserAdministrator"}, {.uninitialize = false})});
    std::vector<Row> rows = {
        Runs("change as a user", Scenario(admin).Admin(false), {L"cache", L"size", L"4096"},
             Does(kNotAdministrator, kFail, adminQuery, {})),
        Runs("cleared", admin, {L"cache", L"Clear"},
             Does("Cache successfully cleared!\n", 0, released({"ClearCache()"}))),
        Runs("clear, not initialized", Scenario(admin).Fault("IStreamingCache.Initialize", kAccessDenied),
             {L"cache", L"clear"}, Does(kNotInitialized, kAccessDenied, kInitializeRefused)),
    };
    // A change as typed, the service's answer, and what went back: the size, or the location's first
    // character (only its low byte, as a signed byte: 0x1E9 gives -23).
    const struct {
        std::wstring word, typed;
        DWORD code;
        long long sent;
    } changes[] = {
        // clang-format off
        {L"size",     L"4096",           0,          4096},
        {L"size",     L"50",             0x80070070, 50},
        {L"size",     L"abc",            0x80070057, 0},
        {L"size",     L" +12MB",         0x80070070, 12},
        {L"size",     L"99999999999",    0,          2147483647},
        {L"size",     L"-99999999999",   0x80070057, -2147483648LL},
        {L"location", L"C:\\windows",    0,          'C'},
        {L"location", L"",               0x800700A1, 0},
        {L"location", L" D:\\a b|c ",    0x800700A1, ' '},
        {L"location", L"\u01E9:\\Cache", 0x80070003, -23},
        // clang-format on
    };
    for (const auto& [word, typed, code, sent] : changes) {
        const std::string set = word == L"size" ? SetCacheSettings('C', L"C:\\PlenumCache", sent)
                                                : SetCacheSettings(static_cast<int>(sent), typed, 2048);
        const std::string output =
            "Changing cache " + ToUtf8(word) + "... " + (code ? "Failed.\n" : "Success.\n");
        rows.push_back(Runs(ToUtf8(word + L" " + typed), admin, {L"cache", word, typed},
                            Does(output, code, released({"GetCacheLocation(0)", set + Failed(code)}))));
    }
    EXPECT_ROWS(rows);
}

// The multisource commands need no administrator, hand the parsed fields to the service and always
// uninitialize the object they opened.
TEST(Cache, MultisourceRequestsAndAnswers) {
    const TempFolder files;
    const std::wstring source = files.File(L"payload.stc", "0123456789");
    const Scenario apps =
        Scenario().App(kAlpha, L"Alpha", 0).App(kBeta, L"Beta", 0).Cache(files.Path(), 2048);
    const Scenario two = Scenario(apps)
                             .Multisource(kAlpha, L"\\\\server\\share\\p.stc", L"C:\\Cache\\p.stc",
                                          {{"size", 5000000000},
                                           {"maxSize", 6000000000},
                                           {"startTime", 0},
                                           {"finishTime", 45296.377164351851}})
                             .Multisource(kBeta, L"b", L"b", {{"finished", false}});
    const Scenario nulls = Scenario(apps)
                               .Multisource(kAlpha, L"s", L"l", {{"startTime", 1e9}, {"finishTime", -1e9}})
                               .Reply("GetMultiSourceFileInfo", "nullStrings");
    const auto ms = [](std::vector<std::wstring> words) {
        words.insert(words.begin(), {L"cache", L"multisource"});
        return words;
    };
    // The one call between the cache object's Initialize and Uninitialize.
    const auto call = [](DWORD code, const std::string& line) {
        return Life(kFace, {line + Failed(code)}, {.arguments = true});
    };
    const std::string alpha = Json(kAlpha), info = "GetMultiSourceFileInfo(" + alpha + ")";
    const std::string kInfo =
        "Getting multisource file info...Success.\nMultiSourceFileInfo: \nApplication GUID - ";
    const std::wstring fields = kAlpha + (L"|" + source + L"|" + files.Path() + L"|x");
    const std::string sent = alpha + "," + Json(source) + "," + Json(files.Path()) + ",0";
    std::vector<Row> rows = {
        // Only TRUE sets the flag.
        Runs("entry exists", Scenario(apps).Multisource(kAlpha, source, source), ms({L"add", fields}),
             Does(kMultisourceAddFailed, kAlreadyExists,
                  call(kAlreadyExists, "AddMultiSourceFile(" + sent + ")"))),
        Runs("delete keeps blanks", apps, ms({L"delete", L"  {G} "}),
             Does("Deleting multisource file...Failed.\n", kNotFound,
                  call(kNotFound, R"(DeleteMultiSourceFile("  {G} "))"))),
        // Dates: 0 is the calendar's first day; 45296.377... is 5 January 2024, 09:03:07.
        Runs("info", two, ms({L"getinfo", kAlpha, L"x"}),
             Does(kInfo + ToUtf8(kAlpha) +
                      "\nSource Path - \\\\server\\share\\p.stc\nLocal Path - C:\\Cache\\p.stc\n" +
                      "Size - 5000000000\nMax Size - 6000000000\nStart Time - 12/30/1899 00:00:00 \n" +
                      "Finish Time - 01/05/2024 09:03:07 \n",
                  0, call(0, info))),
        Runs("info of null strings and dates beyond the calendar", nulls, ms({L"getInfo", kAlpha}),
             Does(kInfo + "\nSource Path - \nLocal Path - \nSize - 0\nMax Size - 0\n" +
                      "Start Time - -1/-1/-1 -1:-1:-1 \nFinish Time - -1/-1/-1 -1:-1:-1 \n" +
                      "Error: unexpected failure 0x80020005.\n",
                  kTypeMismatch, call(0, info + " reply=nullStrings"))),
        Runs("finished only", two, ms({L"getIdList", L"true"}),
             Does("Getting multisource file id list...Success.\nMultiSourceFileIdList: \n1 - " +
                      ToUtf8(kAlpha) + "\n",
                  0, call(0, "GetMultiSourceFileIdList(-1)"))),
    };
    // How add splits, trims and reads its fields: the service knows no application {G}.
    const struct {
        const char* name;
        const wchar_t* typed;
        const char* sent;
    } adds[] = {
        // clang-format off
        {"blank field is empty",         L"{G}|C:\\src.stc| |true",        R"("{G}","C:\\src.stc","",-1)"},
        {"trimmed, separators collapse", L"|| {G} |\ta b\t|| c |  TRUE |", R"("{G}","a b","c",-1)"},
        {"lone separator",               L"|",                             R"("","","",0)"},
        // clang-format on
    };
    for (const auto& [name, typed, arguments] : adds) {
        rows.push_back(Runs(name, apps, ms({L"add", typed}),
                            Does(kMultisourceAddFailed, kNotFound,
                                 call(kNotFound, "AddMultiSourceFile(" + std::string(arguments) + ")"))));
    }
    EXPECT_ROWS(rows);
}

// client start and stop print nothing: the exit code is 0 or 0x80004005, and failures show in the trace.
// Started from the runner's console, which is not its own, start returns at once (well within the row's
// time limit) instead of lingering; the linger after a console of its own cannot be reached headless.
TEST(Client, StartAndStopFollowTheClientState) {
    const auto at = [](int state) { return Scenario().Client(state); };
    const auto client = [](const Lines& calls) { return Life("IStreamingClient", calls); };
    // What the command must return, its calls of the client object, and the whole trace.
    const auto does = [](DWORD code, Lines calls, std::vector<std::wstring> trace = {}) {
        Row row = Does("", code, std::move(calls), {.names = {"IStreamingClient"}});
        row.trace = std::move(trace);
        row.options.timeoutMs = 20000;
        return row;
    };
    const std::vector<std::wstring> start = {L"client", L"start"}, stop = {L"client", L"stop"};
    const std::wstring already =
        L"Streaming Client COM calling UninitApplications when it has already been uninitialized.\n";
    EXPECT_ROWS((std::vector<Row>{
        // Already started and initialized: the service's codes for that count as success, silently.
        Runs("start when ready", at(4), {L"client", L"START"},
             does(0, client({"StartClient 0xA0044011", "InitApplications 0xA0044021"}))),
        Runs("start not initialized", at(0).Fault("IStreamingClient.Initialize", kAccessDenied), start,
             does(kFail, {"+IStreamingClient", "IStreamingClient.Initialize 0x80070005", "-IStreamingClient"},
                  {L"Failed to Initialize Client COM [5].\n"})),
        Runs("stop when stopped", at(0), stop, does(0, client({"GetClientState", "GetClientState"}))),
        Runs("stop when offline", at(5), stop,
             does(0, client({"GetClientState", "GetClientState", "StopClient"}))),
        Runs("stop when ready", at(4), {L"client", L"Stop"},
             does(0, client({"GetClientState", "UninitApplications", "GetClientState", "StopClient"}))),
        Runs("applications already uninitialized", at(4).Fault("UninitApplications", 0xA0044020), stop,
             does(0, client({"GetClientState", "UninitApplications 0xA0044020", "GetClientState"}),
                  {already})),
        Runs("client already stopped", at(2).Fault("StopClient", 0xA0044010), stop,
             does(0, client({"GetClientState", "GetClientState", "StopClient 0xA0044010"}), {already})),
        // The client is not stopped while its applications could not be uninitialised.
        Runs("uninitializing fails", at(4).Fault("UninitApplications", kAccessDenied), stop,
             does(kFail, client({"GetClientState", "UninitApplications 0x80070005"}),
                  {L"Failed to Uninitialize Streaming Client COM. [5]\n"})),
    }));
}

} // namespace
} // namespace quillet::testing
