#include "common/ToolOutput.h"

#include "output/Console.h"

#include <cstdarg>

namespace quillet::tools {

void WriteText(DWORD standardHandle, std::wstring_view text) {
    WriteConsoleText(GetStdHandle(standardHandle), text);
}

void PrintTo(DWORD standardHandle, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    const std::wstring text = FormatText(format, args);
    va_end(args);
    WriteText(standardHandle, text);
}

} // namespace quillet::tools
