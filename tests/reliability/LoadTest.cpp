// Eight Quillet processes at once against one emulator, each driving an application of its own through
// add, multisource add, start, cache size, stop and remove until the time is up. Afterwards the service
// holds exactly what the successful commands imply, and its journal holds every call of every process.
#include "Emulator.h"
#include "Files.h"
#include "RunChecks.h"
#include "Codes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>

namespace quillet::testing::reliability {
namespace {

constexpr int kWorkers = 8;
constexpr ULONGLONG kLoadMs = 20000;

const std::vector<std::string> kStartClient = {
    "IStreamingClient.Initialize", "IStreamingClient.StartClient 0xA0044011",
    "IStreamingClient.InitApplications 0xA0044021", "IStreamingClient.Uninitialize"};

// One application operation's object: created, initialised, its calls, uninitialised.
std::vector<std::string> OnApplication(std::initializer_list<const char*> calls) {
    std::vector<std::string> trail = {"IStreamingApplication.Initialize"};
    for (const char* call : calls) {
        trail.push_back(std::string("IStreamingApplication.") + call);
    }
    trail.push_back("IStreamingApplication.Uninitialize");
    return trail;
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// Client start, existence check, name, client start again, then the state change itself.
std::vector<std::string> Ladder(std::vector<std::string> change) {
    const std::vector<std::string> status = OnApplication({"GetApplicationProperties"});
    return Concat({kStartClient, status, status, kStartClient, change});
}

struct Step {
    const char* name;
    std::vector<std::wstring> (*args)(const std::wstring& guid, const std::wstring& token,
                                      const std::wstring& source);
    std::string output; // with the application's name for %s and its guid for %g
    std::vector<std::string> calls;
};

const Step kCycle[] = {
    {"add",
     [](const std::wstring&, const std::wstring& token, const std::wstring&) {
         return std::vector<std::wstring>{L"application", L"add", token};
     },
     "Adding application... Success.\nAppName: [%s]\nAppGuid: [%g]\n",
     Concat({kStartClient, OnApplication({"AddApplication", "GetApplicationProperties"})})},
    {"multisource",
     [](const std::wstring& guid, const std::wstring&, const std::wstring& source) {
         return std::vector<std::wstring>{L"cache", L"multisource", L"add",
                                          guid + L"|" + source + L"|" + source + L"|TRUE"};
     },
     "Adding multisource file...Success.",
     {"IStreamingCache.Initialize", "IStreamingCache.AddMultiSourceFile", "IStreamingCache.Uninitialize"}},
    {"start",
     [](const std::wstring& guid, const std::wstring&, const std::wstring&) {
         return std::vector<std::wstring>{L"application", L"start", guid};
     },
     "Starting application [%s]... Success.\n",
     Ladder(OnApplication(
         {"GetApplicationProperties", "LoadApplication", "MountApplication", "StartApplication"}))},
    {"size",
     [](const std::wstring&, const std::wstring&, const std::wstring&) {
         return std::vector<std::wstring>{L"cache", L"size"};
     },
     "2048\n",
     {"IStreamingCache.Initialize", "IStreamingCache.GetCacheLocation"}},
    // The one status query of the stop wait runs on an object of its own inside the state change.
    {"stop",
     [](const std::wstring& guid, const std::wstring&, const std::wstring&) {
         return std::vector<std::wstring>{L"application", L"stop", guid};
     },
     "Stopping application [%s]... Success.\n",
     Ladder(Concat({{"IStreamingApplication.Initialize", "IStreamingApplication.GetApplicationProperties",
                     "IStreamingApplication.StopApplication"},
                    OnApplication({"GetApplicationProperties"}),
                    {"IStreamingApplication.Uninitialize"}}))},
    {"remove",
     [](const std::wstring& guid, const std::wstring&, const std::wstring&) {
         return std::vector<std::wstring>{L"application", L"remove", guid};
     },
     "Removing application [%s]... Success.\n",
     Ladder(OnApplication(
         {"GetApplicationProperties", "UnmountApplication", "UnloadApplication", "RemoveApplication"}))},
};

std::wstring Guid(int worker) {
    wchar_t text[40];
    std::swprintf(text, 40, L"{10AD0000-0000-4000-8000-0000000000%02X}", worker);
    return text;
}

std::wstring NameOf(int worker) {
    return L"Load " + std::to_wstring(worker);
}

std::string Expand(std::string text, const std::string& name, const std::string& guid) {
    for (const auto& [mark, with] : {std::pair<std::string, std::string>{"%s", name}, {"%g", guid}}) {
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + with.size())) {
            text.replace(at, mark.size(), with);
        }
    }
    return text;
}

// What the service must hold for one application after the successful steps of its cycles.
struct Model {
    bool exists = false;
    long long state = 0;
    bool multisource = false;
};

struct Finished {
    int worker;
    const Step* step;
    RunResult result;
    ULONGLONG order; // when the run ended, among all runs
};

TEST(Load, EightProcessesAtOnceLeaveExactlyWhatTheyDid) {
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
    Scenario().Client(4).Admin(true).Write();
    emulator::ClearJournal();

    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"quillet-load-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    std::vector<std::wstring> tokens;
    std::vector<std::wstring> sources;
    for (int worker = 1; worker <= kWorkers; ++worker) {
        tokens.push_back(folder + L"\\load" + std::to_wstring(worker) + L".tok");
        WriteBytes(tokens.back(), R"({"name":")" + ToUtf8(NameOf(worker)) + R"(","guid":")" +
                                      ToUtf8(Guid(worker)) + R"("})");
        sources.push_back(folder + L"\\load" + std::to_wstring(worker) + L".stc");
        WriteBytes(sources.back(), std::string(1024, 'x'));
    }

    std::mutex lock; // guards finished and the order counter
    std::vector<Finished> finished;
    ULONGLONG order = 0;
    std::vector<Model> models(kWorkers + 1);
    const ULONGLONG deadline = GetTickCount64() + kLoadMs;
    // Runs under way at once, and the most seen: the load is only a load if they overlap.
    std::atomic<int> inFlight{0};
    std::atomic<int> peak{0};
    std::vector<std::thread> threads;
    for (int worker = 1; worker <= kWorkers; ++worker) {
        threads.emplace_back([&, worker] {
            Model& model = models[worker];
            for (size_t next = 0; GetTickCount64() < deadline; next = (next + 1) % std::size(kCycle)) {
                const Step& step = kCycle[next];
                const int running = ++inFlight;
                for (int seen = peak.load(); running > seen && !peak.compare_exchange_weak(seen, running);) {
                }
                RunResult result =
                    testing::Run(step.args(Guid(worker), tokens[worker - 1], sources[worker - 1]));
                --inFlight;
                const bool succeeded = result.exitCode == 0;
                if (succeeded) {
                    const std::string name = step.name;
                    if (name == "add") {
                        model = {true, 1, false};
                    } else if (name == "multisource") {
                        model.multisource = true;
                    } else if (name == "start") {
                        model.state = 64;
                    } else if (name == "stop") {
                        model.state = 16;
                    } else if (name == "remove") {
                        model = {};
                    }
                }
                const std::lock_guard<std::mutex> guard(lock);
                finished.push_back({worker, &step, std::move(result), order++});
                if (!succeeded) {
                    return; // what the service holds for this application is no longer known exactly
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::printf("%zu runs in %llu s by %d processes at once\n", finished.size(), kLoadMs / 1000, kWorkers);
    EXPECT_GE(finished.size(), static_cast<size_t>(2 * kWorkers));
    EXPECT_EQ(peak.load(), kWorkers);

    // Every process: its exit code goes with its output, and under load nothing fails.
    for (const Finished& run : finished) {
        const std::string expected =
            Expand(run.step->output, ToUtf8(NameOf(run.worker)), ToUtf8(Guid(run.worker)));
        EXPECT_EQ(run.result.output, ConsoleBytes(std::wstring(expected.begin(), expected.end())))
            << run.step->name << " of worker " << run.worker;
        EXPECT_EQ(run.result.exitCode, 0u) << run.step->name << " of worker " << run.worker;
    }

    // The service holds exactly the applications and multisource files that the successful steps left.
    std::set<std::string> expectedApps;
    std::set<std::string> expectedFiles;
    for (int worker = 1; worker <= kWorkers; ++worker) {
        if (models[worker].exists) {
            expectedApps.insert(ToUtf8(Guid(worker)) + " " + std::to_string(models[worker].state));
        }
        if (models[worker].multisource) {
            expectedFiles.insert(ToUtf8(Guid(worker)));
        }
    }
    std::set<std::string> apps;
    std::set<std::string> files;
    const nlohmann::ordered_json state = emulator::ReadState();
    for (const nlohmann::ordered_json& app : state.at("applications")) {
        apps.insert(app.at("guid").get<std::string>() + " " +
                    std::to_string(app.at("state").get<long long>()));
    }
    for (const nlohmann::ordered_json& file : state.at("multisource")) {
        files.insert(file.at("appGuid").get<std::string>());
    }
    EXPECT_EQ(apps, expectedApps);
    EXPECT_EQ(files, expectedFiles);

    // The journal: numbered without a gap, and every process's calls exactly those of its commands. A
    // process id that the system gave out again groups the calls of runs that followed each other.
    const std::vector<nlohmann::ordered_json> journal = emulator::ReadJournal();
    for (size_t i = 0; i < journal.size(); ++i) {
        ASSERT_EQ(journal[i].at("seq"), i + 1);
    }
    std::vector<const Finished*> byProcess;
    for (const Finished& run : finished) {
        byProcess.push_back(&run);
    }
    std::sort(byProcess.begin(), byProcess.end(), [](const Finished* left, const Finished* right) {
        return std::make_pair(left->result.processId, left->order) <
               std::make_pair(right->result.processId, right->order);
    });
    std::map<DWORD, std::vector<std::string>> expectedCalls;
    for (const Finished* run : byProcess) {
        std::vector<std::string>& calls = expectedCalls[run->result.processId];
        calls.insert(calls.end(), run->step->calls.begin(), run->step->calls.end());
    }
    EXPECT_EQ(CallsByProcess(journal), expectedCalls);

    for (int worker = 1; worker <= kWorkers; ++worker) {
        DeleteFileW(tokens[worker - 1].c_str());
        DeleteFileW(sources[worker - 1].c_str());
    }
    RemoveDirectoryW(folder.c_str());
}

} // namespace
} // namespace quillet::testing::reliability
