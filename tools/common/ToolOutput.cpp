#include "common/ToolOutput.h"

#include "output/Console.h"
#include "output/WideFormat.h"

#include <cstdarg>
#include <string>

namespace quillet::tools {

void WriteText(DWORD standardHandle, std::wstring_view text) {
    const HANDLE output = GetStdHandle(standardHandle);
    if (text.empty() || output == nullptr || output == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD mode = 0;
    if (GetConsoleMode(output, &mode)) {
        std::wstring lines;
        lines.reserve(text.size() + 8);
        for (const wchar_t character : text) {
            if (character == L'\n') {
                lines.push_back(L'\r');
            }
            lines.push_back(character);
        }
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
    const UINT consoleCodePage = GetConsoleOutputCP();
    const std::string bytes = EncodeConsoleText(text, consoleCodePage != 0 ? consoleCodePage : GetACP());
    const char* at = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD part = left > 0x10000 ? 0x10000 : static_cast<DWORD>(left);
        if (!WriteFile(output, at, part, &written, nullptr) || written == 0) {
            return;
        }
        at += written;
        left -= written;
    }
}

void PrintTo(DWORD standardHandle, const wchar_t* format, ...) {
    std::wstring text;
    WideStringSink sink(text);
    va_list args;
    va_start(args, format);
    FormatWideV(sink, format, args);
    va_end(args);
    WriteText(standardHandle, text);
}

} // namespace quillet::tools
