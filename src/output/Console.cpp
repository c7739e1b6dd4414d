#include "Console.h"

#include "win32/WholeFile.h"

#include <climits>
#include <cstdarg>

#include <strsafe.h>

namespace quillet {

namespace {

std::wstring WithCarriageReturns(std::wstring_view text) {
    std::wstring result;
    result.reserve(text.size() + 16);
    for (const wchar_t character : text) {
        if (character == L'\n') {
            result.push_back(L'\r');
        }
        result.push_back(character);
    }
    return result;
}

// The code page that a redirected console program writes in: the console's output code page, or the
// ANSI code page when the process has no console.
UINT RedirectedCodePage() {
    const UINT codePage = GetConsoleOutputCP();
    return codePage != 0 ? codePage : GetACP();
}

HRESULT WriteToConsole(HANDLE output, std::wstring_view text) {
    // A real console shows every character; no code page stands in the way.
    const std::wstring lines = WithCarriageReturns(text);
    const wchar_t* at = lines.data();
    size_t left = lines.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD part = left > 0x4000 ? 0x4000 : static_cast<DWORD>(left);
        if (!WriteConsoleW(output, at, part, &written, nullptr)) {
            return HRESULT_FROM_WIN32(GetLastError());
        }
        if (written == 0) {
            return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
        }
        at += written;
        left -= written;
    }
    return S_OK;
}

bool IsUsable(HANDLE output) {
    return output != nullptr && output != INVALID_HANDLE_VALUE;
}

// Redirected text is written once this much has gathered.
constexpr size_t kBufferedBytes = 64 * 1024;

// The standard output as the buffering last saw it. Asking whether a handle is a console, and for its
// code page, is itself a round trip to the server under Wine; it is asked once per handle.
struct Buffering {
    bool active = false;
    HANDLE output = nullptr;
    bool console = false;
    UINT codePage = 0;
    std::string pending;
    // The first write that failed; nothing is written after it.
    HRESULT failure = S_OK;
};

Buffering g_buffering;

// Keeps the first failure: the exit code tells of it, and the stream gets nothing more.
void RecordWrite(HRESULT hr) {
    if (SUCCEEDED(g_buffering.failure)) {
        g_buffering.failure = hr;
    }
}

void FlushBuffered() {
    if (!g_buffering.pending.empty() && SUCCEEDED(g_buffering.failure)) {
        RecordWrite(WriteAllBytes(g_buffering.output, g_buffering.pending));
    }
    g_buffering.pending.clear();
}

void WriteBuffered(HANDLE output, std::wstring_view text) {
    if (FAILED(g_buffering.failure)) {
        return;
    }
    if (output != g_buffering.output) {
        // Text already gathered belongs to the handle it was printed for.
        FlushBuffered();
        DWORD mode = 0;
        g_buffering.output = output;
        g_buffering.console = GetConsoleMode(output, &mode) != FALSE;
        g_buffering.codePage = g_buffering.console ? 0 : RedirectedCodePage();
    }
    if (g_buffering.console) {
        RecordWrite(WriteToConsole(output, text));
        return;
    }
    g_buffering.pending += EncodeConsoleText(text, g_buffering.codePage);
    if (g_buffering.pending.size() >= kBufferedBytes) {
        FlushBuffered();
    }
}

} // namespace

ConsoleBuffering::ConsoleBuffering() noexcept {
    g_buffering = Buffering{};
    g_buffering.active = true;
}

ConsoleBuffering::~ConsoleBuffering() {
    FlushBuffered();
    g_buffering = Buffering{};
}

HRESULT ConsoleBuffering::Flush() {
    FlushBuffered();
    return g_buffering.failure;
}

HRESULT WriteConsoleText(HANDLE output, std::wstring_view text) {
    if (text.empty() || !IsUsable(output)) {
        return S_OK;
    }
    DWORD mode = 0;
    if (GetConsoleMode(output, &mode)) {
        return WriteToConsole(output, text);
    }
    return WriteAllBytes(output, EncodeConsoleText(text, RedirectedCodePage()));
}

std::string EncodeConsoleText(std::wstring_view text, UINT codePage) {
    const std::wstring lines = WithCarriageReturns(text);
    std::string bytes;
    if (lines.empty() || lines.size() > static_cast<size_t>(INT_MAX)) {
        return bytes;
    }
    const int length = static_cast<int>(lines.size());
    // Best fit would print a fullwidth letter as its ASCII look-alike. The code pages that take no flags
    // (UTF-8 and UTF-7 among them) have no best fit to turn off.
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    int size = WideCharToMultiByte(codePage, flags, lines.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0 && GetLastError() == ERROR_INVALID_FLAGS) {
        flags = 0;
        size = WideCharToMultiByte(codePage, flags, lines.data(), length, nullptr, 0, nullptr, nullptr);
    }
    if (size <= 0) {
        return bytes;
    }
    bytes.resize(static_cast<size_t>(size));
    WideCharToMultiByte(codePage, flags, lines.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::wstring FormatText(const wchar_t* format, va_list args) {
    va_list counting;
    va_copy(counting, args);
    const int length = _vscwprintf(format, counting);
    va_end(counting);
    std::wstring text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length));
        // The count includes the terminator, which lands on the string's own. strsafe formats with
        // _vsnwprintf, which MSVC would reject as deprecated when called directly.
        StringCchVPrintfW(text.data(), text.size() + 1, format, args);
    }
    return text;
}

void ConsolePrint(const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const std::wstring text = FormatText(format, args);
    va_end(args);
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (g_buffering.active && !text.empty() && IsUsable(output)) {
        WriteBuffered(output, text);
        return;
    }
    WriteConsoleText(output, text);
}

} // namespace quillet
