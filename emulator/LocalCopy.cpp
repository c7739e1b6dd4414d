#include "LocalCopy.h"

#include <objbase.h>

namespace quillet::emulator {

HRESULT CopyToTemporary(const std::wstring& source, const std::wstring& target, std::wstring& temporary) {
    GUID unique;
    wchar_t text[40];
    if (FAILED(CoCreateGuid(&unique)) || StringFromGUID2(unique, text, 40) == 0) {
        return E_FAIL;
    }
    temporary = target + L"." + text + L".tmp";
    if (!CopyFileW(source.c_str(), temporary.c_str(), TRUE)) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        if (hr != HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)) {
            DeleteFileW(temporary.c_str()); // what a failed copy left of it
        }
        temporary.clear();
        return hr;
    }
    return S_OK;
}

HRESULT PlaceCopy(const std::wstring& temporary, const std::wstring& target, bool replace) {
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
    if (!MoveFileExW(temporary.c_str(), target.c_str(), flags)) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        DeleteFileW(temporary.c_str());
        return hr;
    }
    return S_OK;
}

} // namespace quillet::emulator
