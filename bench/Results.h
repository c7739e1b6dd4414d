#pragma once

#include "Sampler.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace quillet::bench {

// Everything one run of the benchmark measured, as raw samples in milliseconds. The driver writes it as
// JSON and measures nothing else: tools/report/render.py derives every figure and verdict from it.
struct BenchResults {
    nlohmann::ordered_json settings; // how the run was made (rounds, targets), as given by the driver

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
    std::vector<double> calls;     // GetClientState: the median of a round's pairs
    std::vector<double> bareCalls; // GetTypeInfoCount, likewise
    double traceLineMs = 0;
    int pipeLines = 0;                     // lines of the pipe write measurement
    std::vector<double> pipeWritesPerLine; // those lines written one write each, ms in all
    std::vector<double> pipeWritesAtOnce;  // the same bytes in one write
    // ActivationProbe's reports, each with "wall": its whole run as the driver timed it from outside.
    nlohmann::ordered_json probes = nlohmann::ordered_json::array();

    std::vector<Series> commands;       // the catalogue, help first
    std::vector<Series> idListScale;    // by number of applications
    std::vector<Series> removeAllScale; // by number of applications
    std::vector<Series> large;          // large service states, each with a limit of its own

    // Taken between the scale samples, for their floors: the load may have changed since the rounds.
    Series scaleSta;
    std::vector<double> scaleApplicationActivations;
    std::vector<double> scaleClientActivations;
    std::vector<double> scaleCacheActivations;
};

nlohmann::ordered_json ToJson(const BenchResults& results);

// How many samples of all series failed.
size_t FailedSamples(const BenchResults& results);

} // namespace quillet::bench
