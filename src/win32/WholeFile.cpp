#include "WholeFile.h"

#include "UniqueHandle.h"

namespace quillet {

namespace {

HRESULT LastError() {
    return HRESULT_FROM_WIN32(GetLastError());
}

} // namespace

HRESULT WriteAllBytes(HANDLE file, std::string_view content) {
    while (!content.empty()) {
        const DWORD part = content.size() > 0x10000000u ? 0x10000000u : static_cast<DWORD>(content.size());
        DWORD written = 0;
        if (!WriteFile(file, content.data(), part, &written, nullptr)) {
            return LastError();
        }
        if (written == 0) {
            return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
        }
        content.remove_prefix(written);
    }
    return S_OK;
}

HRESULT ReadWholeFile(const std::wstring& path, std::string& content, size_t maxBytes) {
    content.clear();
    const UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return LastError();
    }
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
        return HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE);
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size)) {
        return LastError();
    }
    if (static_cast<unsigned long long>(size.QuadPart) > maxBytes) {
        return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    }
    content.reserve(static_cast<size_t>(size.QuadPart));
    char buffer[65536];
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr)) {
            const HRESULT hr = LastError();
            content.clear();
            return hr;
        }
        if (read == 0) {
            return S_OK;
        }
        if (read > maxBytes - content.size()) {
            content.clear();
            return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
        }
        content.append(buffer, read);
    }
}

HRESULT WriteWholeFile(const std::wstring& path, std::string_view content) {
    const UniqueFile file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        return LastError();
    }
    return WriteAllBytes(file.get(), content);
}

HRESULT ReplaceWholeFile(const std::wstring& path, std::string_view content) {
    const std::wstring temporary = path + L".tmp";
    HRESULT hr = S_OK;
    {
        const UniqueFile file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            return LastError();
        }
        hr = WriteAllBytes(file.get(), content);
        if (SUCCEEDED(hr) && !FlushFileBuffers(file.get())) {
            hr = LastError();
        }
    }
    if (SUCCEEDED(hr) &&
        !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        hr = LastError();
    }
    if (FAILED(hr)) {
        DeleteFileW(temporary.c_str());
    }
    return hr;
}

} // namespace quillet
