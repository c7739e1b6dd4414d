#pragma once

#include "Sampler.h"
#include "ServiceWork.h"
#include "Statistics.h"

#include <string>
#include <vector>

namespace quillet::bench {

// ActivationProbe's timings, one entry per run: CoInitializeEx, the first activation in the process and
// the mean of the second and third (each create, Initialize and release), as it measured them, and its
// whole run as the driver timed it from outside.
struct ProbeTimes {
    std::vector<double> enter;
    std::vector<double> first;
    std::vector<double> later;
    std::vector<double> wall;
};

// Everything one run of the benchmark measured.
struct BenchResults {
    std::vector<std::string> facts; // lines about the machine, in the order given
    int rounds = 0;
    int startupsPerRound = 0;
    int callPairsPerRound = 0;
    int scaleRounds = 0;
    int removeAllRounds = 0;
    int largeRounds = 0;

    Series minimal; // MinimalConsole.exe
    Series ole32;   // MinimalOle32.exe
    Series sta;     // MinimalSta.exe
    Series help;    // Quillet.exe -h

    std::vector<double> applicationActivations;
    std::vector<double> clientActivations;
    std::vector<double> cacheActivations;
    std::vector<double> activationCreate; // the steps of every bare activation above, all classes
    std::vector<double> activationInitialize;
    std::vector<double> activationRelease;
    std::vector<double> calls;     // GetClientState
    std::vector<double> bareCalls; // GetTypeInfoCount
    double traceLineMs = 0;
    int pipeLines = 0;                     // lines of the pipe write measurement
    std::vector<double> pipeWritesPerLine; // those lines written one write each, ms in all
    std::vector<double> pipeWritesAtOnce;  // the same bytes in one write
    ProbeTimes probe;

    std::vector<Series> commands;       // the catalogue, help first
    std::vector<Series> idListScale;    // by number of applications
    std::vector<Series> removeAllScale; // by number of applications
    std::vector<Series> large;          // large service states, each with a limit of its own

    // Taken between the scale samples, for their floors: the load may have changed since the rounds.
    Series scaleMinimal;
    std::vector<double> scaleApplicationActivations;
    std::vector<double> scaleClientActivations;
    std::vector<double> scaleCacheActivations;
};

// Reads ActivationProbe's line, and the driver's time of that run, into times; false (and nothing added)
// when it is not such a line.
bool ParseProbeLine(const std::string& line, double wallMilliseconds, ProbeTimes& times);

// The targets, as the report states them.
inline constexpr double kHelpTarget = 1.10;
inline constexpr double kCommandTarget = 1.25;
inline constexpr double kScaleTarget = 3.0;

// docs/performance.md, whole.
std::string RenderMarkdown(const BenchResults& results);

// The plot's data for gnuplot: two blocks (id list, remove all), each a line per number of applications:
// count, median, lower quartile, upper quartile, floor (milliseconds).
std::string RenderPlotData(const BenchResults& results);

// How many samples of all series failed.
size_t FailedSamples(const BenchResults& results);

} // namespace quillet::bench
