#pragma once

#include "win32/UniqueHandle.h"

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
    std::wstring m_path;
    UniqueFile m_file; // deletes the file when it closes
};

} // namespace quillet::testing
