#include "TokenSource.h"

#include "Refusals.h"
#include "win32/UniqueHandle.h"
#include "win32/WholeFile.h"

#include <winhttp.h>

#include <vector>

namespace quillet::emulator {

namespace {

// A token is a few hundred bytes; anything far larger is no token.
constexpr size_t kMaxTokenBytes = 1 << 20;
constexpr int kTimeoutMs = 15000;

struct InternetHandleTraits {
    using pointer = HINTERNET;
    static pointer Invalid() noexcept { return nullptr; }
    static void Close(pointer handle) noexcept { WinHttpCloseHandle(handle); }
};
using InternetHandle = UniqueAny<InternetHandleTraits>;

HRESULT LastError() {
    return HRESULT_FROM_WIN32(GetLastError());
}

} // namespace

HRESULT ReadTokenFile(const std::wstring& path, std::string& token) {
    if (path.empty()) {
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    const HRESULT hr = ReadWholeFile(path, token, kMaxTokenBytes);
    return hr == HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE) ? kInvalidToken : hr;
}

HRESULT FetchToken(const std::wstring& url, std::string& token) {
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    wchar_t host[256] = {};
    std::vector<wchar_t> path(url.size() + 1);
    parts.lpszHostName = host;
    parts.dwHostNameLength = static_cast<DWORD>(std::size(host));
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    std::vector<wchar_t> extra(url.size() + 1);
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = static_cast<DWORD>(extra.size());
    if (url.empty() || !WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
        return url.empty() ? E_INVALIDARG : LastError();
    }
    std::wstring object = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                          std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    InternetHandle session(WinHttpOpen(L"PlenumEmulator/1.0", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) {
        return LastError();
    }
    WinHttpSetTimeouts(session.get(), kTimeoutMs, kTimeoutMs, kTimeoutMs, kTimeoutMs);
    InternetHandle connection(WinHttpConnect(session.get(), host, parts.nPort, 0));
    if (!connection) {
        return LastError();
    }
    DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    InternetHandle request(WinHttpOpenRequest(connection.get(), L"GET", object.c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request) {
        return LastError();
    }
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0,
                            0) ||
        !WinHttpReceiveResponse(request.get(), nullptr)) {
        return LastError();
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
        return LastError();
    }
    if (status != 200) {
        return kHttpStatusBase | static_cast<HRESULT>(status & 0xFFFF);
    }
    token.clear();
    for (;;) {
        char buffer[8192];
        DWORD read = 0;
        if (!WinHttpReadData(request.get(), buffer, sizeof buffer, &read)) {
            return LastError();
        }
        if (read == 0) {
            return S_OK;
        }
        token.append(buffer, read);
        if (token.size() > kMaxTokenBytes) {
            return kInvalidToken;
        }
    }
}

} // namespace quillet::emulator
