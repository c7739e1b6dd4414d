#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>
#include <string_view>

namespace quillet {

// Writes user-facing text to standard output, formatted by FormatText. Only the program's own constants
// are ever passed as the format.
void ConsolePrint(const wchar_t* format, ...);

// Formats with the C runtime's Microsoft-convention wide functions, in which %s takes a wide string as
// it does with MSVC (the ISO functions that libstdc++ selects under mingw would take it as narrow).
std::wstring FormatText(const wchar_t* format, va_list args);

// While an object of this class lives, ConsolePrint collects text for a standard output that is a file or
// a pipe and writes it in large pieces, and the rest when the object goes, as the C runtime buffers a
// redirected stream; a console still gets every text at once. Under Wine every write to a pipe costs a
// round trip to the server, so a list printed line by line would cost far more than the service calls
// behind it. Once a write has failed, nothing more is written. The program holds one around its whole
// run. Not nested, not shared between threads.
class ConsoleBuffering {
public:
    ConsoleBuffering() noexcept;
    ConsoleBuffering(const ConsoleBuffering&) = delete;
    ConsoleBuffering& operator=(const ConsoleBuffering&) = delete;
    ~ConsoleBuffering();

    // Writes what has gathered; S_OK, or the HRESULT of the first write that failed while this object lived.
    HRESULT Flush();
};

// Writes finished text to an output handle as ConsolePrint does, at once: Unicode to a real console,
// otherwise the bytes of EncodeConsoleText in the redirected code page. Returns the write's HRESULT.
HRESULT WriteConsoleText(HANDLE output, std::wstring_view text);

// The bytes that go to a redirected standard output: every line feed becomes CR LF, as text-mode output
// has it, and the text is encoded in codePage without best-fit mapping. A character that the code page
// lacks becomes the code page's default character, never a look-alike, and never ends the output.
std::string EncodeConsoleText(std::wstring_view text, UINT codePage);

} // namespace quillet
