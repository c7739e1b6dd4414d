#include "TokenSource.h"

#include "Refusals.h"
#include "win32/Stopwatch.h"
#include "win32/UniqueHandle.h"
#include "win32/WholeFile.h"

#include <winhttp.h>

#include <memory>
#include <system_error>
#include <thread>

namespace quillet::emulator {

namespace {

// A token is a few hundred bytes; anything far larger is no token.
constexpr size_t kMaxTokenBytes = 1 << 20;
// The whole request, and each of its stages (resolving, connecting, the TLS handshake, sending,
// receiving), may take this long.
constexpr DWORD kDeadlineMs = 15000;
constexpr HRESULT kTimedOut = __HRESULT_FROM_WIN32(ERROR_WINHTTP_TIMEOUT);
constexpr HRESULT kTooLarge = __HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);

constexpr wchar_t kUserAgent[] = L"PlenumEmulator/1.0";

struct InternetHandleTraits {
    using pointer = HINTERNET;
    static pointer Invalid() noexcept { return nullptr; }
    static void Close(pointer handle) noexcept { WinHttpCloseHandle(handle); }
};
using InternetHandle = UniqueAny<InternetHandleTraits>;

HRESULT LastError() {
    return HRESULT_FROM_WIN32(GetLastError());
}

HRESULT Fetch(const std::wstring& url, std::string& token) {
    const Stopwatch elapsed;
    // Lengths of -1 ask for pointers into url itself.
    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (url.empty() || !WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
        return url.empty() ? E_INVALIDARG : LastError();
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring object = std::wstring(parts.lpszUrlPath, parts.dwUrlPathLength) +
                                std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength);

    // The user's proxy settings and PAC file, as a browser finds them; before Windows 8.1 only the
    // machine's (netsh winhttp).
    InternetHandle session(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session && GetLastError() == ERROR_INVALID_PARAMETER) {
        session.reset(WinHttpOpen(kUserAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0));
    }
    if (!session) {
        return LastError();
    }
    const int stageMs = static_cast<int>(kDeadlineMs);
    WinHttpSetTimeouts(session.get(), stageMs, stageMs, stageMs, stageMs);
    InternetHandle connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
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
        if (elapsed.RemainingMs(kDeadlineMs) == 0) {
            return kTimedOut; // nobody waits for the rest any more
        }
        if (!WinHttpReadData(request.get(), buffer, sizeof buffer, &read)) {
            return LastError();
        }
        if (read == 0) {
            return S_OK;
        }
        token.append(buffer, read);
        if (token.size() > kMaxTokenBytes) {
            return kTooLarge;
        }
    }
}

} // namespace

HRESULT ReadTokenFile(const std::wstring& path, std::string& token) {
    if (path.empty()) {
        return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    // Only a disk file, and only one of a token's size: a pipe whose server never writes, or a huge file,
    // is refused before anything is read.
    return ReadWholeFile(path, token, kMaxTokenBytes);
}

HRESULT FetchToken(const std::wstring& url, std::string& token, HANDLE stopping) {
    // A request on a thread of its own, which the caller stops waiting for at the deadline or the stop: a
    // server that accepts and never answers, or answers a byte at a time, can keep one WinHTTP call busy
    // for as long as it likes, and per-stage time-outs do not bound the total. The thread shares the
    // request with the caller, so a request still open at the deadline ends on its own.
    struct Request {
        UniqueHandle done{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        std::string body;
        HRESULT hr = E_UNEXPECTED;
    };
    const auto request = std::make_shared<Request>();
    if (!request->done) {
        return LastError();
    }
    try {
        std::thread([url, request] {
            try {
                request->hr = Fetch(url, request->body);
            } catch (...) {
                request->hr = E_OUTOFMEMORY; // no exception may end the process from a thread of its own
            }
            SetEvent(request->done.get());
        }).detach();
    } catch (const std::system_error&) {
        return E_OUTOFMEMORY;
    }
    const HANDLE waits[] = {request->done.get(), stopping};
    switch (WaitForMultipleObjects(2, waits, FALSE, kDeadlineMs)) {
    case WAIT_OBJECT_0:
        token = std::move(request->body);
        return request->hr;
    case WAIT_OBJECT_0 + 1:
        return kServerStopping;
    default:
        return kTimedOut;
    }
}

} // namespace quillet::emulator
