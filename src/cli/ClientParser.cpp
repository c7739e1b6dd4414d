#include "ClientParser.h"

#include "Executor.h"
#include "output/Console.h"

namespace quillet {

BOOL SClientParser::Parse(int, const wchar_t* const*) {
    ConsolePrint(kIncorrectNumberMessage);
    return FALSE;
}

void SExecutor::RunClientCommand(const SClientParser&) {
    m_result = E_NOTIMPL;
}

} // namespace quillet
