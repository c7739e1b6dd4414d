#include "ApplicationParser.h"
#include "Executor.h"

namespace quillet {

void SExecutor::RunApplicationCommand(const SApplicationParser&) {
    m_result = E_NOTIMPL;
}

} // namespace quillet
