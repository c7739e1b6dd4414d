#include "Row.h"

#include "Emulator.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace quillet::testing {

namespace {

std::vector<std::string> Narrow(const std::vector<std::wstring>& lines) {
    std::vector<std::string> narrow;
    for (const std::wstring& line : lines) {
        narrow.push_back(ToUtf8(line));
    }
    return narrow;
}

} // namespace

RunResult ExpectRow_(const char* file, int line, const Row& row) {
    const auto check = [&](const char* what, const auto& expected, const auto& actual) {
        if (expected != actual) {
            ADD_FAILURE_AT(file, line) << "row \"" << row.name << "\": " << what
                                       << "\n  expected: " << ::testing::PrintToString(expected)
                                       << "\n    actual: " << ::testing::PrintToString(actual);
        }
    };
    if (row.setup) {
        row.setup();
    }
    if (row.scenario) {
        if (const HRESULT hr = emulator::EnsureResident(); FAILED(hr)) {
            ADD_FAILURE_AT(file, line)
                << "row \"" << row.name << "\": the emulator is not resident, " << Hex(hr);
        }
        row.scenario->Write();
    }
    RunOptions options = row.options;
    options.captureTrace = options.captureTrace && row.trace.has_value();
    options.journal = options.journal && (row.scenario || row.calls || row.check);
    const RunResult result = Run(row.args, options);
    check("exit code", Hex(row.exitCode), Hex(result.exitCode));
    check("standard output", Crlf(row.output), result.output);
    check("standard error", Crlf(row.errors), result.errors);
    if (row.calls) {
        check("calls", *row.calls, result.Calls(row.only));
    }
    if (row.trace) {
        check("trace", Narrow(*row.trace), Narrow(result.trace));
    }
    if (row.check) {
        row.check(result);
    }
    return result;
}

} // namespace quillet::testing
