// QuilletBench: the performance benchmark's driver. bench/run starts it under Wine with the emulator
// registered and resident; it measures Quillet's commands against their floor and writes the report.
//
//   QuilletBench --markdown <file> --plot-data <file> [--facts <file>] [--load-log <file>]
//                [--samples <file>] [--rounds N] [--scale-rounds N] [--remove-all-rounds N]
// --facts names lines about the machine for the report's head; --load-log a file of "<time> <load>" lines
// that bench/run appends to while the benchmark runs, read once the measuring is done; --samples receives
// every sample (tab-separated) for a closer look.

#include "BenchFiles.h"
#include "EmulatorControl.h"
#include "Report.h"
#include "Sampler.h"
#include "ServiceProbe.h"
#include "Watchdog.h"
#include "common/ToolOutput.h"
#include "win32/Utf8.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <vector>
#include <string>
#include <string_view>

namespace {

using namespace quillet::bench;
using quillet::tools::PrintTo;
namespace emulator = quillet::testing::emulator;

constexpr wchar_t kUsage[] =
    L"Usage: QuilletBench --markdown <file> --plot-data <file> [--facts <file>] [--load-log <file>]\n"
    L"                    [--samples <file>] [--rounds N] [--scale-rounds N] [--remove-all-rounds N]\n"
    L"Measures Quillet.exe against the resident emulator; bench/run starts it.\n";
constexpr wchar_t kNoApartment[] = L"QuilletBench: cannot enter a COM apartment (0x%08X).\n";
constexpr wchar_t kNoEmulator[] = L"QuilletBench: the emulator is not resident (0x%08X).\n";
constexpr wchar_t kFailure[] = L"QuilletBench: %s\n";
constexpr wchar_t kCannotWrite[] = L"QuilletBench: cannot write %s\n";
constexpr wchar_t kProgress[] = L"%s\n";
constexpr wchar_t kRoundProgress[] = L"round %d of %d\n";
constexpr wchar_t kScaleProgress[] = L"%s with %d applications, round %d of %d\n";
constexpr wchar_t kSomeFailed[] = L"QuilletBench: %d samples failed; the report lists them.\n";

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

struct Options {
    std::wstring markdown;
    std::wstring plotData;
    std::wstring facts;
    std::wstring loadLog;
    std::wstring samples;
    int rounds = 11;
    int scaleRounds = 5;
    int removeAllRounds = 3;
};

bool ParseCount(const wchar_t* text, int minimum, int& count) {
    wchar_t* end = nullptr;
    const long value = wcstol(text, &end, 10);
    if (end == text || *end != L'\0' || value < minimum || value > 1000) {
        return false;
    }
    count = static_cast<int>(value);
    return true;
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring_view name = argv[i];
        const wchar_t* value = argv[i + 1];
        if (name == L"--markdown") {
            options.markdown = value;
        } else if (name == L"--plot-data") {
            options.plotData = value;
        } else if (name == L"--facts") {
            options.facts = value;
        } else if (name == L"--samples") {
            options.samples = value;
        } else if (name == L"--load-log") {
            options.loadLog = value;
        } else if (name == L"--rounds") {
            if (!ParseCount(value, 1, options.rounds)) {
                return false;
            }
        } else if (name == L"--scale-rounds") {
            if (!ParseCount(value, 0, options.scaleRounds)) {
                return false;
            }
        } else if (name == L"--remove-all-rounds") {
            if (!ParseCount(value, 0, options.removeAllRounds)) {
                return false;
            }
        } else {
            return false;
        }
    }
    return argc % 2 == 1 && !options.markdown.empty() && !options.plotData.empty();
}

class Apartment {
public:
    Apartment() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~Apartment() {
        if (SUCCEEDED(m_hr)) {
            CoUninitialize();
        }
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty()) {
            lines.push_back(line);
        }
        start = end + 1;
    }
    return lines;
}

std::wstring BinDirectory() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring self(path, length);
    return self.substr(0, self.find_last_of(L'\\'));
}

Series Named(const std::string& label, const std::string& situation = "") {
    Series series;
    series.label = label;
    series.situation = situation;
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

// One series for each number of applications, sampled round by round so that every number sees the same
// load, with a start-up of the minimal program and a bare activation of each class after every sample
// for the floors. No rounds asked for: no series at all, rather than empty rows.
template <size_t N>
void MeasureScale(BenchResults& results, std::vector<std::pair<int, Series>>& scale, const int (&counts)[N],
                  CommandCase (*makeCase)(int), int rounds, const wchar_t* name, Sampler& sampler,
                  Watchdog& watchdog) {
    if (rounds <= 0) {
        return;
    }
    std::vector<CommandCase> cases;
    for (const int count : counts) {
        cases.push_back(makeCase(count));
        scale.emplace_back(count, Named(cases.back().label, cases.back().situation));
    }
    for (int round = 1; round <= rounds; ++round) {
        for (size_t i = 0; i < cases.size(); ++i) {
            PrintTo(STD_ERROR_HANDLE, kScaleProgress, name, counts[i], round, rounds);
            sampler.RunCommand(cases[i], scale[i].second);
            sampler.RunProgram(L"MinimalConsole.exe", results.scaleMinimal);
            AddIfMeasured(TimeActivation(ServiceClass::Application).total,
                          results.scaleApplicationActivations);
            AddIfMeasured(TimeActivation(ServiceClass::Client).total, results.scaleClientActivations);
            AddIfMeasured(TimeActivation(ServiceClass::Cache).total, results.scaleCacheActivations);
            watchdog.Beat();
        }
    }
}

void Measure(BenchResults& results, const BenchFiles& files, const Options& options, Sampler& sampler,
             Watchdog& watchdog) {
    const std::vector<CommandCase> catalogue = CommandCatalogue(files);
    results.minimal = Named("MinimalConsole.exe");
    results.ole32 = Named("MinimalOle32.exe");
    results.sta = Named("MinimalSta.exe");
    results.help = Named("-h");
    for (const CommandCase& command : catalogue) {
        results.commands.push_back(Named(command.label, command.situation));
    }

    // One run of everything first, unrecorded: the files are read from disk once, the emulator has its
    // proxies and stubs, and the first sample is not the odd one out.
    {
        Series discard;
        sampler.RunProgram(L"MinimalConsole.exe", discard);
        sampler.RunProgram(L"MinimalOle32.exe", discard);
        sampler.RunProgram(L"MinimalSta.exe", discard);
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

    results.scaleMinimal = Named("MinimalConsole.exe");
    MeasureScale(results, results.idListScale, kIdListCounts, &IdListCase, options.scaleRounds, L"getIdList",
                 sampler, watchdog);
    MeasureScale(results, results.removeAllScale, kRemoveAllCounts, &RemoveAllCase, options.removeAllRounds,
                 L"remove all", sampler, watchdog);
}

// "Load average ...: min, median, max" of the load log's second column; empty without samples.
std::string LoadSummary(const std::string& log) {
    std::vector<double> loads;
    for (const std::string& line : Lines(log)) {
        const size_t blank = line.find(' ');
        if (blank != std::string::npos) {
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

int FailedSamples(const BenchResults& results) {
    size_t failed = results.minimal.problems.size() + results.ole32.problems.size() +
                    results.sta.problems.size() + results.help.problems.size();
    for (const Series& series : results.commands) {
        failed += series.problems.size();
    }
    for (const auto* scale : {&results.idListScale, &results.removeAllScale}) {
        for (const auto& entry : *scale) {
            failed += entry.second.problems.size();
        }
    }
    // The help series stands in the commands' table as well.
    failed -= results.help.problems.size();
    return static_cast<int>(failed);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        PrintTo(STD_ERROR_HANDLE, kUsage);
        return static_cast<int>(E_INVALIDARG);
    }
    const Apartment apartment;
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
    if (!options.facts.empty()) {
        results.facts = Lines(ReadText(options.facts));
    }

    try {
        const BenchFiles files = PrepareBenchFiles();
        Sampler sampler(BinDirectory());
        Watchdog watchdog(kStallLimitMs);
        Measure(results, files, options, sampler, watchdog);
        emulator::ClearScenario();
        emulator::ClearJournal();
        RemoveBenchFiles(files, emulator::CacheFolder());
        if (!options.loadLog.empty()) {
            if (std::string load = LoadSummary(ReadText(options.loadLog)); !load.empty()) {
                results.facts.push_back(std::move(load));
            }
        }
    } catch (const std::exception& problem) {
        PrintTo(STD_ERROR_HANDLE, kFailure, quillet::FromUtf8(problem.what()).c_str());
        return static_cast<int>(E_FAIL);
    }

    PrintTo(STD_ERROR_HANDLE, kProgress, L"writing the report");
    if (!WriteText(options.markdown, RenderMarkdown(results))) {
        PrintTo(STD_ERROR_HANDLE, kCannotWrite, options.markdown.c_str());
        return static_cast<int>(E_FAIL);
    }
    if (!WriteText(options.plotData, RenderPlotData(results))) {
        PrintTo(STD_ERROR_HANDLE, kCannotWrite, options.plotData.c_str());
        return static_cast<int>(E_FAIL);
    }
    if (!options.samples.empty() && !WriteText(options.samples, RenderSamples(results))) {
        PrintTo(STD_ERROR_HANDLE, kCannotWrite, options.samples.c_str());
        return static_cast<int>(E_FAIL);
    }
    if (const int failed = FailedSamples(results); failed > 0) {
        PrintTo(STD_ERROR_HANDLE, kSomeFailed, failed);
        return static_cast<int>(E_FAIL);
    }
    return 0;
}
