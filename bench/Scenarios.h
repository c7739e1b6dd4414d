#pragma once

#include "Scenario.h"

#include <string>

namespace quillet::bench {

// The benchmark's own application guids and names, numbered from 1.
std::wstring BenchGuid(int number);
std::wstring BenchName(int number);

// What the emulator holds before one sample of a command, so that every sample of it does the same work:
// the client started with applications initialised (what a script usually finds), and the administrator
// answer fixed to yes, so that the machine's own check never decides anything.
testing::Scenario Defaults();

// The defaults with applications 1 to count, all in the given state.
testing::Scenario WithApplications(int count, int state);

} // namespace quillet::bench
