#include "Trace.h"

#include "WideFormat.h"

#include <string>

namespace quillet {

size_t FormatTracePrefix(const SYSTEMTIME& time, wchar_t* buffer) {
    FixedWideBuffer prefix(buffer, kTraceBufferLength);
    FormatWide(prefix, L"[%.4u-%.2u-%.2u %.2u:%.2u:%.2u.%.3u] ", time.wYear, time.wMonth, time.wDay,
               time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
    return prefix.Length();
}

void TraceWrite(const wchar_t* format, va_list args) {
    SYSTEMTIME now;
    GetSystemTime(&now);
    wchar_t line[kTraceBufferLength];
    const size_t prefixLength = FormatTracePrefix(now, line);
    if (prefixLength > 0 && prefixLength < kTraceBufferLength - 1) {
        FixedWideBuffer rest(line + prefixLength, kTraceBufferLength - prefixLength);
        FormatWideV(rest, format, args);
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
    std::wstring terminated;
    terminated.reserve(text.size() + 1);
    terminated.append(text);
    terminated.push_back(L'\n');
    TraceWrite(terminated.c_str(), args);
}

void TracePrint(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    TracePrintV(format, args);
    va_end(args);
}

} // namespace quillet
