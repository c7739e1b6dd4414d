#pragma once

#include <windows.h>

#include <string_view>

namespace quillet::tools {

// Writes a tool's text to a standard handle (STD_OUTPUT_HANDLE or STD_ERROR_HANDLE). A console receives
// the characters as they are; a file or pipe receives what redirected console output carries: every line
// feed as CR LF, in the console's output code page, or the ANSI code page without a console.
void WriteText(DWORD standardHandle, std::wstring_view text);

// Formats as ConsolePrint does (%s takes a wide string) and writes the result. Only the tools'
// own constants are passed as the format.
void PrintTo(DWORD standardHandle, const wchar_t* format, ...);

} // namespace quillet::tools
