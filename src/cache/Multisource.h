#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

namespace quillet {

// The multisource file requests. Each passes the request on, prints "Success." (no line end) or
// "Failed.\n" and, for the two queries, the answer; it returns the HRESULT of the service call, or of
// the creation or initialisation of the cache object when that failed. A nonzero flag is sent as true.
HRESULT MultisourceAdd(std::wstring_view appGuid, std::wstring_view sourcePath,
                       std::wstring_view destinationPath, int32_t overwriteExisting);
HRESULT MultisourceDelete(std::wstring_view appGuid);
HRESULT MultisourceGetInfo(std::wstring_view appGuid);
HRESULT MultisourceGetIdList(int32_t finishedOnly);

} // namespace quillet
