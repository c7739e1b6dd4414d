#pragma once

#include <windows.h>

namespace quillet {

// Runs the command line after the program's name and returns the process exit code. Never throws:
// a failure raised on the way (a failed COM data primitive, exhausted memory) is reported on the console
// and becomes the exit code. A run that would end with 0 ends with the HRESULT of a failed write to
// standard output instead.
HRESULT RunQuillet(int count, const wchar_t* const* args) noexcept;

} // namespace quillet
