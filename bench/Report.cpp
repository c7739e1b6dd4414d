#include "Report.h"

#include <algorithm>
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

} // namespace

bool ParseProbeLine(const std::string& line, ProbeTimes& times) {
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
    costs.firstActivationSetup = std::max(0.0, Median(results.probe.first) - Median(results.probe.later));
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
        evaluation.model += costs.firstActivationSetup + otherCalls * costs.call;
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
    out +=
        "Generated by `bench/run`, which builds the benchmark, runs `QuilletBench.exe` under Wine against "
        "the\n"
        "resident emulator and writes this file and `performance.png`. Nothing here is typed by hand: run\n"
        "`bench/run` again to regenerate both.\n\n";
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
        "- `QuilletBench.exe`, built with the project's toolchain, starts every program with "
        "`CreateProcess`\n"
        "  and times it with `QueryPerformanceCounter` from just before the call until it sees the process\n"
        "  end; standard output and error go to a file. It runs under Wine itself, so the Wine loader of "
        "the\n"
        "  Linux side is timed for no program.\n"
        "- The samples are taken in %d rounds; a round runs each reference program and `Quillet -h` %d\n"
        "  times, ActivationProbe once, every command of the table once, and in the driver two bare\n"
        "  activations of each class and four round trips. Interleaving them lets every figure see the\n"
        "  same load. Figures are medians, with the quartiles and the extremes as the spread.\n",
        results.rounds, results.startupsPerRound);
    out +=
        "- Before each sample of a command the emulator's `state.json` is rewritten to the command's "
        "situation\n"
        "  (the table's second column), the driver makes one call so that the emulator reads it, and the\n"
        "  journal is emptied; so every sample does the same work, and reading the scenario is never timed.\n"
        "  A sample counts only when its exit code and output are the expected ones.\n"
        "- The **floor** of a command is the minimal program's start-up plus one bare activation (create,\n"
        "  `Initialize`, release, timed in the driver's warm process) for each service object that the\n"
        "  command created, by class, as the journal's `\"event\":\"create\"` lines count them for that "
        "very\n"
        "  sample. The **STA floor** is the same above `MinimalSta.exe`. The **model** adds to the STA "
        "floor\n"
        "  what a fresh process pays for its first activation beyond a later one, and one round trip for "
        "every\n"
        "  call beyond each object's `Initialize`; what remains above the model is Quillet's own work.\n";
    out +=
        Format("- Scale: %d rounds of `application getIdList` at each number of applications, %d rounds of\n"
               "  `application remove all`.\n\n",
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
    };
    for (const auto& row : services) {
        const Summary summary = Summarize(row.samples);
        out += std::string("| ") + row.what + " | " + Format("%.2f", summary.median) + " | " +
               Format("%.2f–%.2f", summary.lowerQuartile, summary.upperQuartile) + " | " +
               std::to_string(summary.count) + " |\n";
    }
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
    out += "| Command | Service holds | Objects | Calls | Median ms | Quartiles ms | Floor ms | × floor | "
           "× first row |\n|---|---|---|---|---|---|---|---|---|\n";
    for (const auto* scaleSeries : {&results.idListScale, &results.removeAllScale}) {
        double first = 0;
        for (const auto& [count, series] : *scaleSeries) {
            const Evaluation row = Evaluate(series, costs);
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

    out += "## Where the time goes\n\n";
    out += Format(
        "- Start-up. Importing ole32 costs %.1f ms (%s → %s ms): with it Wine loads user32, gdi32, rpcrt4\n"
        "  and combase. Entering and leaving the apartment costs %.1f ms more. A program that must enter a\n"
        "  single-threaded apartment therefore starts in %.1f ms, %.2f× the minimal program. Quillet must\n"
        "  do so before it reads its command line (exit code 1603 when it cannot, even for `-h`), so no\n"
        "  command of it, `-h` and a wrong command line included, can start in less. `Quillet -h` takes\n"
        "  %.1f ms, %.2f× MinimalSta: %.1f ms above it for everything else it does.\n",
        ole32.median - minimal.median, Ms(minimal.median).c_str(), Ms(ole32.median).c_str(),
        sta.median - ole32.median, sta.median, minimal.median > 0 ? sta.median / minimal.median : 0,
        help.median, sta.median > 0 ? help.median / sta.median : 0, help.median - sta.median);
    out += Format(
        "- First activation. In a fresh process the first activation takes %.1f ms against %.1f ms for a\n"
        "  later one: %.1f ms of set-up (the process's first connection to the COM runtime's services and\n"
        "  the building of the interface's proxy from the type library) that the floor leaves out.\n",
        Median(results.probe.first), Median(results.probe.later), costs.firstActivationSetup);
    out += Format("- Calls. A round trip on an existing object costs %.2f ms; a trace line %.3f ms.\n",
                  costs.call, results.traceLineMs);
    out += "\n";

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
    const Costs costs = MedianCosts(results);
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
