#pragma once

#include "CommandCodes.h"

#include <windows.h>

#include <cstdint>

namespace quillet {

// The two messages that every parser shares.
inline constexpr wchar_t kInvalidArgumentsMessage[] =
    L"Error: invalid arguments entered. Use \"Quillet -h\" for more help.\n";
inline constexpr wchar_t kIncorrectNumberMessage[] =
    L"Error: incorrect number of arguments. Use \"Quillet -h\" for help.\n";

// One level of the command line. Parse reads count words from args (args[count] is null, as in the
// process's argument vector), stores what it recognised and returns TRUE; or prints its one message
// and returns FALSE.
class SBaseParser {
public:
    SBaseParser() = default;
    SBaseParser(const SBaseParser&) = delete;
    SBaseParser& operator=(const SBaseParser&) = delete;
    virtual ~SBaseParser() = default;

    virtual BOOL Parse(int count, const wchar_t* const* args) = 0;

    uint32_t m_command = CMD_NONE;
};

} // namespace quillet
