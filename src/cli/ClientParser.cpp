#include "ClientParser.h"

#include "output/Console.h"

namespace quillet {

BOOL SClientParser::Parse(int, const wchar_t* const*) {
    ConsolePrint(kIncorrectNumberMessage);
    return FALSE;
}

} // namespace quillet
