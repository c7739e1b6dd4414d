#include "Report.h"

#include <gtest/gtest.h>

namespace quillet::bench {
namespace {

Series Samples(const std::string& label, std::vector<double> milliseconds, ServiceWork work = {}) {
    Series series;
    series.label = label;
    series.milliseconds = std::move(milliseconds);
    series.work.assign(series.milliseconds.size(), work);
    return series;
}

// A run in which the minimal program takes 50 ms and every activation 40 ms.
BenchResults QuietRun() {
    BenchResults results;
    results.rounds = 3;
    results.minimal = Samples("MinimalConsole.exe", {50, 50, 50});
    results.ole32 = Samples("MinimalOle32.exe", {70, 70, 70});
    results.sta = Samples("MinimalSta.exe", {90, 90, 90});
    results.applicationActivations = {40, 40};
    results.clientActivations = {40, 40};
    results.cacheActivations = {40, 40};
    results.calls = {2, 2};
    return results;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(BenchReport, StatesEachTargetAsMetOrMissedByItsRatio) {
    struct Case {
        const char* what;
        double help;          // Quillet -h, ms
        double cacheSize;     // one cache object: floor 90 ms
        double idListAtLarge; // the id list at 10,000, against 100 ms at 10
        std::string expected[3];
    };
    const Case cases[] = {
        {"all met at the limits",
         55,
         112.5,
         300,
         {"| 1.10× (55.0 ms against 50.0 ms) | met |", "2 of 2 within; highest `cache size` at 1.25× | met |",
          "| 3.00× | met |"}},
        {"all missed",
         100,
         135,
         301,
         {"| 2.00× (100.0 ms against 50.0 ms) | **missed** |",
          "0 of 2 within; highest `-h` at 2.00× | **missed** |", "| 3.01× | **missed** |"}},
    };
    for (const auto& row : cases) {
        BenchResults results = QuietRun();
        results.help = Samples("-h", {row.help});
        results.commands = {results.help, Samples("cache size", {row.cacheSize}, ServiceWork{0, 0, 1, 2})};
        results.idListScale = {
            {10, Samples("application getIdList", {100}, ServiceWork{1, 1, 0, 7})},
            {10000, Samples("application getIdList", {row.idListAtLarge}, ServiceWork{1, 1, 0, 7})}};
        const std::string report = RenderMarkdown(results);
        for (const std::string& expected : row.expected) {
            EXPECT_TRUE(Contains(report, expected)) << row.what << ": " << expected << "\n" << report;
        }
    }
}

TEST(BenchReport, ACommandWithoutGoodSamplesIsNeitherMetNorHidden) {
    BenchResults results = QuietRun();
    results.help = Samples("-h", {52});
    Series broken = Samples("cache clear", {});
    broken.situation = "defaults";
    broken.problems = {
        "exit code 0x80004005, expected 0x00000000; output: Error: user is not an administrator."};
    results.commands = {results.help, broken};
    const std::string report = RenderMarkdown(results);
    EXPECT_TRUE(Contains(report, "1 of 2 within")) << report;
    EXPECT_TRUE(Contains(report, "| `cache clear` | defaults | | | no sample ended as expected |")) << report;
    EXPECT_TRUE(Contains(report, "- `cache clear (defaults)`: exit code 0x80004005")) << report;
    EXPECT_FALSE(Contains(report, "None: every sample")) << report;
}

TEST(BenchReport, PlotDataHasOneBlockPerSeriesAndSkipsEmptyRows) {
    BenchResults results = QuietRun();
    results.idListScale = {{10, Samples("application getIdList", {100, 120}, ServiceWork{1, 1, 0, 7})},
                           {100, Samples("application getIdList", {})}};
    results.removeAllScale = {{1, Samples("application remove all", {300}, ServiceWork{4, 3, 0, 25})}};
    const std::string data = RenderPlotData(results);
    EXPECT_TRUE(Contains(data, "\n10 110.000 105.000 115.000 130.000\n\n\n# application remove all")) << data;
    EXPECT_FALSE(Contains(data, "\n100 ")) << data;
    EXPECT_TRUE(Contains(data, "\n1 300.000 300.000 300.000 330.000\n")) << data;
}

} // namespace
} // namespace quillet::bench
