#include "CommandCases.h"
#include "Report.h"
#include "Scenarios.h"
#include "ServiceState.h"
#include "ServiceWork.h"
#include "Statistics.h"
#include "json/Json.h"
#include "json/Utf8.h"

#include <gtest/gtest.h>

namespace quillet::bench {
namespace {

TEST(BenchStatistics, MedianAndQuartilesInterpolateBetweenSortedSamples) {
    struct Case {
        const char* what;
        std::vector<double> samples;
        Summary expected;
    };
    const Case cases[] = {
        {"no samples", {}, {0, 0, 0, 0, 0, 0}},
        {"one sample", {7}, {1, 7, 7, 7, 7, 7}},
        {"odd count, unsorted", {9, 1, 5}, {3, 5, 1, 9, 3, 7}},
        {"even count: the middle two", {4, 1, 3, 2}, {4, 2.5, 1, 4, 1.75, 3.25}},
        {"an outlier moves the range, not the median", {10, 11, 12, 13, 500}, {5, 12, 10, 500, 11, 13}},
    };
    for (const auto& row : cases) {
        const Summary summary = Summarize(row.samples);
        EXPECT_EQ(summary.count, row.expected.count) << row.what;
        EXPECT_DOUBLE_EQ(summary.median, row.expected.median) << row.what;
        EXPECT_DOUBLE_EQ(summary.minimum, row.expected.minimum) << row.what;
        EXPECT_DOUBLE_EQ(summary.maximum, row.expected.maximum) << row.what;
        EXPECT_DOUBLE_EQ(summary.lowerQuartile, row.expected.lowerQuartile) << row.what;
        EXPECT_DOUBLE_EQ(summary.upperQuartile, row.expected.upperQuartile) << row.what;
    }
}

TEST(BenchJournal, CountsCreatedObjectsByClassAndTheirCalls) {
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        ServiceWork expected;
    };
    const Case cases[] = {
        {"empty journal", {}, {}},
        {"one client object with its calls",
         {R"({"seq":1,"event":"create","interface":"IStreamingClient","object":1})",
          R"({"seq":2,"object":1,"interface":"IStreamingClient","method":"Initialize","args":[42],"hr":"0x00000000"})",
          R"({"seq":3,"object":1,"interface":"IStreamingClient","method":"StartClient","args":[],"hr":"0xA0044011"})",
          R"({"seq":4,"event":"release","object":1})"},
         {0, 1, 0, 2}},
        {"every class",
         {R"({"seq":1,"event":"create","interface":"IStreamingApplication","object":1})",
          R"({"seq":2,"event":"create","interface":"IStreamingCache","object":2})",
          R"({"seq":3,"event":"create","interface":"IStreamingApplication","object":3})"},
         {2, 0, 1, 0}},
        {"a refused creation makes no object",
         {R"({"seq":1,"event":"create","interface":"IStreamingCache","hr":"0x80070005"})"},
         {}},
        {"a failed call is still a call",
         {R"({"seq":1,"object":1,"interface":"IStreamingCache","method":"ClearCache","args":[],"hr":"0x800700AA","fault":"fail"})"},
         {0, 0, 0, 1}},
        {"lines of another shape are ignored", {"[1,2]", R"("text")", R"({"event":"create"})"}, {}},
    };
    for (const auto& row : cases) {
        std::vector<json::Value> journal;
        for (const auto& line : row.lines) {
            journal.push_back(json::Parse(line));
        }
        EXPECT_EQ(CountServiceWork(journal), row.expected) << row.what;
    }
}

TEST(BenchFloor, AddsOneActivationOfTheRightClassPerObject) {
    const ActivationCosts costs{40, 30, 20};
    EXPECT_DOUBLE_EQ(Floor(50, ServiceWork{}, costs), 50);
    EXPECT_DOUBLE_EQ(Floor(50, ServiceWork{3, 2, 0, 20}, costs), 50 + 3 * 40 + 2 * 30);
    EXPECT_DOUBLE_EQ(Floor(50, ServiceWork{0, 2, 1, 9}, costs), 50 + 2 * 30 + 20);
}

TEST(BenchProbe, ReadsTheFirstActivationAndTheMeanOfTheLaterOnes) {
    ProbeTimes times;
    ASSERT_TRUE(ParseProbeLine("enter=19.5 create=60,40,38 initialize=8,7,9 release=4,3,5\n", 400, times));
    ASSERT_EQ(times.first.size(), 1u);
    EXPECT_DOUBLE_EQ(times.wall[0], 400);
    EXPECT_DOUBLE_EQ(times.enter[0], 19.5);
    EXPECT_DOUBLE_EQ(times.first[0], 72);
    EXPECT_DOUBLE_EQ(times.later[0], (50 + 52) / 2.0);

    for (const char* broken : {"", "enter=1 create=1,2", "Error: something else", "create=1,2,3 enter=1"}) {
        EXPECT_FALSE(ParseProbeLine(broken, 400, times)) << broken;
    }
    EXPECT_EQ(times.first.size(), 1u) << "a broken line adds nothing";
    EXPECT_EQ(times.wall.size(), 1u);
}

TEST(BenchCosts, TheProcessOverheadIsWhatAProbeRunPaysBeyondItsActivationsAndAnApartment) {
    BenchResults results;
    results.sta.milliseconds = {100, 100, 100};
    // Two runs: 400 ms each from outside, activations 72 then 50 and 50 inside: 228 ms outside them,
    // 128 ms above MinimalSta's 100 ms, and the first activation's 22 ms beyond a later one.
    ProbeTimes& probe = results.probe;
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(ParseProbeLine("enter=20 create=60,40,40 initialize=8,7,7 release=4,3,3", 400, probe));
    }
    EXPECT_DOUBLE_EQ(MedianCosts(results).processOverhead, 128 + 22);

    BenchResults withoutProbe;
    withoutProbe.sta.milliseconds = {100};
    EXPECT_DOUBLE_EQ(MedianCosts(withoutProbe).processOverhead, 0);
}

TEST(BenchCosts, ScaleFloorsUseTheCostsSampledBetweenTheScaleSamples) {
    BenchResults results;
    results.minimal.milliseconds = {50};
    results.clientActivations = {40};
    EXPECT_DOUBLE_EQ(ScaleCosts(results).minimal, 50) << "nothing sampled there: the rounds' figures";
    results.scaleMinimal.milliseconds = {70, 80, 90};
    results.scaleApplicationActivations = {60};
    results.scaleClientActivations = {61};
    results.scaleCacheActivations = {62};
    const Costs costs = ScaleCosts(results);
    EXPECT_DOUBLE_EQ(costs.minimal, 80);
    EXPECT_DOUBLE_EQ(costs.activation.application, 60);
    EXPECT_DOUBLE_EQ(costs.activation.client, 61);
    EXPECT_DOUBLE_EQ(costs.activation.cache, 62);
}

TEST(BenchEvaluation, ComparesTheMedianWithTheFloorOfTheWorkDone) {
    Costs costs;
    costs.minimal = 50;
    costs.sta = 90;
    costs.activation = {40, 40, 40};
    costs.call = 2;
    costs.processOverhead = 10;

    Series series;
    series.milliseconds = {200, 180, 190};
    series.work = {ServiceWork{0, 1, 1, 6}, ServiceWork{0, 1, 1, 6}, ServiceWork{0, 1, 1, 6}};
    const Evaluation evaluation = Evaluate(series, costs);
    EXPECT_DOUBLE_EQ(evaluation.floor, 130);
    EXPECT_DOUBLE_EQ(evaluation.ratio, 190.0 / 130);
    EXPECT_DOUBLE_EQ(evaluation.staFloor, 170);
    // Above the STA floor: the process's one-time cost and the four calls besides the two Initialize.
    EXPECT_DOUBLE_EQ(evaluation.model, 170 + 10 + 4 * 2);
    EXPECT_FALSE(evaluation.workVaries);

    series.work.back().calls = 7;
    EXPECT_TRUE(Evaluate(series, costs).workVaries);

    Series offline;
    offline.milliseconds = {100};
    offline.work = {ServiceWork{}};
    EXPECT_DOUBLE_EQ(Evaluate(offline, costs).model, 90) << "no service used, no cost of using it";
}

TEST(BenchScenario, TheEmulatorReadsWhatTheBenchmarkWrites) {
    ScenarioSpec scenario = WithApplications(2, 16);
    scenario.clientState = 0;
    scenario.multisource.push_back({BenchGuid(2), L"C:\\src\\a.stc", L"C:\\src\\a.stc"});
    const emulator::ServiceState state =
        emulator::StateFromJson(json::Parse(ScenarioJson(scenario)), L"C:\\Cache");
    EXPECT_EQ(state.client.state, 0);
    EXPECT_EQ(state.client.isAdmin, std::optional<bool>(true));
    ASSERT_EQ(state.applications.size(), 2u);
    EXPECT_EQ(state.applications[1].guid, L"{B0000000-0000-4000-8000-000000000002}");
    EXPECT_EQ(state.applications[1].name, L"Bench App 2");
    EXPECT_EQ(state.applications[1].state, 16);
    ASSERT_EQ(state.multisource.size(), 1u);
    EXPECT_EQ(state.multisource[0].sourcePath, L"C:\\src\\a.stc");
}

TEST(BenchCatalogue, EveryCommandIsThereOnceAndReachesTheServiceUnlessItCannot) {
    const BenchFiles files{L"C:\\b", L"C:\\b\\bench.tok", L"C:\\b\\s.stc", L"C:\\b\\OtherCache"};
    const std::vector<CommandCase> catalogue = CommandCatalogue(files);
    ASSERT_FALSE(catalogue.empty());
    EXPECT_EQ(catalogue.front().args, std::vector<std::wstring>{L"-h"})
        << "the report's help row comes first";
    std::vector<std::string> labels;
    for (const CommandCase& command : catalogue) {
        EXPECT_EQ(std::count(labels.begin(), labels.end(), command.label), 0) << command.label;
        labels.push_back(command.label);
        const bool offline = command.args.size() < 2;
        EXPECT_EQ(command.scenario.has_value(), !offline) << command.label;
    }
    for (const char* required :
         {"application add <token file>", "application remove <guid>", "application start <guid>",
          "application stop <guid>", "application run-cmd <guid> <exe>", "application getIdList",
          "application remove all", "application stop all", "cache size", "cache size 4096", "cache location",
          "cache location <folder>", "cache clear", "cache multisource add", "cache multisource delete",
          "cache multisource getInfo", "cache multisource getIdList", "client start", "client stop"}) {
        EXPECT_EQ(std::count(labels.begin(), labels.end(), required), 1) << required;
    }
}

} // namespace
} // namespace quillet::bench
