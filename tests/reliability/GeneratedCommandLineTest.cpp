// Random command lines built from Quillet's keywords and hostile fragments, under a fixed seed (printed;
// QUILLET_FUZZ_SEED overrides it). Every run ends in time with a documented exit code, its output is made
// of the selected command's own messages and nothing else, and no trace line overruns its buffer.
#include "Emulator.h"
#include "Files.h"
#include "ProgramOutput.h"
#include "RunChecks.h"
#include "Codes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

namespace quillet::testing::reliability {
namespace {

constexpr unsigned kDefaultSeed = 20240105;
constexpr int kShards = 4;
constexpr int kDefaultRunsPerShard = 500;
// Quillet processes at once: enough to keep both cores busy while others wait for the service.
constexpr int kParallelRuns = 6;
// Runs between two resets of the service's state.
constexpr int kBatch = 100;
constexpr DWORD kRunTimeoutMs = 60000;

const std::wstring kHostileGuid = L"{%s%n%x\"|\\\u00e9\U0001F600}";

// QUILLET_FUZZ_RUNS sets the runs of every shard (four shards).
int RunsPerShard() {
    char text[32] = {};
    const DWORD length = GetEnvironmentVariableA("QUILLET_FUZZ_RUNS", text, sizeof text);
    const int runs = length > 0 && length < sizeof text ? std::atoi(text) : 0;
    return runs > 0 ? runs : kDefaultRunsPerShard;
}

unsigned BaseSeed() {
    char text[32] = {};
    const DWORD length = GetEnvironmentVariableA("QUILLET_FUZZ_SEED", text, sizeof text);
    return length > 0 && length < sizeof text ? static_cast<unsigned>(std::strtoul(text, nullptr, 10))
                                              : kDefaultSeed;
}

// The same sequence from the same seed with every toolchain: the engine is fixed and every choice is
// taken by remainder.
class Generator {
public:
    Generator(unsigned seed, const std::wstring& token)
        : m_engine(seed), m_fragments({L"%s",
                                       L"%n",
                                       L"%x",
                                       L"%s%n%x",
                                       L"%ls",
                                       L"%d",
                                       L"%%",
                                       L"%08X",
                                       L"\"",
                                       L"\\",
                                       L"\\\"",
                                       L"|",
                                       L" ",
                                       L"",
                                       L"\t",
                                       L"caf\u00e9",
                                       L"\u0416",
                                       L"\u4e2d",
                                       L"\U0001F600",
                                       L"*",
                                       L"?",
                                       L"http://127.0.0.1:1/",
                                       L"https://127.0.0.1:1/",
                                       L"HTTP:",
                                       L".tok",
                                       L".TOK",
                                       L"C:\\",
                                       L"C:\\windows",
                                       kAlpha,
                                       kBeta,
                                       kHostileGuid,
                                       token,
                                       L"all",
                                       L"ALL",
                                       L"TRUE",
                                       L"false",
                                       L"yes",
                                       L"-5",
                                       L"2048",
                                       L"99999999999",
                                       L"abc",
                                       std::wstring(700, L's') + L"%s"}) {}

    bool Chance(unsigned percent) { return m_engine() % 100 < percent; }
    template <class T> const T& Pick(const std::vector<T>& items) { return items[m_engine() % items.size()]; }

    // Flips the case of some ASCII letters: keywords are compared without regard to it.
    std::wstring Cased(std::wstring word) {
        for (wchar_t& character : word) {
            if (((character >= L'a' && character <= L'z') || (character >= L'A' && character <= L'Z')) &&
                Chance(20)) {
                character ^= 0x20;
            }
        }
        return word;
    }

    std::wstring Fragment() { return Pick(m_fragments); }

    // One to three fragments; for a multisource string, fields of them between separators.
    std::wstring Value() {
        std::wstring value;
        const unsigned count = 1 + m_engine() % 3;
        for (unsigned i = 0; i < count; ++i) {
            value += Fragment();
            if (Chance(25)) {
                value += L"|";
            }
        }
        return value;
    }

    std::vector<std::wstring> Words() {
        static const std::vector<std::wstring> components = {L"application", L"cache", L"client"};
        static const std::vector<std::wstring> help = {L"-h", L"-H", L"--help", L"/?", L"", L"apps"};
        static const std::vector<std::vector<std::wstring>> commands = {
            {L"add", L"remove", L"start", L"run-cmd", L"stop", L"getIdList", L"list"},
            {L"size", L"location", L"clear", L"multisource", L"sizes"},
            {L"start", L"stop", L"restart"}};
        static const std::vector<std::wstring> subcommands = {L"add", L"delete", L"getInfo", L"getIdList",
                                                              L"copy"};
        std::vector<std::wstring> words;
        const unsigned count = m_engine() % 7;
        size_t component = 0;
        for (unsigned position = 0; position < count; ++position) {
            const bool structured = Chance(80);
            if (position == 0 && structured) {
                component = m_engine() % (components.size() + 1);
                words.push_back(component < components.size() ? Cased(components[component]) : Pick(help));
            } else if (position == 1 && structured && component < components.size()) {
                words.push_back(Cased(Pick(commands[component])));
            } else if (position == 2 && structured && component == 1 && Chance(50)) {
                words.push_back(Cased(Pick(subcommands)));
            } else {
                words.push_back(Value());
            }
        }
        return words;
    }

    // Whether a run passes its words through the command line as they are, unquoted, so that the runtime's
    // own splitting meets the quotes and backslashes. Only where the words that select the command are
    // plain, so that they are known.
    bool Raw(const std::vector<std::wstring>& words) {
        for (size_t i = 0; i < std::min<size_t>(2, words.size()); ++i) {
            if (words[i].empty() || words[i].find_first_of(L" \t\"\\") != std::wstring::npos) {
                return false;
            }
        }
        return !words.empty() && Chance(20);
    }

private:
    std::mt19937 m_engine;
    std::vector<std::wstring> m_fragments;
};

// The service's state at the start of every batch: applications in several states, one named by
// hostile text, a multisource file, an administrator, a started client.
void ResetService() {
    Scenario()
        .Client(4)
        .Admin(true)
        .App(kAlpha, L"Alpha", 16)
        .App(kBeta, L"Beta", 64)
        .App(kHostileGuid, L"%s \u0416", 1)
        .Multisource(kAlpha, L"C:\\a.stc", L"C:\\a.stc")
        .Write();
}

struct GeneratedRun {
    std::vector<std::wstring> args; // as generated; the first two select the command
    bool raw = false;               // the words joined by blanks, unquoted
    RunResult result;
};

std::string Described(const GeneratedRun& run) {
    std::string text;
    for (const std::wstring& arg : run.args) {
        text += "[" + ToUtf8(arg.size() > 200 ? arg.substr(0, 200) + L"..." : arg) + "] ";
    }
    text += run.raw ? "(unquoted) " : "";
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(run.result.exitCode));
    return text + "-> " + code + ": " + run.result.output.substr(0, 600);
}

bool IsFailingHresult(DWORD code) {
    // Severity set and the reserved bit clear: an HRESULT, not an exception's status (0xC...).
    return (code & 0xC0000000) == 0x80000000;
}

// What every run must show, whatever the command line.
void Check(const GeneratedRun& run, const std::wstring& helpText) {
    const std::wstring output = DecodeConsole(run.result.output);
    const DWORD code = run.result.exitCode;
    EXPECT_TRUE(code == 0 || IsFailingHresult(code)) << Described(run);
    EXPECT_TRUE(MadeOf(output, MessagesFor(run.args, helpText)))
        << "not the command's own messages: " << Described(run);
    const bool parseError = output.starts_with(L"Error: invalid arguments") ||
                            output.starts_with(L"Error: incorrect number") ||
                            output.starts_with(L"Error: token");
    if (parseError) {
        EXPECT_EQ(code, 0x80070057u) << Described(run);
    }
    const size_t unexpected = output.find(L"Error: unexpected failure 0x");
    if (unexpected != std::wstring::npos) {
        EXPECT_EQ(std::wcstoul(output.c_str() + unexpected + 28, nullptr, 16), code) << Described(run);
    }
    if (code == 0) {
        EXPECT_EQ(output.find(L"Error"), std::wstring::npos) << Described(run);
        EXPECT_EQ(output.find(L"Failed"), std::wstring::npos) << Described(run);
    }
    if (output.find(L"Failed") != std::wstring::npos) {
        EXPECT_NE(code, 0u) << Described(run);
    }
    EXPECT_LE(LongestTraceLine(run.result), kLongestTraceLine) << Described(run);
    for (const std::wstring& line : run.result.traceLines) {
        EXPECT_TRUE(HasTracePrefix(line)) << Described(run);
    }
}

class GeneratedCommandLines : public ::testing::TestWithParam<int> {};

TEST_P(GeneratedCommandLines, EndWithADocumentedCodeAndTheirOwnMessages) {
    const unsigned seed = BaseSeed() + static_cast<unsigned>(GetParam());
    std::printf("Seed %u (QUILLET_FUZZ_SEED=%u, shard %d of %d)\n", seed, BaseSeed(), GetParam(), kShards);
    RecordProperty("seed", static_cast<int>(seed));
    ASSERT_EQ(emulator::EnsureResident(), S_OK);

    const std::wstring token = TempPath(L"fuzz.tok");
    WriteBytes(token, R"({"name":"%s Fuzz","guid":"{F0220000-0000-4000-8000-000000000001}"})");

    const std::wstring helpText = DecodeConsole(testing::Run({L"-h"}).output);
    ASSERT_TRUE(helpText.starts_with(L"\r\nNAME:")) << "the help text is the oracle of -h";

    Generator generator(seed, token);
    const int total = RunsPerShard();
    std::vector<GeneratedRun> runs(static_cast<size_t>(total));
    for (GeneratedRun& run : runs) {
        run.args = generator.Words();
        run.raw = generator.Raw(run.args);
    }
    RunOptions options;
    options.timeoutMs = kRunTimeoutMs;
    for (int first = 0; first < total; first += kBatch) {
        ResetService();
        std::atomic<int> next = first;
        const int end = std::min(first + kBatch, total);
        std::vector<std::thread> workers;
        for (int worker = 0; worker < kParallelRuns; ++worker) {
            workers.emplace_back([&] {
                for (int index = next++; index < end; index = next++) {
                    GeneratedRun& run = runs[static_cast<size_t>(index)];
                    if (run.raw) {
                        std::wstring tail;
                        for (const std::wstring& arg : run.args) {
                            tail += (tail.empty() ? L"" : L" ") + arg;
                        }
                        RunOptions raw = options;
                        raw.arguments = tail;
                        run.result = testing::Run({}, raw);
                    } else {
                        run.result = testing::Run(run.args, options);
                    }
                }
            });
        }
        for (std::thread& worker : workers) {
            worker.join();
        }
    }
    DeleteFileW(token.c_str());

    std::map<DWORD, int> codes;
    for (const GeneratedRun& run : runs) {
        Check(run, helpText);
        ++codes[run.result.exitCode];
    }
    std::printf("%d runs; exit codes:", total);
    for (const auto& [code, count] : codes) {
        std::printf(" 0x%08X x%d", static_cast<unsigned>(code), count);
    }
    std::printf("\n");
}

INSTANTIATE_TEST_SUITE_P(Fuzz, GeneratedCommandLines, ::testing::Range(0, kShards));

} // namespace
} // namespace quillet::testing::reliability

namespace quillet::testing::reliability {
namespace {

// The oracle itself: a run that printed anything else, or a message of another command, must not pass.
TEST(ProgramOutput, AcceptsOnlyTheSelectedCommandsOwnMessages) {
    const struct {
        std::vector<std::wstring> args;
        std::wstring output;
        bool accepted;
    } rows[] = {
        {{L"cache", L"SIZE"}, L"2048\n", true},
        {{L"cache", L"size"}, L"2048 MB\n", false},
        {{L"cache", L"location"}, L"C:\\%s \u0416\n", true},
        {{L"cache", L"clear"}, L"C:\\Cache\n", false},
        {{L"application", L"start", kAlpha}, L"Starting application [%s%n]... Failed.\n", true},
        {{L"application", L"start", kAlpha}, L"Starting application [a\nb]... Failed.\n", false},
        {{L"application", L"stop", kAlpha}, L"Starting application [Alpha]... Success.\n", false},
        {{L"application", L"getIdList"}, L"\nAppIdList: \n1 - {x}\n2 - \n", true},
        {{L"cache", L"multisource", L"getInfo"}, L"Getting multisource file info...Success.", true},
        {{L"cache", L"size"}, L"Error: unexpected failure 0x8002000B.\n", true},
        {{L"cache", L"size"}, L"Error: unexpected failure 0x8002000.\n", false},
        {{L"client", L"start"}, L"", true},
        {{L"client", L"start"}, L"Success.\n", false},
        {{L"-H", L"x"}, L"help\r\n", true},
        {{L"apps"}, L"help\r\n", false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(MadeOf(row.output, MessagesFor(row.args, L"help\r\n")), row.accepted) << ToUtf8(row.output);
    }
}

} // namespace
} // namespace quillet::testing::reliability
