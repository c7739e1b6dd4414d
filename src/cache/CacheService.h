#pragma once

#include "StreamingService.h"
#include "service/ComPtr.h"
#include "service/VariantSafeArray.h"

#include <string>

namespace quillet {

// Creates an IStreamingCache object and initialises it with the process id. On failure it prints the
// reason, releases what it created (without Uninitialize) and returns the failing HRESULT.
HRESULT OpenCacheService(ComPtr<IStreamingCache>& cache);

// The text of element index when it is a non-null BSTR; any other element reads as empty text.
std::wstring ElementText(const CVariantSafeArray& reply, LONG index);

} // namespace quillet
