#pragma once

#include "StreamingService.h"
#include "service/ComPtr.h"
#include "service/VariantSafeArray.h"

#include <string>

namespace quillet {

// Creates an IStreamingCache object and initialises it with the process id. On failure it prints the
// reason, releases what it created (without Uninitialize) and returns the failing HRESULT.
HRESULT OpenCacheService(ComPtr<IStreamingCache>& cache);

// A reply that holds no array cannot be read by index: raises _com_error(DISP_E_TYPEMISMATCH) rather
// than letting the read fail as an invalid argument, which would look like a command-line error.
void RequireArrayReply(const CVariantSafeArray& reply);

// The text of element index when it is a non-null BSTR; any other element reads as empty text.
std::wstring ElementText(const CVariantSafeArray& reply, LONG index);

} // namespace quillet
