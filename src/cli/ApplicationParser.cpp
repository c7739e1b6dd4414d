#include "ApplicationParser.h"

#include "Executor.h"
#include "output/Console.h"

namespace quillet {

BOOL SApplicationParser::Parse(int, const wchar_t* const*) {
    ConsolePrint(kIncorrectNumberMessage);
    return FALSE;
}

void SExecutor::RunApplicationCommand(const SApplicationParser&) {
    m_result = E_NOTIMPL;
}

} // namespace quillet
