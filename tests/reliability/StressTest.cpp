// Quillet under stress: eight runs at once against one emulator, and command lines generated from its
// keywords and hostile fragments.
#include "Emulator.h"
#include "Files.h"
#include "Row.h"
#include "win32/Stopwatch.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <thread>

namespace quillet::testing {
namespace {

// The calls of one run among those of runs at the same time: the lines of the objects that it initialised.
std::vector<std::string> OwnCalls(const RunResult& run) {
    std::set<std::string> own;
    for (const nlohmann::ordered_json& line : run.journal) {
        if (line.value("method", "") == "Initialize" && line.at("args").at(0) == run.processId) {
            own.insert(line.at("object").dump());
        }
    }
    std::vector<nlohmann::ordered_json> lines;
    std::copy_if(run.journal.begin(), run.journal.end(), std::back_inserter(lines), [&](const auto& line) {
        return line.contains("object") && own.contains(line.at("object").dump());
    });
    return CallView(lines, run.processId);
}

// Runs job(0..count-1) on workers threads at once.
void InParallel(size_t count, int workers, const std::function<void(size_t)>& job) {
    std::atomic<size_t> next = 0;
    std::vector<std::thread> threads;
    for (int worker = 0; worker < workers; ++worker) {
        threads.emplace_back([&] {
            for (size_t index = next++; index < count; index = next++) {
                job(index);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

// Each of eight processes drives an application of its own through add, multisource add and start, every
// other one also remove, all at once. They overlap; each run makes the same calls as the same step of
// every other, and the service holds exactly what they did.
TEST(Load, EightRunsAtOnceOverlapAndLeaveExactlyWhatTheyDid) {
    constexpr int kWorkers = 8;
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
    Scenario().Client(4).Admin(true).Write();
    const TempFolder folder;
    std::vector<std::vector<std::pair<std::vector<std::wstring>, std::string>>> steps(kWorkers);
    std::vector<std::vector<RunResult>> results(kWorkers);
    std::set<std::string> expectedApps, expectedFiles, apps, files;
    for (int worker = 0; worker < kWorkers; ++worker) {
        const std::wstring guid = L"{10AD0000-0000-4000-8000-00000000000" + std::to_wstring(worker) + L"}";
        const std::string name = "Load " + std::to_string(worker), g = ToUtf8(guid);
        const std::wstring token = folder.File(L"load" + std::to_wstring(worker) + L".tok",
                                               R"({"name":")" + name + R"(","guid":")" + g + R"("})");
        // Copied into its own folder: no copy is made, the entry is all.
        const std::wstring source = folder.File(L"load" + std::to_wstring(worker) + L".stc", "source");
        steps[worker] = {
            {{L"application", L"add", token},
             "Adding application... Success.\nAppName: [" + name + "]\nAppGuid: [" + g + "]\n"},
            {{L"cache", L"multisource", L"add", guid + L"|" + source + L"|" + folder.Path() + L"|TRUE"},
             "Adding multisource file...Success."},
            {{L"application", L"start", guid}, "Starting application [" + name + "]... Success.\n"},
        };
        if (worker % 2 == 1) {
            steps[worker].push_back(
                {{L"application", L"remove", guid}, "Removing application [" + name + "]... Success.\n"});
        } else {
            expectedApps.insert(g + " 64");
            expectedFiles.insert(g);
        }
    }
    InParallel(kWorkers, kWorkers, [&](size_t worker) {
        for (const auto& [args, output] : steps[worker]) {
            results[worker].push_back(testing::Run(args, {.captureTrace = false}));
        }
    });
    int overlapped = 0;
    for (int worker = 0; worker < kWorkers; ++worker) {
        for (size_t step = 0; step < results[worker].size(); ++step) {
            const RunResult& run = results[worker][step];
            const std::vector<std::string> calls = OwnCalls(run);
            SCOPED_TRACE("worker " + std::to_string(worker) + " step " + std::to_string(step));
            EXPECT_EQ(run.exitCode, 0u);
            EXPECT_EQ(run.output, Crlf(steps[worker][step].second));
            EXPECT_FALSE(calls.empty());
            EXPECT_EQ(calls, OwnCalls(results[worker % 2][step]));
            overlapped += run.journal.size() > calls.size() ? 1 : 0;
        }
    }
    EXPECT_GT(overlapped, kWorkers) << "runs that made their calls while another made its own";
    const nlohmann::ordered_json state = emulator::ReadState();
    for (const nlohmann::ordered_json& app : state.at("applications")) {
        apps.insert(app.at("guid").get<std::string>() + " " +
                    std::to_string(app.at("state").get<long long>()));
    }
    for (const nlohmann::ordered_json& file : state.at("multisource")) {
        files.insert(file.at("appGuid").get<std::string>());
    }
    EXPECT_EQ(apps, expectedApps);
    EXPECT_EQ(files, expectedFiles);
}

// What each command may print, in the runtime's format syntax, '|' between messages; keyed by its first
// two words (folded as Quillet folds keywords).
// clang-format off
const std::wstring kCommon = L"Error: invalid arguments entered. Use \"Quillet -h\" for more help.\n|Error: incorrect number of arguments. Use \"Quillet -h\" for help.\n|Error: unexpected failure 0x%08X.\n";
const std::wstring kLadder = L"|Error: cannot start IStreamingClient to execute application command.\n|Error: application does not exist.\n|Error: failed to call CoCreateInstance().\n"
                             L"|Error: failed to initialize IStreamingApplication object.\n|Success.\n|Failed.\n";
const std::wstring kCache = L"|Error: failed to call CoCreateInstance().\n|Error: failed to intialize IStreamingCache object.\n|Success.\n|Failed.\n";
const std::wstring kSettings = kCache + L"|Error: user is not an administrator, operation cannot be executed.\n|Error: call to IStreamingCache::GetCacheLocation() failed.\n";
const std::map<std::wstring, std::wstring> kMessages = {
    {L"application add", L"|Error: token file does not exist, or file is not a token. Use \"Quillet -h\" for more help.\n|Error: cannot start IStreamingClient to execute application command.\n"
                         L"|Error calling CoCreateInstance().\n|Error initializing IStreamingApplication object.\n|Adding application... |Failed\n|Success| (Requires Reboot)|.\n|AppName: [%s]\nAppGuid: [%s]\n"},
    {L"application remove", kLadder + L"|Removing application [%s]... |Unable to remove applications, as there are no applications to remove.\n"},
    {L"application start", kLadder + L"|Starting application [%s]... "},
    {L"application run-cmd", kLadder + L"|Running command for application [%s]... "},
    {L"application stop", kLadder + L"|Error: cannot start IStreamingClient execute application command.\n|Stopping application [%s]... |Unable to stop applications, as there are no applications to stop.\n"},
    {L"application getidlist", L"|\nAppIdList: \n|%d - %s\n"},
    {L"cache size", kSettings + L"|%d\n|Changing cache size... "},
    {L"cache location", kSettings + L"|%s\n|Changing cache location... "},
    {L"cache clear", kCache + L"|Error: user is not an administrator. Operation cannot be executed.\n|Invalid operation: Cannot clear cache while working offline or having running apps.\n|Cache successfully cleared!\n"},
    {L"cache multisource", kCache + L"|Adding multisource file...|Deleting multisource file...|Getting multisource file info...|Getting multisource file id list...|Success.|\nMultiSourceFileInfo: \n"
                           L"|Application GUID - %s\n|Source Path - %s\n|Local Path - %s\n|Size - %d\n|Max Size - %d\n|%s - %d/%d/%d %d:%d:%d \n|\nMultiSourceFileIdList: \n|Emtpy\n|%d - %s\n"},
};
// clang-format on

std::wstring Folded(std::wstring word) {
    std::transform(word.begin(), word.end(), word.begin(),
                   [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c | 0x20 : c; });
    return word;
}

// Any sequence of the messages of the command that args selects: %s is any text within a line.
std::wregex Grammar(const std::vector<std::wstring>& args) {
    const std::wstring key =
        args.empty() ? L"" : Folded(args[0]) + (args.size() > 1 ? L" " + Folded(args[1]) : L"");
    const auto own = kMessages.find(key);
    const std::wstring messages = kCommon + (own == kMessages.end() ? L"" : own->second);
    std::wstring pattern = L"(?:(?:";
    for (size_t at = 0; at < messages.size(); ++at) {
        if (messages[at] == L'%') {
            at = messages.find_first_of(L"sdX", at);
            pattern += messages[at] == L's' ? L"[^\n]*" : messages[at] == L'd' ? L"-?[0-9]+" : L"[0-9A-F]{8}";
        } else if (messages[at] == L'|') {
            pattern += L")|(?:";
        } else {
            pattern +=
                (std::wcschr(L"\\^$.*+?()[]{}", messages[at]) ? L"\\" : L"") + std::wstring(1, messages[at]);
        }
    }
    return std::wregex(pattern + L"))*");
}

// The output as text with LF line ends.
std::wstring Decoded(const std::string& bytes) {
    std::wstring text(bytes.size(), L'\0');
    text.resize(MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                                    static_cast<int>(text.size())));
    return std::regex_replace(text, std::wregex(L"\r\n"), L"\n");
}

// Command lines from the keywords and hostile fragments under a fixed seed (QUILLET_FUZZ_SEED picks
// another, QUILLET_FUZZ_RUNS the count): every run ends with 0 or a failing HRESULT, prints only messages
// of the command that its first words select, and a parser's message or an unexpected failure goes with
// its exit code.
TEST(GeneratedCommandLines, EndWithADocumentedCodeAndTheirOwnMessages) {
    char text[32] = {};
    const unsigned seed = GetEnvironmentVariableA("QUILLET_FUZZ_SEED", text, sizeof text)
                              ? std::strtoul(text, nullptr, 10)
                              : 20240105;
    const int count = GetEnvironmentVariableA("QUILLET_FUZZ_RUNS", text, sizeof text) ? std::atoi(text) : 40;
    std::printf("Seed %u, %d runs\n", seed, count);
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
    const TempFolder folder;
    const std::wstring hostileGuid = L"{%s%n%x\"|\\\u00e9\U0001F600}";
    const std::vector<std::wstring> fragments = {
        L"%s",
        L"%n",
        L"%x",
        L"%08X",
        L"\"",
        L"\\",
        L"\\\"",
        L"|",
        L" ",
        L"",
        L"\t",
        L"caf\u00e9",
        L"\U0001F600",
        L"*",
        L"http://127.0.0.1:1/",
        L"https:",
        L".tok",
        L"C:\\windows",
        kAlpha,
        kBeta,
        hostileGuid,
        L"all",
        L"TRUE",
        L"-5",
        L"99999999999",
        folder.File(L"fuzz.tok", R"({"name":"%s Fuzz","guid":"{F0220000-0000-4000-8000-000000000001}"})"),
        std::wstring(700, L's') + L"%s"};
    const std::vector<std::vector<std::wstring>> words = {{L"application", L"cache", L"client", L"-h", L""},
                                                          {L"add", L"remove", L"start", L"run-cmd", L"stop",
                                                           L"getIdList", L"size", L"location", L"clear",
                                                           L"multisource"},
                                                          {L"add", L"delete", L"getInfo", L"getIdList"}};
    std::mt19937 engine(seed);
    const auto chance = [&](unsigned percent) { return engine() % 100 < percent; };
    std::vector<std::vector<std::wstring>> lines(count);
    for (std::vector<std::wstring>& args : lines) {
        for (unsigned position = 0, length = engine() % 6; position < length; ++position) {
            std::wstring word;
            if (position < words.size() && chance(85)) {
                word = words[position][engine() % words[position].size()];
                std::for_each(word.begin(), word.end(),
                              [&](wchar_t& c) { c ^= std::iswalpha(c) && chance(20) ? 0x20 : 0; });
            } else {
                for (unsigned piece = 0, pieces = 1 + engine() % 3; piece < pieces; ++piece) {
                    word += fragments[engine() % fragments.size()] + (chance(25) ? L"|" : L"");
                }
            }
            args.push_back(word);
        }
    }
    Scenario()
        .Client(4)
        .Admin(true)
        .App(kAlpha, L"Alpha", 16)
        .App(kBeta, L"Beta", 64)
        .App(hostileGuid, L"%s \u0416", 1)
        .Multisource(kAlpha, L"C:\\a.stc", L"C:\\a.stc")
        .Write();
    const std::wstring help = Decoded(testing::Run({L"-h"}, {.captureTrace = false}).output);
    std::vector<RunResult> results(count);
    InParallel(count, 4, [&](size_t i) {
        results[i] = testing::Run(lines[i], {.timeoutMs = 20000, .captureTrace = false});
    });
    for (int i = 0; i < count; ++i) {
        const std::wstring output = Decoded(results[i].output);
        const DWORD code = results[i].exitCode;
        SCOPED_TRACE(ToUtf8(results[i].commandLine) + " -> " + std::to_string(code) + ": " +
                     results[i].output.substr(0, 400));
        EXPECT_TRUE(code == 0 || (code & 0xC0000000) == 0x80000000);
        if (lines[i].empty() || Folded(lines[i][0]) == L"-h") {
            EXPECT_EQ(output, help);
            continue;
        }
        EXPECT_TRUE(std::regex_match(output, Grammar(lines[i]))) << "not the command's own messages";
        if (output.starts_with(L"Error: invalid arguments") ||
            output.starts_with(L"Error: incorrect number") || output.starts_with(L"Error: token")) {
            EXPECT_EQ(code, 0x80070057u);
        }
        if (const size_t at = output.find(L"unexpected failure 0x"); at != std::wstring::npos) {
            EXPECT_EQ(std::wcstoul(output.c_str() + at + 21, nullptr, 16), code);
        }
        EXPECT_EQ(code == 0, output.find(L"Error") == std::wstring::npos &&
                                 output.find(L"Failed") == std::wstring::npos);
    }
}

} // namespace
} // namespace quillet::testing
