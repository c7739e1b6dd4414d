#include "Report.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace quillet::bench {

namespace {

// Within this, the model accounts for a command's time; the machine's noise is of that order.
constexpr double kModelTolerance = 0.15;

std::string Format(const char* format, ...) {
    char buffer[4096]; // more than the longest paragraph
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return length < 0 ? std::string()
                      : std::string(buffer, std::min(static_cast<size_t>(length), sizeof buffer - 1));
}

double Median(const std::vector<double>& samples) {
    return Summarize(samples).median;
}

std::string Ms(double milliseconds) {
    return Format("%.1f", milliseconds);
}

std::string Times(double ratio) {
    return Format("%.2f×", ratio);
}

std::string Verdict(bool met) {
    return met ? "met" : "**missed**";
}

std::string Code(const std::string& text) {
    return "`" + text + "`";
}

std::string WithThousands(int number) {
    const std::string digits = std::to_string(number);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        grouped += i > 0 && (digits.size() - i) % 3 == 0 ? "," : "";
        grouped += digits[i];
    }
    return grouped;
}

std::string Row(const std::vector<std::string>& cells) {
    std::string row = "|";
    for (const std::string& cell : cells) {
        row += " " + cell + " |";
    }
    return row + "\n";
}

// The medians that every evaluation uses.
struct Costs {
    double minimal = 0;
    double sta = 0;
    ActivationCosts activation;
    double call = 0;
    // What a process that uses the service pays once, beyond its activations and MinimalSta's start-up:
    // its first activation's set-up and the longer end of a process with connections to tear down.
    double processOverhead = 0;
};

Costs MedianCosts(const BenchResults& results) {
    Costs costs;
    costs.minimal = Median(results.minimal.milliseconds);
    costs.sta = Median(results.sta.milliseconds);
    costs.activation = {Median(results.applicationActivations), Median(results.clientActivations),
                        Median(results.cacheActivations)};
    costs.call = Median(results.calls);
    // Each probe run less its three activations is a start-up like MinimalSta's plus what using the service
    // added to the process once.
    std::vector<double> outside;
    for (size_t i = 0; i < results.probe.wall.size(); ++i) {
        outside.push_back(results.probe.wall[i] - results.probe.first[i] - 2 * results.probe.later[i]);
    }
    if (!outside.empty()) {
        costs.processOverhead = std::max(0.0, Median(outside) - costs.sta + Median(results.probe.first) -
                                                  Median(results.probe.later));
    }
    return costs;
}

// The same with the start-up and activations sampled in the scale phase, where there are any.
Costs ScaleCosts(const BenchResults& results) {
    Costs costs = MedianCosts(results);
    if (!results.scaleMinimal.milliseconds.empty()) {
        costs.minimal = Median(results.scaleMinimal.milliseconds);
    }
    if (!results.scaleClientActivations.empty()) {
        costs.activation = {Median(results.scaleApplicationActivations),
                            Median(results.scaleClientActivations), Median(results.scaleCacheActivations)};
    }
    return costs;
}

// One row of the report: a series against its floor.
struct Evaluation {
    Summary time;
    ServiceWork work;        // of the first sample
    bool workVaries = false; // the samples did not all do the same service work
    double floor = 0;        // minimal start-up + one bare activation per object
    double ratio = 0;        // median / floor
    double staFloor = 0;     // the same floor above MinimalSta instead of MinimalConsole
    double model = 0;        // staFloor + the first activation's set-up + the calls beyond Initialize
};

Evaluation Evaluate(const Series& series, const Costs& costs) {
    Evaluation evaluation;
    evaluation.time = Summarize(series.milliseconds);
    if (!series.work.empty()) {
        evaluation.work = series.work.front();
        evaluation.workVaries =
            std::any_of(series.work.begin(), series.work.end(),
                        [&](const ServiceWork& work) { return !(work == evaluation.work); });
    }
    evaluation.floor = Floor(costs.minimal, evaluation.work, costs.activation);
    evaluation.staFloor = Floor(costs.sta, evaluation.work, costs.activation);
    evaluation.ratio = evaluation.floor > 0 ? evaluation.time.median / evaluation.floor : 0;
    evaluation.model = evaluation.staFloor;
    if (evaluation.work.Objects() > 0) {
        // Each object's Initialize is part of its activation; every other call is a round trip of its own.
        const int otherCalls = std::max(0, evaluation.work.calls - evaluation.work.Objects());
        evaluation.model += costs.processOverhead + otherCalls * costs.call;
    }
    return evaluation;
}

// The cells that the commands' and the scale's tables share, padded to columns when there is no sample.
std::vector<std::string> MeasuredCells(const Series& series, const Evaluation& row, size_t columns) {
    if (row.time.count == 0) {
        std::vector<std::string> cells = {Code(series.label), series.situation, "", "",
                                          "no sample ended as expected"};
        cells.resize(columns - 1);
        cells.push_back("**no data**");
        return cells;
    }
    return {Code(series.label),
            series.situation,
            Format("%d (%d/%d/%d)%s", row.work.Objects(), row.work.applicationObjects, row.work.clientObjects,
                   row.work.cacheObjects, row.workVaries ? " (varies)" : ""),
            std::to_string(row.work.calls),
            Ms(row.time.median),
            Format("%.1f–%.1f", row.time.lowerQuartile, row.time.upperQuartile),
            Ms(row.floor),
            Times(row.ratio)};
}

// The id list's ratio of its largest to its smallest count, when both were measured.
struct ScaleRatio {
    bool measured = false;
    int small = 0;
    int large = 0;
    double ratio = 0;
};

ScaleRatio IdListRatio(const BenchResults& results) {
    if (results.idListScale.size() < 2) {
        return {};
    }
    const Series& small = results.idListScale.front();
    const Series& large = results.idListScale.back();
    const double smallMedian = Median(small.milliseconds);
    if (large.milliseconds.empty() || smallMedian <= 0) {
        return {};
    }
    return {true, small.applications, large.applications, Median(large.milliseconds) / smallMedian};
}

// Every series whose samples count, each once (the help row of the commands stands for results.help).
std::vector<const Series*> AllSeries(const BenchResults& results) {
    std::vector<const Series*> all = {&results.minimal, &results.ole32, &results.sta};
    for (const auto* group :
         {&results.commands, &results.idListScale, &results.removeAllScale, &results.large}) {
        for (const Series& series : *group) {
            all.push_back(&series);
        }
    }
    return all;
}

// The command whose median lies furthest from the model, and how far, as a fraction of the model.
struct ModelDeviation {
    std::string label;
    double fraction = 0;
    double milliseconds = 0; // median − model
};

ModelDeviation WorstModelDeviation(const BenchResults& results, const std::vector<Evaluation>& evaluations) {
    ModelDeviation worst;
    for (size_t i = 0; i < results.commands.size(); ++i) {
        const Evaluation& row = evaluations[i];
        if (row.time.count > 0 && row.work.Objects() > 0 && row.model > 0) {
            const double fraction = std::abs(row.time.median - row.model) / row.model;
            if (fraction > worst.fraction) {
                worst = {results.commands[i].label, fraction, row.time.median - row.model};
            }
        }
    }
    return worst;
}

void AppendAnalysis(std::string& out, const BenchResults& results, const Costs& costs,
                    const std::vector<Evaluation>& evaluations) {
    const double minimal = costs.minimal;
    const double ole32 = Median(results.ole32.milliseconds);
    const double sta = costs.sta;
    const double help = Median(results.help.milliseconds);
    const double activation =
        (costs.activation.application + costs.activation.client + costs.activation.cache) / 3;
    const double staRatio = minimal > 0 ? sta / minimal : 0;

    out += "## Where the time goes\n\n### Start-up: the apartment\n\n";
    out += Format(
        "- Importing ole32 costs %.1f ms (MinimalOle32 against MinimalConsole): Wine then loads user32,\n"
        "  gdi32, rpcrt4 and combase, and user32 sets itself up.\n"
        "- Entering and leaving a single-threaded apartment costs %.1f ms more (MinimalSta against\n"
        "  MinimalOle32): its message window is the process's first, so user32 registers its classes.\n"
        "- A program that enters an apartment thus starts in %.1f ms, %.2f× the minimal program. Quillet\n"
        "  enters it before it reads its command line (exit code 1603 when it cannot, even for `-h`), and\n"
        "  `Quillet -h` takes %.1f ms above that (oleaut32, finding and printing the help resource).\n",
        ole32 - minimal, sta - ole32, sta, staRatio, help - sta);
    // The verdict and its reason follow the figures of this run, not the ones of an earlier one.
    if (minimal > 0 && help / minimal <= kHelpTarget) {
        out += Format("- The `-h` target (%.2f×) is met.\n\n", kHelpTarget);
    } else {
        out +=
            Format(staRatio > kHelpTarget
                       ? "- **The `-h` target (%.2f×) is missed for this reason**: the apartment alone costs "
                         "%.2f×,\n  and it cannot move after the parsing without losing exit code 1603.\n\n"
                       : "- **The `-h` target (%.2f×) is missed**, although the apartment alone stays within "
                         "it\n  (%.2f×): the rest is Quillet's own start-up, above.\n\n",
                   kHelpTarget, staRatio);
    }

    out += "### Activation and calls\n\n";
    out += Format(
        "- The emulator's own work in a call (state check, journal line) is %.2f ms: `GetClientState` less\n"
        "  `GetTypeInfoCount`, which needs none. `Initialize` costs more than a later call: Wine's COM "
        "opens\n"
        "  a connection for every unmarshalled object at its first call, and the server starts a thread.\n"
        "- A fresh process pays more for its first activation (oleaut32's marshaller and the proxy are\n"
        "  built) and ends more slowly once it had connections: %.1f ms once per process beyond\n"
        "  MinimalSta's start-up and the activations (ActivationProbe), which the floor leaves out.\n\n",
        costs.call - Median(results.bareCalls), costs.processOverhead);

    out += "### Commands against their floor\n\n";
    const double unavoidable = (sta - minimal) + costs.processOverhead;
    const ModelDeviation deviation = WorstModelDeviation(results, evaluations);
    out += Format(
        "- Above its floor every command that reaches the service pays the apartment (%.1f ms), the\n"
        "  once-per-process cost (%.1f ms) and a round trip for each call beyond `Initialize` (%.2f ms\n"
        "  each): the model column. The medians lie within %.1f%% of it (furthest: %s, %+.1f ms).\n",
        sta - minimal, costs.processOverhead, costs.call, 100 * deviation.fraction,
        deviation.label.empty() ? "none" : Code(deviation.label).c_str(), deviation.milliseconds);
    out +=
        deviation.fraction <= kModelTolerance
            ? Format("  That is within the model's tolerance of %.0f%%: Quillet adds nothing measurable of "
                     "its own.\n",
                     100 * kModelTolerance)
            : "  What lies above the model is Quillet's own work or what the model leaves out.\n";
    if (activation > 0) {
        // The target allows a quarter of the floor above it: minimal + k activations, so k must reach
        // (4 × unavoidable − minimal) / activation before a command can meet it at all.
        const double needed = std::max(0.0, std::ceil((4 * unavoidable - minimal) / activation));
        const bool anyMissed = std::any_of(evaluations.begin(), evaluations.end(),
                                           [](const Evaluation& row) { return row.ratio > kCommandTarget; });
        out +=
            Format("- The target allows %.0f%% above the floor. A command pays %.1f ms that the floor does "
                   "not\n  count, so it can meet the target only with a floor above %.1f ms, that is %.0f "
                   "service objects\n  or more.%s\n\n",
                   100 * (kCommandTarget - 1), unavoidable, unavoidable / (kCommandTarget - 1), needed,
                   anyMissed ? " **Commands with fewer miss it for the same reason as `-h`**." : "");
    }

    out += "### Scale\n\n";
    if (const ScaleRatio scale = IdListRatio(results); scale.measured) {
        const double small = Median(results.idListScale.front().milliseconds);
        const double large = Median(results.idListScale.back().milliseconds);
        out += Format(
            "- `application getIdList` at %s applications takes %.2f× its time at %s: %.1f µs for each\n"
            "  further application (its part of the reply, its copy and its printed line).\n",
            WithThousands(scale.large).c_str(), scale.ratio, WithThousands(scale.small).c_str(),
            1000 * (large - small) / (scale.large - scale.small));
    }
    if (!results.pipeWritesPerLine.empty()) {
        out += Format(
            "- Under Wine every write to a pipe is a round trip to the server: %s lines written one by\n"
            "  one take %.1f ms, in one write %.1f ms. So Quillet writes redirected output in 64 KB\n"
            "  pieces, as a buffered C runtime stream does; a console gets every text at once.\n",
            WithThousands(results.pipeLines).c_str(), Median(results.pipeWritesPerLine),
            Median(results.pipeWritesAtOnce));
    }
    if (!results.removeAllScale.empty()) {
        const Series& series = results.removeAllScale.back();
        const Evaluation row = Evaluate(series, ScaleCosts(results));
        if (row.time.count > 0 && series.applications > 0) {
            const int count = series.applications;
            out += Format(
                "- `application remove all` with %d applications takes %.1f s, %.0f ms an application,\n"
                "  %.2f× its floor: %d service objects, %.1f for each application, whose activations\n"
                "  are most of its time.\n",
                count, row.time.median / 1000, row.time.median / count, row.ratio, row.work.Objects(),
                static_cast<double>(row.work.Objects()) / count);
        }
    }
    out += "\n";
}

} // namespace

bool ParseProbeLine(const std::string& line, double wallMilliseconds, ProbeTimes& times) {
    double enter = 0;
    double create[3] = {};
    double initialize[3] = {};
    double release[3] = {};
    const int read =
        std::sscanf(line.c_str(), "enter=%lf create=%lf,%lf,%lf initialize=%lf,%lf,%lf release=%lf,%lf,%lf",
                    &enter, &create[0], &create[1], &create[2], &initialize[0], &initialize[1],
                    &initialize[2], &release[0], &release[1], &release[2]);
    if (read != 10) {
        return false;
    }
    times.enter.push_back(enter);
    times.first.push_back(create[0] + initialize[0] + release[0]);
    times.later.push_back((create[1] + initialize[1] + release[1] + create[2] + initialize[2] + release[2]) /
                          2);
    times.wall.push_back(wallMilliseconds);
    return true;
}

std::string RenderMarkdown(const BenchResults& results) {
    const Costs costs = MedianCosts(results);
    const Costs scaleCosts = ScaleCosts(results);
    const Summary minimal = Summarize(results.minimal.milliseconds);
    const Summary help = Summarize(results.help.milliseconds);
    const double helpRatio = minimal.median > 0 ? help.median / minimal.median : 0;

    std::vector<Evaluation> evaluations;
    int commandsMet = 0;
    size_t worst = 0;
    for (const Series& series : results.commands) {
        evaluations.push_back(Evaluate(series, costs));
        const Evaluation& row = evaluations.back();
        commandsMet += row.ratio > 0 && row.ratio <= kCommandTarget ? 1 : 0;
        if (row.time.count > 0 && row.ratio > evaluations[worst].ratio) {
            worst = evaluations.size() - 1;
        }
    }
    const ScaleRatio scale = IdListRatio(results);

    std::string out;
    out += "# Performance\n\n";
    out += "Generated by `bench/run`, which builds the benchmark, runs `QuilletBench.exe` under Wine\n"
           "against the resident emulator and writes this file and `performance.png`. Nothing here is typed\n"
           "by hand: run `bench/run` again to regenerate both.\n\n";
    for (const std::string& fact : results.facts) {
        out += "- " + fact + "\n";
    }

    out += "\n## Targets\n\n| Target | Measured | Verdict |\n|---|---|---|\n";
    out += Row({Format("`Quillet -h` within %.2f× of the minimal console program", kHelpTarget),
                Times(helpRatio) + " (" + Ms(help.median) + " ms against " + Ms(minimal.median) + " ms)",
                Verdict(helpRatio > 0 && helpRatio <= kHelpTarget)});
    if (!results.commands.empty()) {
        out += Row({Format("every command within %.2f× of its activation floor", kCommandTarget),
                    Format("%d of %zu within; highest ", commandsMet, results.commands.size()) +
                        Code(results.commands[worst].label) + " at " + Times(evaluations[worst].ratio),
                    Verdict(commandsMet == static_cast<int>(results.commands.size()))});
    }
    if (scale.measured) {
        out += Row({"`application getIdList` at " + WithThousands(scale.large) + " applications within " +
                        Format("%.0f", kScaleTarget) + "× its time at " + WithThousands(scale.small),
                    Times(scale.ratio), Verdict(scale.ratio <= kScaleTarget)});
    }
    for (const Series& series : results.large) {
        const Summary time = Summarize(series.milliseconds);
        out += Row(
            {Code(series.label) + ", " + series.situation + Format(": under %.0f s", series.limitMs / 1000),
             time.count > 0 ? Format("%.2f s", time.median / 1000) : "no data",
             Verdict(time.count > 0 && time.median < series.limitMs)});
    }

    out += Format(
        "\n## How it is measured\n\n"
        "- `QuilletBench.exe` runs under Wine and times every program it starts with `CreateProcess`, by\n"
        "  `QueryPerformanceCounter`, from just before the call until it sees the process end: the Linux\n"
        "  side's Wine loader is never timed. Standard output and error go into a pipe that it reads.\n"
        "- %d rounds. A round runs each reference program and `Quillet -h` %d times, ActivationProbe and\n"
        "  every command of the table once, and makes two bare activations of each class and %d pairs of\n"
        "  round trips in the driver (their medians count as one sample), so that every figure sees the\n"
        "  same load. Figures are medians; the quartiles and the extremes show the spread.\n"
        "- Before each sample of a command, `state.json` is rewritten to its situation (the table's second\n"
        "  column), the driver makes one call so that the emulator reads it, and the journal is emptied.\n"
        "  Every timed run starts 150 ms after the driver's last action. A sample counts only when its exit\n"
        "  code and output are the expected ones.\n"
        "- The **floor** of a command is the minimal program's start-up plus one bare activation (create,\n"
        "  `Initialize`, release, in the driver's warm process) for each service object that it created,\n"
        "  by class, as the journal's `\"event\":\"create\"` lines count them for that sample. The **STA\n"
        "  floor** is the same above `MinimalSta.exe`. The **model** adds what a fresh process pays once "
        "and\n"
        "  a round trip for every call beyond each `Initialize`; what remains is Quillet's own work.\n"
        "- Scale: %d rounds of `application getIdList` at each number of applications, %d of `application\n"
        "  remove all`, %d of each large service state, the rows interleaved within a round.\n",
        results.rounds, results.startupsPerRound, results.callPairsPerRound, results.scaleRounds,
        results.removeAllRounds, results.largeRounds);

    out +=
        "\n## Start-up\n\n| Program | What it does | Median ms | Quartiles ms | Range ms | × MinimalConsole "
        "|\n|---|---|---|---|---|---|\n";
    const struct {
        const char* name;
        const char* what;
        const Series& series;
    } startups[] = {
        {"`MinimalConsole.exe`", "returns 0", results.minimal},
        {"`MinimalOle32.exe`", "also imports ole32 (never calls it)", results.ole32},
        {"`MinimalSta.exe`", "also enters and leaves a single-threaded apartment", results.sta},
        {"`Quillet.exe -h`", "enters the apartment, prints the help text", results.help},
    };
    for (const auto& row : startups) {
        const Summary time = Summarize(row.series.milliseconds);
        out += Row({row.name, row.what, Ms(time.median),
                    Format("%.1f–%.1f", time.lowerQuartile, time.upperQuartile),
                    Format("%.1f–%.1f", time.minimum, time.maximum),
                    Times(minimal.median > 0 ? time.median / minimal.median : 0)});
    }

    out += "\n## Service costs\n\n| Measurement | Median ms | Quartiles ms | Samples |\n|---|---|---|---|\n";
    const struct {
        std::string what;
        const std::vector<double>& samples;
    } services[] = {
        {"bare activation of `IStreamingApplication` in the driver", results.applicationActivations},
        {"bare activation of `IStreamingClient` in the driver", results.clientActivations},
        {"bare activation of `IStreamingCache` in the driver", results.cacheActivations},
        {"… of which `CoCreateInstance` (all classes)", results.activationCreate},
        {"… of which `Initialize`", results.activationInitialize},
        {"… of which `Release`", results.activationRelease},
        {"round trip on an existing object: `GetClientState`", results.calls},
        {"round trip the emulator answers without work: `GetTypeInfoCount`", results.bareCalls},
        {"fresh process: `CoInitializeEx` (ActivationProbe)", results.probe.enter},
        {"fresh process: first activation of `IStreamingClient`", results.probe.first},
        {"fresh process: second and third activation (mean)", results.probe.later},
        {"ActivationProbe as a whole, from outside", results.probe.wall},
        {WithThousands(results.pipeLines) + " list lines into a pipe, one write each",
         results.pipeWritesPerLine},
        {"the same bytes in one write", results.pipeWritesAtOnce},
    };
    for (const auto& row : services) {
        const Summary summary = Summarize(row.samples);
        out += Row({row.what, Format("%.2f", summary.median),
                    Format("%.2f–%.2f", summary.lowerQuartile, summary.upperQuartile),
                    std::to_string(summary.count)});
    }
    out += Row({"once per process that uses the service (derived: see Where the time goes)",
                Format("%.2f", costs.processOverhead), "", ""});
    out += Row({"one trace line (`OutputDebugStringW`, nobody listening; mean of 200)",
                Format("%.3f", results.traceLineMs), "", "1"});

    out +=
        "\n## Commands\n\nObjects: service objects created (application/client/cache); calls: method calls, "
        "`Initialize` included.\n\n";
    out += "| Command | Service holds | Objects | Calls | Median ms | Quartiles ms | Floor ms | × floor | "
           "× STA floor | Model ms | Target " +
           Format("%.2f", kCommandTarget) + "× |\n|---|---|---|---|---|---|---|---|---|---|---|\n";
    for (size_t i = 0; i < results.commands.size(); ++i) {
        const Evaluation& row = evaluations[i];
        std::vector<std::string> cells = MeasuredCells(results.commands[i], row, 11);
        if (row.time.count > 0) {
            cells.insert(cells.end(), {Times(row.staFloor > 0 ? row.time.median / row.staFloor : 0),
                                       Ms(row.model), Verdict(row.ratio > 0 && row.ratio <= kCommandTarget)});
        }
        out += Row(cells);
    }

    out += "\n## Scale\n\n";
    out += "The floors of these rows use the minimal program's start-up and the bare activations sampled "
           "between\nthe scale samples, which come after the rounds above.\n\n";
    out += "| Command | Service holds | Objects | Calls | Median ms | Quartiles ms | Floor ms | × floor | "
           "× first row, or limit |\n|---|---|---|---|---|---|---|---|---|\n";
    for (const auto* group : {&results.idListScale, &results.removeAllScale, &results.large}) {
        double first = 0;
        for (const Series& series : *group) {
            const Evaluation row = Evaluate(series, scaleCosts);
            std::vector<std::string> cells = MeasuredCells(series, row, 9);
            if (row.time.count > 0) {
                first = first > 0 ? first : row.time.median;
                cells.push_back(series.limitMs > 0 ? Format("%.0f s: ", series.limitMs / 1000) +
                                                         Verdict(row.time.median < series.limitMs)
                                                   : Times(row.time.median / first));
            }
            out += Row(cells);
        }
    }
    out += "\n![Cost against the number of applications](performance.png)\n\n";

    AppendAnalysis(out, results, costs, evaluations);

    out += "## Samples that failed\n\n";
    std::string problems;
    for (const Series* series : AllSeries(results)) {
        const std::string label =
            series->situation.empty() ? series->label : series->label + " (" + series->situation + ")";
        for (const std::string& problem : series->problems) {
            problems += "- " + Code(label) + ": " + problem + "\n";
        }
    }
    out += problems.empty() ? "None: every sample ended with the expected exit code and output.\n" : problems;
    return out;
}

std::string RenderPlotData(const BenchResults& results) {
    const Costs costs = ScaleCosts(results);
    std::string out;
    for (const auto* group : {&results.idListScale, &results.removeAllScale}) {
        out += "# " + (group->empty() ? std::string("(not measured)") : group->front().label) +
               ": applications, median, lower quartile, upper quartile, floor (ms)\n";
        for (const Series& series : *group) {
            const Evaluation row = Evaluate(series, costs);
            if (row.time.count > 0) {
                out += Format("%d %.3f %.3f %.3f %.3f\n", series.applications, row.time.median,
                              row.time.lowerQuartile, row.time.upperQuartile, row.floor);
            }
        }
        out += "\n\n";
    }
    return out;
}

size_t FailedSamples(const BenchResults& results) {
    size_t failed = 0;
    for (const Series* series : AllSeries(results)) {
        failed += series->problems.size();
    }
    return failed;
}

} // namespace quillet::bench
