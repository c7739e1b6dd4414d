#include "Results.h"

namespace quillet::bench {

namespace {

using Json = nlohmann::ordered_json;

Json ToJson(const Series& series) {
    Json samples = Json::array();
    for (size_t i = 0; i < series.milliseconds.size(); ++i) {
        const ServiceWork& work = series.work.at(i);
        samples.push_back({{"ms", series.milliseconds[i]},
                           {"objects",
                            {{"application", work.applicationObjects},
                             {"client", work.clientObjects},
                             {"cache", work.cacheObjects}}},
                           {"calls", work.calls}});
    }
    return {{"label", series.label},
            {"situation", series.situation},
            {"applications", series.applications},
            {"limitMs", series.limitMs},
            {"samples", samples},
            {"problems", series.problems}};
}

Json ToJson(const std::vector<Series>& group) {
    Json all = Json::array();
    for (const Series& series : group) {
        all.push_back(ToJson(series));
    }
    return all;
}

// Every series whose samples count, each once (the help row of the commands stands for results.help).
std::vector<const Series*> AllSeries(const BenchResults& results) {
    std::vector<const Series*> all = {&results.minimal, &results.ole32, &results.sta, &results.scaleSta};
    for (const auto* group :
         {&results.commands, &results.idListScale, &results.removeAllScale, &results.large}) {
        for (const Series& series : *group) {
            all.push_back(&series);
        }
    }
    return all;
}

} // namespace

Json ToJson(const BenchResults& results) {
    return {
        {"settings", results.settings},
        {"startups",
         {{"minimal", ToJson(results.minimal)},
          {"ole32", ToJson(results.ole32)},
          {"sta", ToJson(results.sta)},
          {"help", ToJson(results.help)}}},
        {"activations",
         {{"application", results.applicationActivations},
          {"client", results.clientActivations},
          {"cache", results.cacheActivations},
          {"create", results.activationCreate},
          {"initialize", results.activationInitialize},
          {"release", results.activationRelease}}},
        {"calls", {{"service", results.calls}, {"bare", results.bareCalls}}},
        {"probes", results.probes},
        {"traceLineMs", results.traceLineMs},
        {"pipe",
         {{"lines", results.pipeLines},
          {"perLine", results.pipeWritesPerLine},
          {"atOnce", results.pipeWritesAtOnce}}},
        {"commands", ToJson(results.commands)},
        {"scale",
         {{"idList", ToJson(results.idListScale)},
          {"removeAll", ToJson(results.removeAllScale)},
          {"large", ToJson(results.large)},
          {"sta", ToJson(results.scaleSta)},
          {"activations",
           {{"application", results.scaleApplicationActivations},
            {"client", results.scaleClientActivations},
            {"cache", results.scaleCacheActivations}}}}},
    };
}

size_t FailedSamples(const BenchResults& results) {
    size_t failed = 0;
    for (const Series* series : AllSeries(results)) {
        failed += series->problems.size();
    }
    return failed;
}

} // namespace quillet::bench
