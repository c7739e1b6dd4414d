#include "CacheParser.h"
#include "Executor.h"

namespace quillet {

void SExecutor::RunCacheCommand(const SCacheParser&) {
    m_result = E_NOTIMPL;
}

} // namespace quillet
