// Quillet under load: eight runs at once against one emulator.
#include "Emulator.h"
#include "Files.h"
#include "Row.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

namespace quillet::testing {
namespace {

// Whether another process initialised an object of the service while the run went on.
bool Overlapped(const RunResult& run) {
    return std::ranges::any_of(run.journal, [&](const nlohmann::ordered_json& line) {
        return line.value("method", "") == "Initialize" && line.at("args").at(0) != run.processId;
    });
}

// Each of eight processes drives an application of its own through add and start, every other one also
// remove, all at once. They overlap, each succeeds, and the service holds exactly what they did.
TEST(Load, EightRunsAtOnceOverlapAndLeaveExactlyWhatTheyDid) {
    constexpr int kWorkers = 8;
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
    Scenario().Client(4).Admin(true).Write();
    const TempFolder folder;
    std::vector<std::vector<std::pair<std::vector<std::wstring>, std::string>>> steps(kWorkers);
    std::vector<std::vector<RunResult>> results(kWorkers);
    std::set<std::string> expectedApps, apps;
    for (int worker = 0; worker < kWorkers; ++worker) {
        const std::wstring guid = L"{10AD0000-0000-4000-8000-00000000000" + std::to_wstring(worker) + L"}";
        const std::string name = "Load " + std::to_string(worker), g = ToUtf8(guid);
        const std::wstring token = folder.File(L"load" + std::to_wstring(worker) + L".tok",
                                               R"({"name":")" + name + R"(","guid":")" + g + R"("})");
        steps[worker] = {
            {{L"application", L"add", token},
             "Adding application... Success.\nAppName: [" + name + "]\nAppGuid: [" + g + "]\n"},
            {{L"application", L"start", guid}, "Starting application [" + name + "]... Success.\n"},
        };
        if (worker % 2 == 1) {
            steps[worker].push_back(
                {{L"application", L"remove", guid}, "Removing application [" + name + "]... Success.\n"});
        } else {
            expectedApps.insert(g + " 64");
        }
    }
    {
        std::vector<std::jthread> threads;
        for (int worker = 0; worker < kWorkers; ++worker) {
            threads.emplace_back([&, worker] {
                for (const auto& step : steps[worker]) {
                    results[worker].push_back(testing::Run(step.first, {.captureTrace = false}));
                }
            });
        }
    }
    int overlapped = 0;
    for (int worker = 0; worker < kWorkers; ++worker) {
        for (size_t step = 0; step < results[worker].size(); ++step) {
            const RunResult& run = results[worker][step];
            SCOPED_TRACE("worker " + std::to_string(worker) + " step " + std::to_string(step));
            EXPECT_EQ(run.exitCode, 0u);
            EXPECT_EQ(run.output, Crlf(steps[worker][step].second));
            overlapped += Overlapped(run) ? 1 : 0;
        }
    }
    EXPECT_GT(overlapped, kWorkers) << "runs that made their calls while another made its own";
    const nlohmann::ordered_json state = emulator::ReadState();
    for (const nlohmann::ordered_json& app : state.at("applications")) {
        apps.insert(app.at("guid").get<std::string>() + " " +
                    std::to_string(app.at("state").get<long long>()));
    }
    EXPECT_EQ(apps, expectedApps);
}

} // namespace
} // namespace quillet::testing
