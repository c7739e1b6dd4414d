#include "common/CommandLine.h"

namespace quillet::tools {

namespace {

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
    size_t at = 0;
    const size_t end = commandLine.size();
    // The program's own name: up to the closing quotation mark when quoted, else up to the first blank.
    if (at < end && commandLine[at] == L'"') {
        ++at;
        while (at < end && commandLine[at] != L'"') {
            ++at;
        }
        if (at < end) {
            ++at;
        }
    } else {
        while (at < end && !IsBlank(commandLine[at])) {
            ++at;
        }
    }
    while (at < end && IsBlank(commandLine[at])) {
        ++at;
    }

    LaunchCommandLine result;
    bool quoted = false;
    while (at < end && (quoted || !IsBlank(commandLine[at]))) {
        const wchar_t character = commandLine[at];
        if (character == L'\\') {
            size_t backslashes = 0;
            while (at < end && commandLine[at] == L'\\') {
                ++backslashes;
                ++at;
            }
            if (at < end && commandLine[at] == L'"') {
                result.program.append(backslashes / 2, L'\\');
                if (backslashes % 2 == 1) {
                    result.program.push_back(L'"');
                    ++at;
                }
            } else {
                result.program.append(backslashes, L'\\');
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
    while (at < end && IsBlank(commandLine[at])) {
        ++at;
    }
    result.tail.assign(commandLine.substr(at));
    return result;
}

} // namespace quillet::tools
