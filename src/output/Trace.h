#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstddef>

namespace quillet {

// One trace line, terminator included: longer lines are cut and lose their line feed.
inline constexpr size_t kTraceBufferLength = 1300;

// Diagnostic trace on the debugger-output channel (OutputDebugStringW). Each call writes one line
// that starts with a UTC time stamp and ends with exactly one line feed; an empty format writes nothing.
void TracePrint(const wchar_t* format, ...);
void TracePrintV(const wchar_t* format, va_list args);

// Builds the line "[yyyy-mm-dd hh:mm:ss.mmm] " + the formatted text in a fixed buffer and sends it.
void TraceWrite(const wchar_t* format, va_list args);

// Writes the time-stamp prefix of a trace line for the given UTC time into buffer (kTraceBufferLength
// characters); returns its length.
size_t FormatTracePrefix(const SYSTEMTIME& time, wchar_t* buffer);

// The low 16 bits of an HRESULT, as trace lines show a failure ("[%d]").
inline unsigned TraceCode(HRESULT hr) {
    return static_cast<unsigned>(hr) & 0xFFFFu;
}

} // namespace quillet
