#pragma once

// Behaviour as rows: one run of a program and everything that a user or a script relies on from it. A
// table is a std::vector<Row> looped over in one TEST with EXPECT_ROW; a new case costs one row.

#include "Constants.h"
#include "Runner.h"
#include "Scenario.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillet::testing {

struct Row {
    std::string name;
    std::optional<Scenario> scenario; // written before the run; none for a run that needs no service state
    std::vector<std::wstring> args;
    std::string output; // standard output with LF line ends (the run's has CR LF)
    DWORD exitCode = 0;
    std::string errors;                            // standard error, likewise
    std::optional<std::vector<std::string>> calls; // the run's calls (Journal.h), those that only names
    CallFilter only;
    std::optional<std::vector<std::wstring>> trace; // the run's trace messages, each with its line feed
    RunOptions options;                             // the trace is captured only for a row that states it
    std::function<void()> setup;                    // before the scenario is written: what it cannot hold
    std::function<void(const RunResult&)> check;    // after the run: what the run left elsewhere
};

// Runs the row and reports every difference at the caller's file and line, naming the row.
RunResult ExpectRow_(const char* file, int line, const Row& row);
#define EXPECT_ROW(row) ::quillet::testing::ExpectRow_(__FILE__, __LINE__, row)

// Every row of a table, in turn.
template <class Rows> void ExpectRows_(const char* file, int line, const Rows& rows) {
    for (const Row& row : rows) {
        ExpectRow_(file, line, row);
    }
}
#define EXPECT_ROWS(rows) ::quillet::testing::ExpectRows_(__FILE__, __LINE__, rows)

} // namespace quillet::testing
