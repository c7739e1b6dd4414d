// QuilletBench: the performance benchmark's driver. bench/run starts it under Wine with the emulator
// registered and resident, and ctest once in its smoke mode; it times Quillet's commands and what their
// floors are made of, and writes every sample as JSON for tools/report/render.py.
//
//   QuilletBench --data <file> [--smoke] [--rounds N] [--scale-rounds N] [--remove-all-rounds N]
//                [--large-rounds N]
// --smoke: one short round of four commands and two small scale points, no large states; it shows that
// the benchmark and its report still work, not how fast anything is.

#include "CommandCases.h"
#include "Emulator.h"
#include "Results.h"
#include "Runner.h"
#include "Sampler.h"
#include "ServiceProbe.h"
#include "Watchdog.h"
#include "common/ToolOutput.h"
#include "win32/Utf8.h"
#include "win32/WholeFile.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace quillet::bench;
using quillet::tools::PrintTo;
namespace emulator = quillet::testing::emulator;

constexpr wchar_t kUsage[] =
    L"Usage: QuilletBench --data <file> [--smoke] [--rounds N] [--scale-rounds N] [--remove-all-rounds N]\n"
    L"                    [--large-rounds N]\n"
    L"Measures Quillet.exe against the resident emulator; bench/run starts it.\n";
constexpr wchar_t kNoApartment[] = L"QuilletBench: cannot enter a COM apartment (0x%08X).\n";
constexpr wchar_t kNoEmulator[] = L"QuilletBench: the emulator is not resident (0x%08X).\n";
constexpr wchar_t kFailure[] = L"QuilletBench: %s\n";
constexpr wchar_t kCannotWrite[] = L"QuilletBench: cannot write %s\n";
constexpr wchar_t kProgress[] = L"%s\n";
constexpr wchar_t kRoundProgress[] = L"round %d of %d\n";
constexpr wchar_t kScaleProgress[] = L"%s (%s), round %d of %d\n";
constexpr wchar_t kSomeFailed[] = L"QuilletBench: %u samples failed; the data and the report list them.\n";

// Longer than any one sample may take (Sampler kills a child after 300 s).
constexpr ULONGLONG kStallLimitMs = 420000;
constexpr int kActivationsPerRound = 2;
constexpr int kCallPairsPerRound = 20;
constexpr int kTraceLines = 200;
constexpr int kRemoveAmongCount = 100000;

// The targets, against floors that include the apartment: Quillet must enter it before it reads its command
// line, so no command can start faster than MinimalSta.exe. The large states carry limits of their own.
constexpr double kHelpOverSta = 1.10;
constexpr double kCommandOverFloor = 1.25;
constexpr double kIdListGrowth = 3.0; // the largest id list against the smallest

// What one run measures, and how often.
struct Plan {
    int rounds = 11;
    int scaleRounds = 5;
    int removeAllRounds = 3;
    int largeRounds = 3;
    int startupsPerRound = 3;
    bool warmUp = true;    // one unrecorded run of everything first
    int pipeLines = 10000; // the largest id list
    int pipeWriteRepeats = 5;
    std::vector<int> idListCounts = {10, 100, 1000, 3000, 10000};
    std::vector<int> removeAllCounts = {1, 10, 30, 100};
    std::vector<std::string> commands; // the catalogue's labels to run; empty: all
};

const Plan kSmoke = {.rounds = 1,
                     .scaleRounds = 1,
                     .removeAllRounds = 1,
                     .largeRounds = 0,
                     .startupsPerRound = 1,
                     .warmUp = false,
                     .pipeLines = 1000,
                     .pipeWriteRepeats = 1,
                     .idListCounts = {10, 100},
                     .removeAllCounts = {1, 2},
                     // One command of each family; multisource add also removes its copy between samples.
                     .commands = {"-h", "application start <guid>", "cache multisource add", "client stop"}};

struct Options {
    std::wstring data;
    bool smoke = false;
    Plan plan;
};

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    std::vector<std::wstring_view> args(argv + 1, argv + argc);
    if (const auto smoke = std::ranges::find(args, L"--smoke"); smoke != args.end()) {
        args.erase(smoke);
        options.smoke = true;
        options.plan = kSmoke;
    }
    const struct {
        const wchar_t* name;
        int* count;
        int minimum;
    } counts[] = {
        {L"--rounds", &options.plan.rounds, 1},
        {L"--scale-rounds", &options.plan.scaleRounds, 0},
        {L"--remove-all-rounds", &options.plan.removeAllRounds, 0},
        {L"--large-rounds", &options.plan.largeRounds, 0},
    };
    for (size_t i = 0; i + 1 < args.size(); i += 2) {
        if (args[i] == L"--data") {
            options.data = args[i + 1];
            continue;
        }
        const auto option =
            std::ranges::find_if(counts, [&](const auto& entry) { return args[i] == entry.name; });
        if (option == std::end(counts)) {
            return false;
        }
        const std::wstring text(args[i + 1]);
        wchar_t* end = nullptr;
        const long value = std::wcstol(text.c_str(), &end, 10);
        if (end == text.c_str() || *end != L'\0' || value < option->minimum || value > 1000) {
            return false;
        }
        *option->count = static_cast<int>(value);
    }
    return args.size() % 2 == 0 && !options.data.empty();
}

nlohmann::ordered_json Settings(const Options& options) {
    const Plan& plan = options.plan;
    const Plan defaults;
    return {{"smoke", options.smoke},
            {"rounds", plan.rounds},
            {"scaleRounds", plan.scaleRounds},
            {"removeAllRounds", plan.removeAllRounds},
            {"largeRounds", plan.largeRounds},
            {"defaults",
             {{"rounds", defaults.rounds},
              {"scaleRounds", defaults.scaleRounds},
              {"removeAllRounds", defaults.removeAllRounds},
              {"largeRounds", defaults.largeRounds}}},
            {"startupsPerRound", plan.startupsPerRound},
            {"activationsPerRound", kActivationsPerRound},
            {"callPairsPerRound", kCallPairsPerRound},
            {"traceLines", kTraceLines},
            {"targets",
             {{"helpOverSta", kHelpOverSta},
              {"commandOverFloor", kCommandOverFloor},
              {"idListGrowth", kIdListGrowth}}}};
}

Series SeriesOf(const CommandCase& command) {
    Series series;
    series.label = command.label;
    series.situation = command.situation;
    series.applications = command.applications;
    series.limitMs = command.limitMs;
    return series;
}

void AddIfMeasured(double milliseconds, std::vector<double>& samples) {
    if (milliseconds >= 0) {
        samples.push_back(milliseconds);
    }
}

void Record(BenchResults& results, const ActivationTiming& timing, std::vector<double>& totals) {
    if (timing.total < 0) {
        return;
    }
    totals.push_back(timing.total);
    results.activationCreate.push_back(timing.create);
    results.activationInitialize.push_back(timing.initialize);
    results.activationRelease.push_back(timing.release);
}

// One series for each case, sampled round by round so that every case sees the same load, with a start-up
// of MinimalSta and a bare activation of each class after every sample for the floors. No rounds
// asked for: no series at all, rather than empty rows.
void MeasureScale(BenchResults& results, std::vector<Series>& scale, const std::vector<CommandCase>& cases,
                  int rounds, Sampler& sampler, Watchdog& watchdog) {
    if (rounds <= 0) {
        return;
    }
    for (const CommandCase& command : cases) {
        scale.push_back(SeriesOf(command));
    }
    for (int round = 1; round <= rounds; ++round) {
        for (size_t i = 0; i < cases.size(); ++i) {
            PrintTo(STD_ERROR_HANDLE, kScaleProgress, quillet::FromUtf8(cases[i].label).c_str(),
                    quillet::FromUtf8(cases[i].situation).c_str(), round, rounds);
            sampler.RunCommand(cases[i], scale[i]);
            sampler.RunProgram(L"MinimalSta.exe", results.scaleSta);
            AddIfMeasured(TimeActivation(ServiceClass::Application).total,
                          results.scaleApplicationActivations);
            AddIfMeasured(TimeActivation(ServiceClass::Client).total, results.scaleClientActivations);
            AddIfMeasured(TimeActivation(ServiceClass::Cache).total, results.scaleCacheActivations);
            watchdog.Beat();
        }
    }
}

std::vector<CommandCase> CasesOf(const std::vector<int>& counts, CommandCase (*makeCase)(int)) {
    std::vector<CommandCase> cases;
    for (const int count : counts) {
        cases.push_back(makeCase(count));
    }
    return cases;
}

void Measure(BenchResults& results, const BenchFiles& files, const Plan& plan, Sampler& sampler,
             Watchdog& watchdog) {
    std::vector<CommandCase> catalogue = CommandCatalogue(files);
    if (!plan.commands.empty()) {
        std::erase_if(catalogue, [&](const CommandCase& command) {
            return std::ranges::find(plan.commands, command.label) == plan.commands.end();
        });
    }
    results.minimal.label = "MinimalConsole.exe";
    results.ole32.label = "MinimalOle32.exe";
    results.sta.label = "MinimalSta.exe";
    results.help.label = "-h";
    for (const CommandCase& command : catalogue) {
        results.commands.push_back(SeriesOf(command));
    }

    // One run of everything first, unrecorded: the files are read from disk once, the emulator has its
    // proxies and stubs, and the first sample is not the odd one out.
    if (plan.warmUp) {
        Series discard;
        for (const wchar_t* program : {L"MinimalConsole.exe", L"MinimalOle32.exe", L"MinimalSta.exe"}) {
            sampler.RunProgram(program, discard);
        }
        sampler.RunProbe();
        for (const CommandCase& command : catalogue) {
            sampler.RunCommand(command, discard);
            watchdog.Beat();
        }
    }

    const CommandCase& helpCase = catalogue.front(); // the catalogue begins with -h
    for (int round = 1; round <= plan.rounds; ++round) {
        PrintTo(STD_ERROR_HANDLE, kRoundProgress, round, plan.rounds);
        for (int i = 0; i < plan.startupsPerRound; ++i) {
            sampler.RunProgram(L"MinimalConsole.exe", results.minimal);
            sampler.RunProgram(L"MinimalOle32.exe", results.ole32);
            sampler.RunProgram(L"MinimalSta.exe", results.sta);
            sampler.RunCommand(helpCase, results.help);
            watchdog.Beat();
        }
        const TimedRun probe = sampler.RunProbe();
        if (auto report = nlohmann::ordered_json::parse(probe.output, nullptr, false); report.is_object()) {
            report["wall"] = probe.milliseconds;
            results.probes.push_back(std::move(report));
        }
        for (int i = 0; i < kActivationsPerRound; ++i) {
            Record(results, TimeActivation(ServiceClass::Application), results.applicationActivations);
            Record(results, TimeActivation(ServiceClass::Client), results.clientActivations);
            Record(results, TimeActivation(ServiceClass::Cache), results.cacheActivations);
        }
        if (const CallTiming calls = TimeCalls(kCallPairsPerRound); calls.serviceCall >= 0) {
            results.calls.push_back(calls.serviceCall);
            results.bareCalls.push_back(calls.bareCall);
        }
        // The help command's samples are the start-up series above.
        for (size_t i = 1; i < catalogue.size(); ++i) {
            sampler.RunCommand(catalogue[i], results.commands[i]);
            watchdog.Beat();
        }
    }
    // The table's help row is the start-up series: the same command, many more samples.
    results.commands.front() = results.help;
    results.traceLineMs = TimeTraceLine(kTraceLines);
    results.pipeLines = plan.pipeLines;
    for (int i = 0; i < plan.pipeWriteRepeats; ++i) {
        const PipeWriteTiming pipe = TimePipeWrites(plan.pipeLines);
        if (pipe.perLine >= 0 && pipe.inOnePiece >= 0) {
            results.pipeWritesPerLine.push_back(pipe.perLine);
            results.pipeWritesAtOnce.push_back(pipe.inOnePiece);
        }
        watchdog.Beat();
    }

    results.scaleSta.label = "MinimalSta.exe";
    MeasureScale(results, results.idListScale, CasesOf(plan.idListCounts, &IdListCase), plan.scaleRounds,
                 sampler, watchdog);
    MeasureScale(results, results.removeAllScale, CasesOf(plan.removeAllCounts, &RemoveAllCase),
                 plan.removeAllRounds, sampler, watchdog);
    MeasureScale(results, results.large, {LargeTokenCase(files), RemoveAmongCase(kRemoveAmongCount)},
                 plan.largeRounds, sampler, watchdog);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        PrintTo(STD_ERROR_HANDLE, kUsage);
        return static_cast<int>(E_INVALIDARG);
    }
    const emulator::Apartment apartment;
    if (FAILED(apartment.Result())) {
        PrintTo(STD_ERROR_HANDLE, kNoApartment, static_cast<unsigned>(apartment.Result()));
        return static_cast<int>(apartment.Result());
    }
    if (const HRESULT hr = emulator::EnsureResident(); FAILED(hr)) {
        PrintTo(STD_ERROR_HANDLE, kNoEmulator, static_cast<unsigned>(hr));
        return static_cast<int>(hr);
    }

    BenchResults results;
    results.settings = Settings(options);
    try {
        const BenchFiles files = PrepareBenchFiles();
        Sampler sampler(quillet::testing::BinDirectory());
        Watchdog watchdog(kStallLimitMs);
        Measure(results, files, options.plan, sampler, watchdog);
        emulator::ClearScenario();
        emulator::ClearJournal();
        RemoveBenchFiles(files);
    } catch (const std::exception& problem) {
        PrintTo(STD_ERROR_HANDLE, kFailure, quillet::FromUtf8(problem.what()).c_str());
        return static_cast<int>(E_FAIL);
    }

    PrintTo(STD_ERROR_HANDLE, kProgress, L"writing the data");
    std::error_code ignored; // a folder that cannot be made fails the write below
    std::filesystem::create_directories(std::filesystem::path(options.data).parent_path(), ignored);
    // A problem quotes a child's output, which is in the console's code page rather than UTF-8.
    const std::string data = ToJson(results).dump(1, ' ', false, nlohmann::json::error_handler_t::replace);
    if (FAILED(quillet::WriteWholeFile(options.data, data))) {
        PrintTo(STD_ERROR_HANDLE, kCannotWrite, options.data.c_str());
        return static_cast<int>(E_FAIL);
    }
    if (const size_t failed = FailedSamples(results); failed > 0) {
        PrintTo(STD_ERROR_HANDLE, kSomeFailed, static_cast<unsigned>(failed));
        return static_cast<int>(E_FAIL);
    }
    return 0;
}
