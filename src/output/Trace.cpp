#include "Trace.h"

#include <string>

#include <strsafe.h>

namespace quillet {

size_t FormatTracePrefix(const SYSTEMTIME& time, wchar_t* buffer) {
    wchar_t* end = buffer;
    StringCchPrintfExW(buffer, kTraceBufferLength, &end, nullptr, 0, L"[%.4u-%.2u-%.2u %.2u:%.2u:%.2u.%.3u] ",
                       time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
                       time.wMilliseconds);
    return static_cast<size_t>(end - buffer);
}

void TraceWrite(const wchar_t* format, va_list args) {
    SYSTEMTIME now;
    GetSystemTime(&now);
    wchar_t line[kTraceBufferLength];
    const size_t prefixLength = FormatTracePrefix(now, line);
    if (prefixLength > 0 && prefixLength < kTraceBufferLength - 1) {
        // Cuts what does not fit and terminates; a cut line loses its line feed.
        StringCchVPrintfW(line + prefixLength, kTraceBufferLength - prefixLength, format, args);
    }
    OutputDebugStringW(line);
}

void TracePrintV(const wchar_t* format, va_list args) {
    if (format == nullptr || format[0] == L'\0') {
        return;
    }
    const std::wstring_view text(format);
    if (text.back() == L'\n') {
        TraceWrite(format, args);
        return;
    }
    // The line feed goes into the format, not after the formatted text, so a cut line loses it.
    const std::wstring terminated = std::wstring(text) + L'\n';
    TraceWrite(terminated.c_str(), args);
}

void TracePrint(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    TracePrintV(format, args);
    va_end(args);
}

} // namespace quillet
