#include "Console.h"

#include "WideFormat.h"

#include <climits>
#include <cstdarg>

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

void WriteAll(HANDLE output, const void* data, size_t size) {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        DWORD written = 0;
        const DWORD part = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
        if (!WriteFile(output, bytes, part, &written, nullptr) || written == 0) {
            return;
        }
        bytes += written;
        size -= written;
    }
}

} // namespace

void WriteConsoleText(HANDLE output, std::wstring_view text) {
    if (text.empty() || output == nullptr || output == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::wstring lines = WithCarriageReturns(text);
    DWORD mode = 0;
    if (GetConsoleMode(output, &mode)) {
        // A real console shows every character; no code page stands in the way.
        const wchar_t* at = lines.data();
        size_t left = lines.size();
        while (left > 0) {
            DWORD written = 0;
            const DWORD part = left > 0x4000 ? 0x4000 : static_cast<DWORD>(left);
            if (!WriteConsoleW(output, at, part, &written, nullptr) || written == 0) {
                return;
            }
            at += written;
            left -= written;
        }
        return;
    }
    const std::string bytes = EncodeConsoleText(text, RedirectedCodePage());
    WriteAll(output, bytes.data(), bytes.size());
}

std::string EncodeConsoleText(std::wstring_view text, UINT codePage) {
    const std::wstring lines = WithCarriageReturns(text);
    std::string bytes;
    if (lines.empty() || lines.size() > static_cast<size_t>(INT_MAX)) {
        return bytes;
    }
    const int length = static_cast<int>(lines.size());
    const int size = WideCharToMultiByte(codePage, 0, lines.data(), length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) {
        return bytes;
    }
    bytes.resize(static_cast<size_t>(size));
    WideCharToMultiByte(codePage, 0, lines.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

void ConsolePrint(const wchar_t* format, ...) {
    std::wstring text;
    WideStringSink sink(text);
    va_list args;
    va_start(args, format);
    FormatWideV(sink, format, args);
    va_end(args);
    WriteConsoleText(GetStdHandle(STD_OUTPUT_HANDLE), text);
}

} // namespace quillet
