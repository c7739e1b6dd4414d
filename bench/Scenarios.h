#pragma once

#include <string>
#include <vector>

namespace quillet::bench {

// What the emulator holds before one sample of a command: written to its state.json, so that every sample
// of a command does the same work.
struct EmulatorScenario {
    struct Application {
        std::wstring guid;
        std::wstring name;
        int state = 1;
    };
    struct MultisourceFile {
        std::wstring appGuid;
        std::wstring sourcePath;
        std::wstring localPath;
    };
    int clientState = 4; // started, applications initialised: what a script usually finds
    std::vector<Application> applications;
    std::vector<MultisourceFile> multisource;
};

// The benchmark's own application guids and names, numbered from 1.
std::wstring BenchGuid(int number);
std::wstring BenchName(int number);

// A scenario with applications 1 to count, all in the given state.
EmulatorScenario WithApplications(int count, int state);

// state.json text (UTF-8 JSON). The administrator answer is fixed to yes, so that the machine's own
// check never decides anything.
std::string ScenarioJson(const EmulatorScenario& scenario);

} // namespace quillet::bench
