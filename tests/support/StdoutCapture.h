#pragma once

#include <windows.h>

#include <string>

namespace quillet::testing {

// Points this process's standard output at a temporary file for the capture's lifetime, so that
// in-process tests can read the exact bytes that ConsolePrint writes.
class StdoutCapture {
public:
    StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;
    ~StdoutCapture();

    // Everything written since construction.
    std::string Bytes() const;

private:
    HANDLE m_previous = nullptr;
    HANDLE m_file = INVALID_HANDLE_VALUE;
};

} // namespace quillet::testing
