#pragma once

#include "BaseParser.h"

#include <cstdint>
#include <string>

namespace quillet {

// Printed when the source of an add is a path that cannot be opened or does not name a token.
inline constexpr wchar_t kTokenFileMessage[] =
    L"Error: token file does not exist, or file is not a token. Use \"Quillet -h\" for more help.\n";

// Reads the words after "application": the command word and its parameters. Guids, paths and parameters
// are kept exactly as typed; only the token source of add is examined.
class SApplicationParser : public SBaseParser {
public:
    BOOL Parse(int count, const wchar_t* const* args) override;

    // Copies of the fields, or an empty string when the parsed command has no such value.
    std::wstring GetTokenSource() const;
    std::wstring GetAppGuid() const;
    std::wstring GetParameters() const;
    std::wstring GetExecutablePath() const;
    std::wstring GetWorkingDirectory() const;

    // Appends to target the entries 1 to n - 1 of list, each in double quotes, separated by one blank
    // (entry 0 is the word in front of them). Quotes and backslashes inside an entry are kept as they are.
    // With n of 1 or less, target is emptied instead.
    static void AppendQuotedArguments(std::wstring& target, int n, const wchar_t* const* list);

    // add: the token source; remove, start, run-cmd, stop: the application guid.
    std::wstring m_target;
    // start: the launch parameters, quoted; run-cmd: the executable path.
    std::wstring m_launchOrExecutable;
    // run-cmd: the working directory.
    std::wstring m_workingDirectory;
    // run-cmd: the command parameters, quoted.
    std::wstring m_commandParameters;
    // 1 when remove or stop was given "all".
    int32_t m_all = 0;
    // 1 when the add source is a token request URL.
    int32_t m_isUrl = 0;

private:
    BOOL ParseAdd(int count, const wchar_t* const* args);
    BOOL ParseSingleTarget(int count, const wchar_t* const* args);
    BOOL ParseStart(int count, const wchar_t* const* args);
    BOOL ParseRunCmd(int count, const wchar_t* const* args);
    BOOL ParseGetIdList(const wchar_t* const* args);
};

} // namespace quillet
