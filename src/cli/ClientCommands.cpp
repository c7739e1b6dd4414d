#include "ClientParser.h"
#include "Executor.h"

namespace quillet {

void SExecutor::RunClientCommand(const SClientParser&) {
    m_result = E_NOTIMPL;
}

} // namespace quillet
