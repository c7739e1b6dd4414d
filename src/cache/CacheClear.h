#pragma once

#include <windows.h>

namespace quillet {

// The cache clear command, for administrators only: E_FAIL for anyone else, otherwise the HRESULT of the
// last service call made (ClearCache's, or the one that kept the cache object from opening).
HRESULT CacheClear();

} // namespace quillet
