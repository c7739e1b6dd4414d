#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace quillet {

// Writes user-facing text to standard output. The format follows FormatWideV (%s takes a wide string);
// only the program's own constants are ever passed as the format.
void ConsolePrint(const wchar_t* format, ...);

// Writes finished text to an output handle as ConsolePrint does: Unicode to a real console, otherwise
// the bytes of EncodeConsoleText in the redirected code page.
void WriteConsoleText(HANDLE output, std::wstring_view text);

// The bytes that go to a redirected standard output: every line feed becomes CR LF, as text-mode output
// has it, and the text is encoded in codePage. A character that the code page lacks becomes the code
// page's default character instead of ending the output.
std::string EncodeConsoleText(std::wstring_view text, UINT codePage);

} // namespace quillet
