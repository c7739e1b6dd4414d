#pragma once

#include <windows.h>

#include <string>

namespace quillet::emulator {

// A token's bytes from a local file, or from an HTTP GET of a token request URL.
HRESULT ReadTokenFile(const std::wstring& path, std::string& token);
// A status other than 200 fails with 0x80190000 | status, as the HTTP_E_STATUS_* codes do. The whole
// request has 15 s (0x80072EE2 after that); it ends at once with kServerStopping when stopping is set.
HRESULT FetchToken(const std::wstring& url, std::string& token, HANDLE stopping);

} // namespace quillet::emulator
