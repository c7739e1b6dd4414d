#include "CacheParser.h"

#include "Executor.h"
#include "output/Console.h"

namespace quillet {

BOOL SCacheParser::Parse(int, const wchar_t* const*) {
    ConsolePrint(kIncorrectNumberMessage);
    return FALSE;
}

void SExecutor::RunCacheCommand(const SCacheParser&) {
    m_result = E_NOTIMPL;
}

} // namespace quillet
