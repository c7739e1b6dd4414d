#include "Report.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace quillet::bench {

namespace {

std::string Format(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0) {
        return {};
    }
    return std::string(buffer, std::min(static_cast<size_t>(length), sizeof buffer - 1));
}

double Median(const std::vector<double>& samples) {
    return Summarize(samples).median;
}

std::string Ms(double milliseconds) {
    return Format("%.1f", milliseconds);
}

std::string Quartiles(const Summary& summary) {
    return Format("%.1f–%.1f", summary.lowerQuartile, summary.upperQuartile);
}

std::string Range(const Summary& summary) {
    return Format("%.1f–%.1f", summary.minimum, summary.maximum);
}

std::string Times(double ratio) {
    return Format("%.2f×", ratio);
}

std::string Verdict(bool met) {
    return met ? "met" : "**missed**";
}

std::string Objects(const ServiceWork& work) {
    return Format("%d (%d/%d/%d)", work.Objects(), work.applicationObjects, work.clientObjects,
                  work.cacheObjects);
}

std::string Code(const std::string& text) {
    return "`" + text + "`";
}

// The id list's ratio of its largest to its smallest count, when both were measured.
struct ScaleRatio {
    bool measured = false;
    int small = 0;
    int large = 0;
    double ratio = 0;
};

ScaleRatio IdListRatio(const BenchResults& results) {
    ScaleRatio scale;
    if (results.idListScale.size() < 2) {
        return scale;
    }
    const auto& [small, smallSeries] = results.idListScale.front();
    const auto& [large, largeSeries] = results.idListScale.back();
    const double smallMedian = Median(smallSeries.milliseconds);
    if (smallSeries.milliseconds.empty() || largeSeries.milliseconds.empty() || smallMedian <= 0) {
        return scale;
    }
    scale.measured = true;
    scale.small = small;
    scale.large = large;
    scale.ratio = Median(largeSeries.milliseconds) / smallMedian;
    return scale;
}

std::string WithThousands(int number) {
    const std::string digits = std::to_string(number);
    std::string grouped;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            grouped += ',';
        }
        grouped += digits[i];
    }
    return grouped;
}

void AppendProblems(std::string& out, const Series& series, const std::string& label) {
    for (const std::string& problem : series.problems) {
        out += "- " + Code(label) + ": " + problem + "\n";
    }
}

// The arithmetic behind the analysis: how far a command's median lies from the model, at worst.
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

// Within this, the model accounts for a command's time; the machine's noise is of that order.
constexpr double kModelTolerance = 0.15;

void AppendAnalysis(std::string& out, const BenchResults& results, const Costs& costs,
                    const std::vector<Evaluation>& evaluations) {
    const double minimal = costs.minimal;
    const double ole32 = Median(results.ole32.milliseconds);
    const double sta = costs.sta;
    const double help = Median(results.help.milliseconds);
    const double create = Median(results.activationCreate);
    const double initialize = Median(results.activationInitialize);
    const double release = Median(results.activationRelease);
    const double bareCall = Median(results.bareCalls);
    const double activation =
        (costs.activation.application + costs.activation.client + costs.activation.cache) / 3;

    out += "## Where the time goes\n\n";
    out += "### Start-up: the apartment\n\n";
    out += Format("- Importing ole32 costs %.1f ms (MinimalOle32 against MinimalConsole): with ole32 Wine "
                  "loads user32,\n"
                  "  gdi32, rpcrt4 and combase, and user32 sets itself up for the process.\n",
                  ole32 - minimal);
    out += Format(
        "- Entering and leaving a single-threaded apartment costs %.1f ms more (MinimalSta against\n"
        "  MinimalOle32): the apartment makes its message window, the process's first window, for which\n"
        "  user32 registers its window classes and loads its theme support.\n",
        sta - ole32);
    const double staRatio = minimal > 0 ? sta / minimal : 0;
    out += Format(
        "- So a program that enters an apartment starts in %.1f ms, %.2f× the minimal program. Quillet must\n"
        "  enter it before it reads its command line (exit code 1603 when it cannot, even for `-h`), so\n"
        "  neither `-h` nor a wrong command line can start in less. `Quillet -h` takes %.1f ms, %.2f×\n"
        "  MinimalSta: %.1f ms above it for everything of its own (it also imports oleaut32, finds and\n"
        "  prints the help resource).\n",
        sta, staRatio, help, sta > 0 ? help / sta : 0, help - sta);
    // The verdict and its reason follow the figures of this run, not the ones of an earlier one.
    const double helpRatio = minimal > 0 ? help / minimal : 0;
    if (helpRatio <= kHelpTarget) {
        out += Format("- The `-h` target (%.2f×) is met.\n\n", kHelpTarget);
    } else if (staRatio > kHelpTarget) {
        out += Format("- **The `-h` target (%.2f×) is missed for this reason**: entering the apartment "
                      "alone costs\n  %.2f× the minimal program, and it cannot be left out or moved after "
                      "the parsing\n  without breaking the required exit code 1603 for a program that "
                      "cannot enter COM.\n\n",
                      kHelpTarget, staRatio);
    } else {
        out += Format("- **The `-h` target (%.2f×) is missed**, although the apartment alone stays "
                      "within it\n  (%.2f×): the rest is Quillet's own start-up, above.\n\n",
                      kHelpTarget, staRatio);
    }

    out += "### Activation and calls\n\n";
    out += Format(
        "- A bare activation takes %.1f ms: `CoCreateInstance` %.1f ms, `Initialize` %.1f ms, `Release`\n"
        "  %.1f ms. A later call on the same object takes %.2f ms (`GetClientState`), of which the\n"
        "  emulator's own work (state check, journal line) is %.2f ms: `GetTypeInfoCount`, which it\n"
        "  answers without any, takes %.2f ms. `Initialize` costs more than a later call because it is\n"
        "  the object's first: Wine's COM gives every unmarshalled object a connection of its own to the\n"
        "  server, opened at its first call, and the server starts a thread for each.\n",
        activation, create, initialize, release, costs.call, costs.call - bareCall, bareCall);
    out += Format(
        "- In a fresh process the first activation takes %.1f ms against %.1f ms for a later one\n"
        "  (oleaut32's type-library marshaller and the interface's proxy are loaded and built), and the\n"
        "  process ends more slowly once it has had connections to the server. ActivationProbe, run as a\n"
        "  whole, shows what both add up to: %.1f ms once per process beyond MinimalSta's start-up and\n"
        "  the activations themselves, which the floor leaves out.\n\n",
        Median(results.probe.first), Median(results.probe.later), costs.processOverhead);

    out += "### Commands against their floor\n\n";
    const double unavoidable = (sta - minimal) + costs.processOverhead;
    const ModelDeviation deviation = WorstModelDeviation(results, evaluations);
    out += Format(
        "- Above its floor every command that reaches the service pays the apartment (%.1f ms), the\n"
        "  once-per-process cost of using the service (%.1f ms) and one round trip for each call beyond\n"
        "  `Initialize` (%.2f ms each). The model column adds exactly these to the floor; the medians lie\n"
        "  within %.1f%% of it (furthest: %s, %+.1f ms).\n",
        sta - minimal, costs.processOverhead, costs.call, 100 * deviation.fraction,
        deviation.label.empty() ? "none" : Code(deviation.label).c_str(), deviation.milliseconds);
    if (deviation.fraction <= kModelTolerance) {
        out += Format("  That is within the model's tolerance of %.0f%%, so Quillet adds nothing "
                      "measurable of its\n  own beyond the calls that each command must make.\n",
                      100 * kModelTolerance);
    } else {
        out += "  What lies above the model is Quillet's own work or what the model leaves out; see "
               "that row.\n";
    }
    if (activation > 0) {
        // The target allows a quarter of the floor above it: minimal + k activations, so k must reach
        // (4 × unavoidable − minimal) / activation before a command can meet it at all.
        const double needed = std::max(0.0, std::ceil((4 * unavoidable - minimal) / activation));
        out += Format(
            "- The target allows %.0f%% of the floor above it. Before any call of its own, a command pays\n"
            "  %.1f ms that the floor does not count, so it can meet the target only when its floor\n"
            "  exceeds %.1f ms, that is with %.0f service objects or more at these costs.",
            100 * (kCommandTarget - 1), unavoidable, unavoidable / (kCommandTarget - 1), needed);
        const bool anyMissed = std::any_of(evaluations.begin(), evaluations.end(),
                                           [](const Evaluation& row) { return row.ratio > kCommandTarget; });
        out += anyMissed ? " **Commands with\n  fewer objects miss the target for the same reason as `-h`**; "
                           "the rows above show which.\n\n"
                         : "\n\n";
    }

    out += "### Scale\n\n";
    const ScaleRatio scale = IdListRatio(results);
    if (scale.measured) {
        const double small = Median(results.idListScale.front().second.milliseconds);
        const double large = Median(results.idListScale.back().second.milliseconds);
        out += Format(
            "- `application getIdList` at %s applications takes %.2f× its time at %s: %.1f µs for each\n"
            "  further application, for its part of the service's reply (marshalled as one array of\n"
            "  strings), its copy and its printed line.\n",
            WithThousands(scale.large).c_str(), scale.ratio, WithThousands(scale.small).c_str(),
            1000 * (large - small) / (scale.large - scale.small));
    }
    if (!results.pipeWritesPerLine.empty() && results.pipeLines > 0) {
        out += Format(
            "- Its output is what a script reads from a pipe. Under Wine every write to a pipe is a round\n"
            "  trip to the server: %s lines written one by one take %.1f ms here, the same bytes in one\n"
            "  write %.1f ms. Quillet therefore gathers redirected output and writes it in 64 KB pieces,\n"
            "  the rest when the command ends, as a buffered C runtime stream does; a console still gets\n"
            "  every text at once.\n",
            WithThousands(results.pipeLines).c_str(), Median(results.pipeWritesPerLine),
            Median(results.pipeWritesAtOnce));
    }
    if (!results.removeAllScale.empty()) {
        const auto& [count, series] = results.removeAllScale.back();
        const Evaluation row = Evaluate(series, ScaleCosts(results));
        if (row.time.count > 0 && count > 0) {
            out += Format(
                "- `application remove all` with %d applications takes %.1f s, %.0f ms an application,\n"
                "  %.2f× its floor: it creates %d service objects, %.1f for each application (the client\n"
                "  started, the application's state and name asked, the client again, the state change),\n"
                "  and the activations are most of its time.\n",
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

Costs MedianCosts(const BenchResults& results) {
    Costs costs;
    costs.minimal = Median(results.minimal.milliseconds);
    costs.sta = Median(results.sta.milliseconds);
    costs.activation.application = Median(results.applicationActivations);
    costs.activation.client = Median(results.clientActivations);
    costs.activation.cache = Median(results.cacheActivations);
    costs.call = Median(results.calls);
    // Each probe run less its three activations is a start-up like MinimalSta's plus what using the service
    // added to the process once.
    std::vector<double> outside;
    for (size_t i = 0; i < results.probe.wall.size() && i < results.probe.later.size(); ++i) {
        outside.push_back(results.probe.wall[i] - results.probe.first[i] - 2 * results.probe.later[i]);
    }
    if (!outside.empty()) {
        costs.processOverhead = std::max(0.0, Median(outside) - costs.sta + Median(results.probe.first) -
                                                  Median(results.probe.later));
    }
    return costs;
}

Costs ScaleCosts(const BenchResults& results) {
    Costs costs = MedianCosts(results);
    if (!results.scaleMinimal.milliseconds.empty()) {
        costs.minimal = Median(results.scaleMinimal.milliseconds);
    }
    if (!results.scaleClientActivations.empty()) {
        costs.activation.application = Median(results.scaleApplicationActivations);
        costs.activation.client = Median(results.scaleClientActivations);
        costs.activation.cache = Median(results.scaleCacheActivations);
    }
    return costs;
}

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

std::string RenderMarkdown(const BenchResults& results) {
    const Costs costs = MedianCosts(results);
    const Summary minimal = Summarize(results.minimal.milliseconds);
    const Summary ole32 = Summarize(results.ole32.milliseconds);
    const Summary sta = Summarize(results.sta.milliseconds);
    const Summary help = Summarize(results.help.milliseconds);
    const double helpRatio = minimal.median > 0 ? help.median / minimal.median : 0;
    const bool helpMet = helpRatio > 0 && helpRatio <= kHelpTarget;

    std::vector<Evaluation> evaluations;
    int commandsMet = 0;
    size_t worst = 0;
    for (size_t i = 0; i < results.commands.size(); ++i) {
        evaluations.push_back(Evaluate(results.commands[i], costs));
        if (evaluations.back().ratio > 0 && evaluations.back().ratio <= kCommandTarget) {
            ++commandsMet;
        }
        if (evaluations.back().time.count > 0 && evaluations.back().ratio > evaluations[worst].ratio) {
            worst = i;
        }
    }
    const bool commandsAllMet = commandsMet == static_cast<int>(results.commands.size());
    const ScaleRatio scale = IdListRatio(results);
    const bool scaleMet = scale.measured && scale.ratio <= kScaleTarget;

    std::string out;
    out += "# Performance\n\n";
    out += "Generated by `bench/run`, which builds the benchmark, runs `QuilletBench.exe` under Wine\n"
           "against the resident emulator and writes this file and `performance.png`. Nothing here is typed\n"
           "by hand: run `bench/run` again to regenerate both.\n\n";
    for (const std::string& fact : results.facts) {
        out += "- " + fact + "\n";
    }
    out += "\n";

    out += "## Targets\n\n";
    out += "| Target | Measured | Verdict |\n|---|---|---|\n";
    out += "| `Quillet -h` within " + Format("%.2f", kHelpTarget) + "× of the minimal console program | " +
           Times(helpRatio) + " (" + Ms(help.median) + " ms against " + Ms(minimal.median) + " ms) | " +
           Verdict(helpMet) + " |\n";
    if (!results.commands.empty()) {
        out += "| every command within " + Format("%.2f", kCommandTarget) + "× of its activation floor | " +
               Format("%d of %zu within; highest ", commandsMet, results.commands.size()) +
               Code(results.commands[worst].label) + " at " + Times(evaluations[worst].ratio) + " | " +
               Verdict(commandsAllMet) + " |\n";
    }
    if (scale.measured) {
        out += "| `application getIdList` at " + WithThousands(scale.large) + " applications within " +
               Format("%.0f", kScaleTarget) + "× its time at " + WithThousands(scale.small) + " | " +
               Times(scale.ratio) + " | " + Verdict(scaleMet) + " |\n";
    }
    out += "\n";

    out += "## How it is measured\n\n";
    out += Format(
        "- `QuilletBench.exe`, built with the project's toolchain, runs under Wine and starts every program\n"
        "  with `CreateProcess`, timing it with `QueryPerformanceCounter` from just before the call until\n"
        "  it sees the process end; so the Linux side's Wine loader is timed for no program. Standard\n"
        "  output and error go into a pipe that the driver reads, as a script that captures a command's\n"
        "  output has it.\n"
        "- The samples are taken in %d rounds. A round runs each reference program and `Quillet -h` %d\n"
        "  times, ActivationProbe once and every command of the table once, and makes in the driver two\n"
        "  bare activations of each class and %d pairs of round trips (their medians count as one\n"
        "  sample). Interleaving them lets every figure see the same load. Figures are medians; the\n"
        "  quartiles and the extremes show the spread.\n",
        results.rounds, results.startupsPerRound, results.callPairsPerRound);
    out +=
        "- Before each sample of a command the emulator's `state.json` is rewritten to the command's\n"
        "  situation (the table's second column), the driver makes one call so that the emulator reads it,\n"
        "  and the journal is emptied: every sample does the same work, and reading the scenario is never\n"
        "  timed. Every timed run starts 150 ms after the driver's last action, so that the clean-up of\n"
        "  what came before does not fall into it. A sample counts only when its exit code and output are\n"
        "  the expected ones.\n"
        "- The **floor** of a command is the minimal program's start-up plus one bare activation\n"
        "  (create, `Initialize`, release, timed in the driver's warm process) for each service object\n"
        "  that the command created, by class, as the journal's `\"event\":\"create\"` lines count\n"
        "  them for that very sample. The **STA floor** is the same above `MinimalSta.exe`. The\n"
        "  **model** adds to the STA floor what a fresh process pays for its first activation beyond a\n"
        "  later one, and one round trip for every call beyond each object's `Initialize`; what remains\n"
        "  above the model is Quillet's own work.\n";
    out +=
        Format("- Scale: %d rounds of `application getIdList` at each number of applications, %d rounds of\n"
               "  `application remove all`, the numbers interleaved within a round.\n\n",
               results.scaleRounds, results.removeAllRounds);

    out += "## Start-up\n\n";
    out += "| Program | What it does | Median ms | Quartiles ms | Range ms | × MinimalConsole |\n"
           "|---|---|---|---|---|---|\n";
    const struct {
        const char* name;
        const char* what;
        const Summary& time;
    } startups[] = {
        {"`MinimalConsole.exe`", "returns 0", minimal},
        {"`MinimalOle32.exe`", "also imports ole32 (never calls it)", ole32},
        {"`MinimalSta.exe`", "also enters and leaves a single-threaded apartment", sta},
        {"`Quillet.exe -h`", "enters the apartment, prints the help text", help},
    };
    for (const auto& row : startups) {
        out += std::string("| ") + row.name + " | " + row.what + " | " + Ms(row.time.median) + " | " +
               Quartiles(row.time) + " | " + Range(row.time) + " | " +
               Times(minimal.median > 0 ? row.time.median / minimal.median : 0) + " |\n";
    }
    out += "\n";

    out += "## Service costs\n\n";
    out += "| Measurement | Median ms | Quartiles ms | Samples |\n|---|---|---|---|\n";
    const struct {
        const char* what;
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
    };
    for (const auto& row : services) {
        const Summary summary = Summarize(row.samples);
        out += std::string("| ") + row.what + " | " + Format("%.2f", summary.median) + " | " +
               Format("%.2f–%.2f", summary.lowerQuartile, summary.upperQuartile) + " | " +
               std::to_string(summary.count) + " |\n";
    }
    if (results.pipeLines > 0) {
        const Summary perLine = Summarize(results.pipeWritesPerLine);
        const Summary atOnce = Summarize(results.pipeWritesAtOnce);
        out += "| " + WithThousands(results.pipeLines) + " list lines into a pipe, one write each | " +
               Format("%.2f", perLine.median) + " | " +
               Format("%.2f–%.2f", perLine.lowerQuartile, perLine.upperQuartile) + " | " +
               std::to_string(perLine.count) + " |\n";
        out += "| the same bytes in one write | " + Format("%.2f", atOnce.median) + " | " +
               Format("%.2f–%.2f", atOnce.lowerQuartile, atOnce.upperQuartile) + " | " +
               std::to_string(atOnce.count) + " |\n";
    }
    out += "| once per process that uses the service (derived: see Where the time goes) | " +
           Format("%.2f", costs.processOverhead) + " | | |\n";
    out += "| one trace line (`OutputDebugStringW`, nobody listening; mean of 200) | " +
           Format("%.3f", results.traceLineMs) + " | | 1 |\n\n";

    out += "## Commands\n\n";
    out += "Objects: service objects created (application/client/cache); calls: method calls, `Initialize` "
           "included.\n\n";
    out += "| Command | Service holds | Objects | Calls | Median ms | Quartiles ms | Floor ms | × floor | "
           "× STA floor | Model ms | Target " +
           Format("%.2f", kCommandTarget) + "× |\n";
    out += "|---|---|---|---|---|---|---|---|---|---|---|\n";
    for (size_t i = 0; i < results.commands.size(); ++i) {
        const Series& series = results.commands[i];
        const Evaluation& row = evaluations[i];
        if (row.time.count == 0) {
            out += "| " + Code(series.label) + " | " + series.situation +
                   " | | | no sample ended as expected | | | | | | **no data** |\n";
            continue;
        }
        out += "| " + Code(series.label) + " | " + series.situation + " | " + Objects(row.work) +
               (row.workVaries ? " (varies)" : "") + " | " + std::to_string(row.work.calls) + " | " +
               Ms(row.time.median) + " | " + Quartiles(row.time) + " | " + Ms(row.floor) + " | " +
               Times(row.ratio) + " | " + Times(row.staFloor > 0 ? row.time.median / row.staFloor : 0) +
               " | " + Ms(row.model) + " | " + Verdict(row.ratio > 0 && row.ratio <= kCommandTarget) + " |\n";
    }
    out += "\n";

    out += "## Scale\n\n";
    out += "The floors of these rows use the minimal program's start-up and the bare activations sampled "
           "between\n"
           "the scale samples, which come after the rounds above.\n\n";
    out += "| Command | Service holds | Objects | Calls | Median ms | Quartiles ms | Floor ms | × floor | "
           "× first row |\n|---|---|---|---|---|---|---|---|---|\n";
    const Costs scaleCosts = ScaleCosts(results);
    for (const auto* scaleSeries : {&results.idListScale, &results.removeAllScale}) {
        double first = 0;
        for (const auto& [count, series] : *scaleSeries) {
            const Evaluation row = Evaluate(series, scaleCosts);
            if (row.time.count == 0) {
                out += "| " + Code(series.label) + " | " + series.situation +
                       " | | | no sample ended as expected | | | | |\n";
                continue;
            }
            if (first == 0) {
                first = row.time.median;
            }
            out += "| " + Code(series.label) + " | " + series.situation + " | " + Objects(row.work) +
                   (row.workVaries ? " (varies)" : "") + " | " + std::to_string(row.work.calls) + " | " +
                   Ms(row.time.median) + " | " + Quartiles(row.time) + " | " + Ms(row.floor) + " | " +
                   Times(row.ratio) + " | " + Times(first > 0 ? row.time.median / first : 0) + " |\n";
        }
    }
    out += "\n![Cost against the number of applications](performance.png)\n\n";

    AppendAnalysis(out, results, costs, evaluations);

    std::string problems;
    AppendProblems(problems, results.minimal, "MinimalConsole.exe");
    AppendProblems(problems, results.ole32, "MinimalOle32.exe");
    AppendProblems(problems, results.sta, "MinimalSta.exe");
    AppendProblems(problems, results.help, "Quillet -h");
    for (const Series& series : results.commands) {
        AppendProblems(problems, series, series.label + " (" + series.situation + ")");
    }
    for (const auto* scaleSeries : {&results.idListScale, &results.removeAllScale}) {
        for (const auto& [count, series] : *scaleSeries) {
            AppendProblems(problems, series, series.label + " (" + series.situation + ")");
        }
    }
    out += "## Samples that failed\n\n";
    out += problems.empty() ? "None: every sample ended with the expected exit code and output.\n" : problems;
    return out;
}

std::string RenderPlotData(const BenchResults& results) {
    const Costs costs = ScaleCosts(results);
    std::string out;
    const struct {
        const char* title;
        const std::vector<std::pair<int, Series>>& series;
    } blocks[] = {{"application getIdList", results.idListScale},
                  {"application remove all", results.removeAllScale}};
    for (const auto& block : blocks) {
        out += std::string("# ") + block.title +
               ": applications, median, lower quartile, upper quartile, floor (ms)\n";
        for (const auto& [count, series] : block.series) {
            const Evaluation row = Evaluate(series, costs);
            if (row.time.count == 0) {
                continue;
            }
            out += Format("%d %.3f %.3f %.3f %.3f\n", count, row.time.median, row.time.lowerQuartile,
                          row.time.upperQuartile, row.floor);
        }
        out += "\n\n";
    }
    return out;
}

namespace {

void AppendSamples(std::string& out, const std::string& label, const std::string& situation,
                   const std::vector<double>& samples) {
    for (size_t i = 0; i < samples.size(); ++i) {
        out += label + "\t" + situation + "\t" + std::to_string(i + 1) + "\t" + Format("%.3f", samples[i]) +
               "\n";
    }
}

} // namespace

std::string RenderSamples(const BenchResults& results) {
    std::string out = "label\tsituation\tsample\tms\n";
    for (const Series* series : {&results.minimal, &results.ole32, &results.sta}) {
        AppendSamples(out, series->label, series->situation, series->milliseconds);
    }
    AppendSamples(out, "activation IStreamingApplication", "", results.applicationActivations);
    AppendSamples(out, "activation IStreamingClient", "", results.clientActivations);
    AppendSamples(out, "activation IStreamingCache", "", results.cacheActivations);
    AppendSamples(out, "GetClientState", "", results.calls);
    AppendSamples(out, "GetTypeInfoCount", "", results.bareCalls);
    AppendSamples(out, "probe first activation", "", results.probe.first);
    AppendSamples(out, "probe later activation", "", results.probe.later);
    for (const Series& series : results.commands) {
        AppendSamples(out, series.label, series.situation, series.milliseconds);
    }
    for (const auto* scale : {&results.idListScale, &results.removeAllScale}) {
        for (const auto& [count, series] : *scale) {
            AppendSamples(out, series.label, series.situation, series.milliseconds);
        }
    }
    return out;
}

} // namespace quillet::bench
