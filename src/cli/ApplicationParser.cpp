#include "ApplicationParser.h"

#include "output/Console.h"

namespace quillet {

BOOL SApplicationParser::Parse(int, const wchar_t* const*) {
    ConsolePrint(kIncorrectNumberMessage);
    return FALSE;
}

} // namespace quillet
