#include "ApplicationParser.h"

#include "Keyword.h"
#include "output/Console.h"
#include "win32/UniqueHandle.h"

#include <cwchar>
#include <string_view>

namespace quillet {

namespace {

BOOL Refuse(const wchar_t* message) {
    ConsolePrint(message);
    return FALSE;
}

bool StartsWith(std::wstring_view text, std::wstring_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// Token request URLs; the prefixes are case-sensitive, so "HTTP:" names a file.
bool IsTokenUrl(std::wstring_view source) {
    return StartsWith(source, L"http:") || StartsWith(source, L"https:");
}

// Whether the path can be opened for reading, without locking anyone out. A missing file, a directory
// and a denied access all fail. The content is never read: a token is known by its name.
bool CanOpenForReading(const wchar_t* path) {
    const UniqueFile file(CreateFileW(path, GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return static_cast<bool>(file);
}

} // namespace

BOOL SApplicationParser::Parse(int count, const wchar_t* const* args) {
    if (count < 1) {
        m_command = CMD_APP_INVALID;
        return Refuse(kIncorrectNumberMessage);
    }
    static constexpr struct {
        const wchar_t* keyword;
        uint32_t command;
    } kCommands[] = {
        {L"add", CMD_APP_ADD},         {L"remove", CMD_APP_REMOVE}, {L"start", CMD_APP_START},
        {L"run-cmd", CMD_APP_RUN_CMD}, {L"stop", CMD_APP_STOP},     {L"getIdList", CMD_APP_GET_ID_LIST},
    };
    m_command = CMD_APP_INVALID;
    for (const auto& entry : kCommands) {
        if (KeywordEquals(args[0], entry.keyword)) {
            // The command is known from here on, even if its parameters turn out wrong.
            m_command = entry.command;
            break;
        }
    }
    switch (m_command) {
    case CMD_APP_ADD:
        return ParseAdd(count, args);
    case CMD_APP_REMOVE:
    case CMD_APP_STOP:
        return ParseSingleTarget(count, args);
    case CMD_APP_START:
        return ParseStart(count, args);
    case CMD_APP_RUN_CMD:
        return ParseRunCmd(count, args);
    case CMD_APP_GET_ID_LIST:
        return ParseGetIdList(args);
    default:
        return Refuse(kInvalidArgumentsMessage);
    }
}

BOOL SApplicationParser::ParseAdd(int count, const wchar_t* const* args) {
    // A second parameter is tolerated and ignored.
    if (args[1] == nullptr || count == 1 || count > 3) {
        return Refuse(kIncorrectNumberMessage);
    }
    const wchar_t* source = args[1];
    if (IsTokenUrl(source)) {
        m_isUrl = 1;
    } else if (!CanOpenForReading(source) || std::wcsstr(source, L".tok") == nullptr) {
        return Refuse(kTokenFileMessage);
    }
    m_target = source;
    return TRUE;
}

BOOL SApplicationParser::ParseSingleTarget(int count, const wchar_t* const* args) {
    if (args[1] == nullptr || count != 2) {
        return Refuse(kIncorrectNumberMessage);
    }
    if (KeywordEquals(args[1], L"all")) {
        m_all = 1;
        m_target.clear();
    } else {
        m_target = args[1];
    }
    return TRUE;
}

BOOL SApplicationParser::ParseStart(int count, const wchar_t* const* args) {
    if (args[1] == nullptr || count == 1) {
        return Refuse(kIncorrectNumberMessage);
    }
    m_target = args[1];
    AppendQuotedArguments(m_launchOrExecutable, count - 1, args + 1);
    return TRUE;
}

BOOL SApplicationParser::ParseRunCmd(int count, const wchar_t* const* args) {
    if (args[1] == nullptr || count == 1) {
        return Refuse(kIncorrectNumberMessage);
    }
    m_target = args[1];
    if (args[2] == nullptr || count == 2) {
        return Refuse(kIncorrectNumberMessage);
    }
    m_launchOrExecutable = args[2];
    if (count == 3) {
        m_workingDirectory.clear();
        m_commandParameters.clear();
        return TRUE;
    }
    m_workingDirectory = args[3];
    AppendQuotedArguments(m_commandParameters, count - 3, args + 3);
    return TRUE;
}

BOOL SApplicationParser::ParseGetIdList(const wchar_t* const* args) {
    if (args[1] != nullptr) {
        return Refuse(kIncorrectNumberMessage);
    }
    return TRUE;
}

void SApplicationParser::AppendQuotedArguments(std::wstring& target, int n, const wchar_t* const* list) {
    if (n <= 1) {
        target.clear();
        return;
    }
    for (int index = 1; index < n && list[index] != nullptr; ++index) {
        if (index > 1) {
            target += L' ';
        }
        target += L'"';
        target += list[index];
        target += L'"';
    }
}

std::wstring SApplicationParser::GetTokenSource() const {
    return m_command == CMD_APP_ADD ? m_target : std::wstring();
}

std::wstring SApplicationParser::GetAppGuid() const {
    switch (m_command) {
    case CMD_APP_REMOVE:
    case CMD_APP_START:
    case CMD_APP_RUN_CMD:
    case CMD_APP_STOP:
        return m_target;
    default:
        return std::wstring();
    }
}

std::wstring SApplicationParser::GetParameters() const {
    switch (m_command) {
    case CMD_APP_START:
        return m_launchOrExecutable;
    case CMD_APP_RUN_CMD:
        return m_commandParameters;
    default:
        return std::wstring();
    }
}

std::wstring SApplicationParser::GetExecutablePath() const {
    return m_command == CMD_APP_RUN_CMD ? m_launchOrExecutable : std::wstring();
}

std::wstring SApplicationParser::GetWorkingDirectory() const {
    return m_command == CMD_APP_RUN_CMD ? m_workingDirectory : std::wstring();
}

} // namespace quillet
