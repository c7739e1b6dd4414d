#include "common/CommandLine.h"

#include <algorithm>

namespace quillet::tools {

namespace {

constexpr wchar_t kBlanks[] = L" \t";

bool IsBlank(wchar_t character) {
    return character == L' ' || character == L'\t';
}

} // namespace

std::wstring QuoteArgument(std::wstring_view argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
        return std::wstring(argument);
    }
    std::wstring quoted;
    quoted.reserve(argument.size() + 2);
    quoted.push_back(L'"');
    size_t backslashes = 0;
    for (const wchar_t character : argument) {
        if (character == L'\\') {
            ++backslashes;
            continue;
        }
        if (character == L'"') {
            // Each backslash before a quotation mark is doubled, and the mark itself escaped.
            quoted.append(2 * backslashes + 1, L'\\');
        } else {
            quoted.append(backslashes, L'\\');
        }
        backslashes = 0;
        quoted.push_back(character);
    }
    // Backslashes before the closing quotation mark are doubled too.
    quoted.append(2 * backslashes, L'\\');
    quoted.push_back(L'"');
    return quoted;
}

std::optional<LaunchCommandLine> SplitLaunchCommandLine(std::wstring_view commandLine) {
    const size_t end = commandLine.size();
    const auto afterBlanks = [&](size_t from) {
        return std::min(commandLine.find_first_not_of(kBlanks, from), end);
    };
    // The program's own name: up to the closing quotation mark when quoted, else up to the first blank.
    const bool quotedName = !commandLine.empty() && commandLine[0] == L'"';
    size_t at = quotedName ? commandLine.find(L'"', 1) : commandLine.find_first_of(kBlanks);
    at = at == std::wstring_view::npos ? end : at + (quotedName ? 1 : 0);
    at = afterBlanks(at);

    LaunchCommandLine result;
    bool quoted = false;
    while (at < end && (quoted || !IsBlank(commandLine[at]))) {
        const wchar_t character = commandLine[at];
        if (character == L'\\') {
            // Backslashes are literal, except that before a quotation mark each pair stands for one and an
            // odd one escapes the mark.
            const size_t backslashes = std::min(commandLine.find_first_not_of(L'\\', at), end) - at;
            at += backslashes;
            const bool beforeQuote = at < end && commandLine[at] == L'"';
            result.program.append(beforeQuote ? backslashes / 2 : backslashes, L'\\');
            if (beforeQuote && backslashes % 2 == 1) {
                result.program.push_back(L'"');
                ++at;
            }
            continue;
        }
        if (character == L'"') {
            if (quoted && at + 1 < end && commandLine[at + 1] == L'"') {
                result.program.push_back(L'"');
                at += 2;
                continue;
            }
            quoted = !quoted;
            ++at;
            continue;
        }
        result.program.push_back(character);
        ++at;
    }
    if (result.program.empty()) {
        return std::nullopt;
    }
    result.tail.assign(commandLine.substr(afterBlanks(at)));
    return result;
}

} // namespace quillet::tools
