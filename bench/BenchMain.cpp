// QuilletBench: the performance benchmark's driver. bench/run starts it under Wine with the emulator
// registered and resident; it measures Quillet's commands against their floor and writes the report.
//
//   QuilletBench --markdown <file> --plot-data <file> [--facts <file>] [--load-log <file>] [--rounds N]
//                [--scale-rounds N] [--remove-all-rounds N] [--large-rounds N]
// --facts names lines about the machine for the report's head; --load-log a file of "<time> <load>" lines
// that bench/run appends to while the benchmark runs, read once the measuring is done.

#include "CommandCases.h"
#include "Emulator.h"
#include "Report.h"
#include "Sampler.h"
#include "ServiceProbe.h"
#include "Watchdog.h"
#include "common/ToolOutput.h"
#include "win32/Utf8.h"
#include "win32/WholeFile.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace quillet::bench;
using quillet::tools::PrintTo;
namespace emulator = quillet::testing::emulator;

constexpr wchar_t kUsage[] =
    L"Usage: QuilletBench --markdown <file> --plot-data <file> [--facts <file>] [--load-log <file>]\n"
    L"                    [--rounds N] [--scale-rounds N] [--remove-all-rounds N] [--large-rounds N]\n"
    L"Measures Quillet.exe against the resident emulator; bench/run starts it.\n";
constexpr wchar_t kNoApartment[] = L"QuilletBench: cannot enter a COM apartment (0x%08X).\n";
constexpr wchar_t kNoEmulator[] = L"QuilletBench: the emulator is not resident (0x%08X).\n";
constexpr wchar_t kFailure[] = L"QuilletBench: %s\n";
constexpr wchar_t kCannotWrite[] = L"QuilletBench: cannot write %s\n";
constexpr wchar_t kProgress[] = L"%s\n";
constexpr wchar_t kRoundProgress[] = L"round %d of %d\n";
constexpr wchar_t kScaleProgress[] = L"%s (%s), round %d of %d\n";
constexpr wchar_t kSomeFailed[] = L"QuilletBench: %u samples failed; the report lists them.\n";

// Longer than any one sample may take (Sampler kills a child after 300 s).
constexpr ULONGLONG kStallLimitMs = 420000;
constexpr int kStartupsPerRound = 3;
constexpr int kActivationsPerRound = 2;
constexpr int kCallPairsPerRound = 20;
constexpr int kTraceLines = 200;
constexpr int kPipeLines = 10000; // the largest id list
constexpr int kPipeWriteRepeats = 5;
constexpr int kIdListCounts[] = {10, 100, 1000, 3000, 10000};
constexpr int kRemoveAllCounts[] = {1, 10, 30, 100};
constexpr int kRemoveAmongCount = 100000;

struct Options {
    std::wstring markdown;
    std::wstring plotData;
    std::wstring facts;
    std::wstring loadLog;
    int rounds = 11;
    int scaleRounds = 5;
    int removeAllRounds = 3;
    int largeRounds = 3;
};

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    const struct {
        const wchar_t* name;
        std::wstring* text;
        int* count;
        int minimum;
    } known[] = {
        {L"--markdown", &options.markdown, nullptr, 0},
        {L"--plot-data", &options.plotData, nullptr, 0},
        {L"--facts", &options.facts, nullptr, 0},
        {L"--load-log", &options.loadLog, nullptr, 0},
        {L"--rounds", nullptr, &options.rounds, 1},
        {L"--scale-rounds", nullptr, &options.scaleRounds, 0},
        {L"--remove-all-rounds", nullptr, &options.removeAllRounds, 0},
        {L"--large-rounds", nullptr, &options.largeRounds, 0},
    };
    for (int i = 1; i + 1 < argc; i += 2) {
        const auto option = std::find_if(std::begin(known), std::end(known), [&](const auto& entry) {
            return std::wstring_view(argv[i]) == entry.name;
        });
        if (option == std::end(known)) {
            return false;
        }
        if (option->text != nullptr) {
            *option->text = argv[i + 1];
            continue;
        }
        wchar_t* end = nullptr;
        const long value = std::wcstol(argv[i + 1], &end, 10);
        if (end == argv[i + 1] || *end != L'\0' || value < option->minimum || value > 1000) {
            return false;
        }
        *option->count = static_cast<int>(value);
    }
    return argc % 2 == 1 && !options.markdown.empty() && !options.plotData.empty();
}

// The non-empty lines of a text file (CR LF or LF); none when it cannot be read.
std::vector<std::string> Lines(const std::wstring& path) {
    std::string text;
    std::vector<std::string> lines;
    if (FAILED(quillet::ReadWholeFile(path, text))) {
        return lines;
    }
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(std::move(line));
        }
    }
    return lines;
}

std::wstring BinDirectory() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring self(path, length);
    return self.substr(0, self.find_last_of(L'\\'));
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
// of the minimal program and a bare activation of each class after every sample for the floors. No rounds
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
            sampler.RunProgram(L"MinimalConsole.exe", results.scaleMinimal);
            AddIfMeasured(TimeActivation(ServiceClass::Application).total,
                          results.scaleApplicationActivations);
            AddIfMeasured(TimeActivation(ServiceClass::Client).total, results.scaleClientActivations);
            AddIfMeasured(TimeActivation(ServiceClass::Cache).total, results.scaleCacheActivations);
            watchdog.Beat();
        }
    }
}

template <size_t N> std::vector<CommandCase> CasesOf(const int (&counts)[N], CommandCase (*makeCase)(int)) {
    std::vector<CommandCase> cases;
    for (const int count : counts) {
        cases.push_back(makeCase(count));
    }
    return cases;
}

void Measure(BenchResults& results, const BenchFiles& files, const Options& options, Sampler& sampler,
             Watchdog& watchdog) {
    const std::vector<CommandCase> catalogue = CommandCatalogue(files);
    results.minimal.label = "MinimalConsole.exe";
    results.ole32.label = "MinimalOle32.exe";
    results.sta.label = "MinimalSta.exe";
    results.help.label = "-h";
    for (const CommandCase& command : catalogue) {
        results.commands.push_back(SeriesOf(command));
    }

    // One run of everything first, unrecorded: the files are read from disk once, the emulator has its
    // proxies and stubs, and the first sample is not the odd one out.
    {
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
    for (int round = 1; round <= options.rounds; ++round) {
        PrintTo(STD_ERROR_HANDLE, kRoundProgress, round, options.rounds);
        for (int i = 0; i < kStartupsPerRound; ++i) {
            sampler.RunProgram(L"MinimalConsole.exe", results.minimal);
            sampler.RunProgram(L"MinimalOle32.exe", results.ole32);
            sampler.RunProgram(L"MinimalSta.exe", results.sta);
            sampler.RunCommand(helpCase, results.help);
            watchdog.Beat();
        }
        const TimedRun probe = sampler.RunProbe();
        ParseProbeLine(probe.output, probe.milliseconds, results.probe);
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
    results.pipeLines = kPipeLines;
    for (int i = 0; i < kPipeWriteRepeats; ++i) {
        const PipeWriteTiming pipe = TimePipeWrites(kPipeLines);
        if (pipe.perLine >= 0 && pipe.inOnePiece >= 0) {
            results.pipeWritesPerLine.push_back(pipe.perLine);
            results.pipeWritesAtOnce.push_back(pipe.inOnePiece);
        }
        watchdog.Beat();
    }

    results.scaleMinimal.label = "MinimalConsole.exe";
    MeasureScale(results, results.idListScale, CasesOf(kIdListCounts, &IdListCase), options.scaleRounds,
                 sampler, watchdog);
    MeasureScale(results, results.removeAllScale, CasesOf(kRemoveAllCounts, &RemoveAllCase),
                 options.removeAllRounds, sampler, watchdog);
    MeasureScale(results, results.large, {LargeTokenCase(files), RemoveAmongCase(kRemoveAmongCount)},
                 options.largeRounds, sampler, watchdog);
}

// "Load average ...: min, median, max" of the load log's second column; empty without samples.
std::string LoadSummary(const std::vector<std::string>& log) {
    std::vector<double> loads;
    for (const std::string& line : log) {
        if (const size_t blank = line.find(' '); blank != std::string::npos) {
            loads.push_back(std::strtod(line.c_str() + blank + 1, nullptr));
        }
    }
    if (loads.empty()) {
        return {};
    }
    const Summary load = Summarize(loads);
    char text[200];
    std::snprintf(text, sizeof text,
                  "Load average (1 min) during the run, every 5 s: lowest %.2f, median %.2f, highest %.2f.",
                  load.minimum, load.median, load.maximum);
    return text;
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
    results.rounds = options.rounds;
    results.startupsPerRound = kStartupsPerRound;
    results.callPairsPerRound = kCallPairsPerRound;
    results.scaleRounds = options.scaleRounds;
    results.removeAllRounds = options.removeAllRounds;
    results.largeRounds = options.largeRounds;
    if (!options.facts.empty()) {
        results.facts = Lines(options.facts);
    }

    try {
        const BenchFiles files = PrepareBenchFiles();
        Sampler sampler(BinDirectory());
        Watchdog watchdog(kStallLimitMs);
        Measure(results, files, options, sampler, watchdog);
        emulator::ClearScenario();
        emulator::ClearJournal();
        RemoveBenchFiles(files);
        if (!options.loadLog.empty()) {
            if (std::string load = LoadSummary(Lines(options.loadLog)); !load.empty()) {
                results.facts.push_back(std::move(load));
            }
        }
    } catch (const std::exception& problem) {
        PrintTo(STD_ERROR_HANDLE, kFailure, quillet::FromUtf8(problem.what()).c_str());
        return static_cast<int>(E_FAIL);
    }

    PrintTo(STD_ERROR_HANDLE, kProgress, L"writing the report");
    for (const auto& [path, text] : {std::pair{&options.markdown, RenderMarkdown(results)},
                                     std::pair{&options.plotData, RenderPlotData(results)}}) {
        if (FAILED(quillet::WriteWholeFile(*path, text))) {
            PrintTo(STD_ERROR_HANDLE, kCannotWrite, path->c_str());
            return static_cast<int>(E_FAIL);
        }
    }
    if (const size_t failed = FailedSamples(results); failed > 0) {
        PrintTo(STD_ERROR_HANDLE, kSomeFailed, static_cast<unsigned>(failed));
        return static_cast<int>(E_FAIL);
    }
    return 0;
}
