#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillet::tools {

// Quotes one argument so that the C runtime (and CommandLineToArgvW) reads it back exactly: an empty
// argument becomes "", and backslashes are doubled only where they precede a quotation mark.
std::wstring QuoteArgument(std::wstring_view argument);

// A launcher's command line taken apart: the program to run (its first argument, decoded) and everything
// after that argument exactly as typed, the separating blanks excluded.
struct LaunchCommandLine {
    std::wstring program;
    std::wstring tail;
};

// Skips the program's own name, then reads the first argument by the C runtime's rules. Empty when there
// is no first argument or it is empty.
std::optional<LaunchCommandLine> SplitLaunchCommandLine(std::wstring_view commandLine);

} // namespace quillet::tools
