#include "ClientParser.h"

#include "Keyword.h"
#include "output/Console.h"

namespace quillet {

BOOL SClientParser::Parse(int count, const wchar_t* const* args) {
    // The word count is checked first: "client restart now" reads as too many words.
    if (count != 1) {
        ConsolePrint(kIncorrectNumberMessage);
        m_command = CMD_CLIENT_INVALID;
        return FALSE;
    }
    if (KeywordEquals(args[0], L"start")) {
        m_command = CMD_CLIENT_START;
        return TRUE;
    }
    if (KeywordEquals(args[0], L"stop")) {
        m_command = CMD_CLIENT_STOP;
        return TRUE;
    }
    ConsolePrint(kInvalidArgumentsMessage);
    m_command = CMD_CLIENT_INVALID;
    return FALSE;
}

} // namespace quillet
