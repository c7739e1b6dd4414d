#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

namespace quillet {

// The cache size (MB) and location as the service keeps them. Showing is open to every user; changing
// is for administrators. Each returns the HRESULT of the service call that decided the outcome.
HRESULT ShowCacheSize();
HRESULT ChangeCacheSize(int32_t sizeMB);
HRESULT ShowCacheLocation();
HRESULT ChangeCacheLocation(std::wstring_view path);

} // namespace quillet
