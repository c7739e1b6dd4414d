#include "WholeFile.h"

#include "UniqueHandle.h"

#include <objbase.h>

#include <vector>

namespace quillet {

namespace {

HRESULT LastError() {
    return HRESULT_FROM_WIN32(GetLastError());
}

// A rename over a file that a virus scanner or an indexer holds open fails for a moment on Windows.
constexpr int kRenameAttempts = 5;
constexpr DWORD kRenameRetryMs = 50;

bool HeldForAMoment(HRESULT hr) {
    return hr == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION) || hr == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
}

} // namespace

HRESULT UniqueNameBeside(const std::wstring& path, std::wstring& name) {
    GUID unique;
    wchar_t text[40];
    if (const HRESULT hr = CoCreateGuid(&unique); FAILED(hr)) {
        return hr;
    }
    if (StringFromGUID2(unique, text, 40) == 0) {
        return E_UNEXPECTED;
    }
    name = path + L"." + text + L".tmp";
    return S_OK;
}

bool IsUniqueNameBeside(std::wstring_view name) {
    constexpr std::wstring_view kTail = L".tmp";
    constexpr size_t kGuidLength = 38; // in braces, as StringFromGUID2 writes it
    if (name.size() <= kGuidLength + kTail.size() || !name.ends_with(kTail) ||
        name[name.size() - kTail.size() - kGuidLength - 1] != L'.') {
        return false;
    }
    const std::wstring guid(name.substr(name.size() - kTail.size() - kGuidLength, kGuidLength));
    GUID parsed;
    return SUCCEEDED(IIDFromString(guid.c_str(), &parsed));
}

HRESULT RenameOpenFile(HANDLE file, const std::wstring& target, bool replace) {
    // FILE_RENAME_INFO ends in the name, of any length.
    const DWORD nameBytes = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = nameBytes;
    target.copy(info->FileName, target.size());
    if (!SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buffer.size()))) {
        return LastError();
    }
    return S_OK;
}

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
    std::wstring temporary;
    if (const HRESULT hr = UniqueNameBeside(path, temporary); FAILED(hr)) {
        return hr;
    }
    // Written through, and renamed through the same handle: what lands at path is this very file.
    const UniqueFile file(CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
    if (!file) {
        return LastError();
    }
    HRESULT hr = WriteAllBytes(file.get(), content);
    if (SUCCEEDED(hr) && !FlushFileBuffers(file.get())) {
        hr = LastError();
    }
    for (int attempt = 1; SUCCEEDED(hr); ++attempt) {
        hr = RenameOpenFile(file.get(), path, true);
        if (SUCCEEDED(hr) || !HeldForAMoment(hr) || attempt == kRenameAttempts) {
            break;
        }
        Sleep(kRenameRetryMs);
        hr = S_OK;
    }
    if (FAILED(hr)) {
        // Through the handle: the file deleted is the one created here.
        FILE_DISPOSITION_INFO disposition = {TRUE};
        SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition);
    }
    return hr;
}

} // namespace quillet
