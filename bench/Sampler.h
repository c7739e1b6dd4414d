#pragma once

#include "CommandCases.h"
#include "ServiceWork.h"
#include "TimedProcess.h"

#include <string>
#include <vector>

namespace quillet::bench {

// Every sample of one series (a command in one situation, or a reference program).
struct Series {
    std::string label;
    std::string situation;
    int applications = 0;              // how many the service holds, for a scale series
    double limitMs = 0;                // a target of its own: a median below this; 0 when none
    std::vector<double> milliseconds;  // the samples that ended as expected
    std::vector<ServiceWork> work;     // the journal's count for each of them
    std::vector<std::string> problems; // one line for each sample that did not
};

// Runs the programs of build/bin (next to the driver) one sample at a time.
class Sampler {
public:
    explicit Sampler(std::wstring binDirectory);

    // One sample of a command: resets the emulator's state to the case's scenario, lets the emulator read
    // it, empties the journal, runs Quillet.exe, checks its exit code and output and counts the journal.
    void RunCommand(const CommandCase& command, Series& series);

    // One sample of a reference program that prints nothing and exits with 0.
    void RunProgram(const std::wstring& program, Series& series);

    // ActivationProbe.exe: its run, its own line of timings in output (empty when it failed).
    TimedRun RunProbe();

private:
    std::wstring Path(const std::wstring& program) const;

    std::wstring m_binDirectory;
};

} // namespace quillet::bench
