#pragma once

#include "StreamingService.h"
#include "service/ComPtr.h"

namespace quillet {

// Creates an IStreamingCache object and initialises it with the process id. On failure it prints the
// reason, releases what it created (without Uninitialize) and returns the failing HRESULT.
HRESULT OpenCacheService(ComPtr<IStreamingCache>& cache);

} // namespace quillet
