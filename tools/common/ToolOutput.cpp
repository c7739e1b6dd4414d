#include "common/ToolOutput.h"

#include "output/Console.h"
#include "output/WideFormat.h"

#include <cstdarg>
#include <string>

namespace quillet::tools {

void WriteText(DWORD standardHandle, std::wstring_view text) {
    WriteConsoleText(GetStdHandle(standardHandle), text);
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
