#include "CacheParser.h"

#include "output/Console.h"

namespace quillet {

BOOL SCacheParser::Parse(int, const wchar_t* const*) {
    ConsolePrint(kIncorrectNumberMessage);
    return FALSE;
}

} // namespace quillet
