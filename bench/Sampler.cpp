#include "Sampler.h"

#include "Emulator.h"
#include "ServiceProbe.h"

#include <cstdio>
#include <exception>

namespace quillet::bench {

namespace {

// Far above any command's time (remove all with 100 applications takes tens of seconds).
constexpr DWORD kTimeoutMs = 300000;

std::string Hex(DWORD code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(code));
    return text;
}

// The start of a child's output on one line, for a report line.
std::string Excerpt(const std::string& output) {
    std::string excerpt;
    for (const char character : output.substr(0, 200)) {
        if (character == '\n') {
            excerpt += " / ";
        } else if (character != '\r') {
            excerpt += character;
        }
    }
    return excerpt;
}

std::string Describe(const TimedRun& run) {
    if (!run.started) {
        return "cannot start (error " + std::to_string(run.exitCode) + ")";
    }
    if (run.timedOut) {
        return "killed after " + std::to_string(kTimeoutMs / 1000) + " s";
    }
    return "exit code " + Hex(run.exitCode);
}

// Every timed run starts on a quiet machine as far as the benchmark goes: what came just before (the
// previous sample, the scenario written and read, the driver's own calls) leaves the emulator and the
// Wine server closing connections and ending threads for some milliseconds.
void Settle() {
    constexpr DWORD kSettleMs = 150;
    Sleep(kSettleMs);
}

} // namespace

Sampler::Sampler(std::wstring binDirectory) : m_binDirectory(std::move(binDirectory)) {}

std::wstring Sampler::Path(const std::wstring& program) const {
    return m_binDirectory + L"\\" + program;
}

void Sampler::RunCommand(const CommandCase& command, Series& series) {
    namespace emulator = testing::emulator;
    try {
        if (!command.leftover.empty()) {
            DeleteFileW(command.leftover.c_str());
        }
        if (command.scenario) {
            command.scenario->Write();
            if (const HRESULT primed = PrimeEmulator(); FAILED(primed)) {
                series.problems.push_back("the emulator did not answer: " + Hex(static_cast<DWORD>(primed)));
                return;
            }
        }
        emulator::ClearJournal();
        Settle();
        const TimedRun run = RunTimed(Path(L"Quillet.exe"), command.args, kTimeoutMs);
        if (!run.started || run.timedOut || run.exitCode != command.expectedExitCode) {
            series.problems.push_back(Describe(run) + ", expected " + Hex(command.expectedExitCode) +
                                      "; output: " + Excerpt(run.output));
            return;
        }
        if (run.output.find(command.expectedOutput) == std::string::npos) {
            series.problems.push_back("output lacks \"" + command.expectedOutput +
                                      "\"; output: " + Excerpt(run.output));
            return;
        }
        series.milliseconds.push_back(run.milliseconds);
        series.work.push_back(CountServiceWork(emulator::ReadJournal()));
    } catch (const std::exception& problem) {
        series.problems.push_back(problem.what());
    }
}

void Sampler::RunProgram(const std::wstring& program, Series& series) {
    Settle();
    const TimedRun run = RunTimed(Path(program), {}, kTimeoutMs);
    if (!run.started || run.timedOut || run.exitCode != 0) {
        series.problems.push_back(Describe(run));
        return;
    }
    series.milliseconds.push_back(run.milliseconds);
    series.work.push_back(ServiceWork{});
}

TimedRun Sampler::RunProbe() {
    Settle();
    TimedRun run = RunTimed(Path(L"ActivationProbe.exe"), {}, kTimeoutMs);
    if (!run.started || run.timedOut || run.exitCode != 0) {
        run.output.clear();
    }
    return run;
}

} // namespace quillet::bench
