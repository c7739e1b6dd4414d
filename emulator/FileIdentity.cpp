#include "FileIdentity.h"

#include "Refusals.h"

#include <vector>

namespace quillet::emulator {

namespace {

HRESULT LastError() {
    return HRESULT_FROM_WIN32(GetLastError());
}

ULONGLONG Join(DWORD high, DWORD low) {
    return (static_cast<ULONGLONG>(high) << 32) | low;
}

// "\\?\C:\folder\name" as the system resolves the handle's path, links and all.
std::wstring FinalPath(HANDLE handle) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length = GetFinalPathNameByHandleW(
            handle, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            return std::wstring(buffer.data(), length);
        }
        buffer.resize(length + 1);
    }
}

// Whether the handle's final path is the folder's own final path and the name path gives: a link at path
// (or a link of a folder on the way) leads elsewhere.
bool IsAtPath(HANDLE file, const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) {
        return false;
    }
    const UniqueFile folder(CreateFileW(path.substr(0, slash + 1).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!folder) {
        return false;
    }
    std::wstring expected = FinalPath(folder.get());
    if (expected.empty()) {
        return false;
    }
    if (expected.back() != L'\\') {
        expected += L'\\';
    }
    expected += path.substr(slash + 1);
    const std::wstring actual = FinalPath(file);
    return !actual.empty() &&
           CompareStringOrdinal(actual.c_str(), static_cast<int>(actual.size()), expected.c_str(),
                                static_cast<int>(expected.size()), TRUE) == CSTR_EQUAL;
}

bool Delete(HANDLE file) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

bool Missing(HRESULT hr) {
    return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

} // namespace

HRESULT IdentityOf(HANDLE file, FileIdentity& identity, DWORD* links) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) {
        return LastError();
    }
    identity.volume = info.dwVolumeSerialNumber;
    identity.file = Join(info.nFileIndexHigh, info.nFileIndexLow);
    identity.size = Join(info.nFileSizeHigh, info.nFileSizeLow);
    identity.lastWrite = Join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime);
    if (links != nullptr) {
        *links = info.nNumberOfLinks;
    }
    return S_OK;
}

HRESULT OpenItself(const std::wstring& path, DWORD access, DWORD creation, UniqueFile& file) {
    file.reset(CreateFileW(path.c_str(), access | FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, creation,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file) {
        return LastError();
    }
    FILE_BASIC_INFO basic;
    if (!GetFileInformationByHandleEx(file.get(), FileBasicInfo, &basic, sizeof basic)) {
        const HRESULT hr = LastError();
        file.reset();
        return hr;
    }
    if ((basic.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0 ||
        !IsAtPath(file.get(), path)) {
        file.reset();
        return kNotTheFileItself;
    }
    return S_OK;
}

Deletion DeleteOwned(const std::wstring& path, const FileIdentity& identity, Compare compare) {
    UniqueFile file;
    if (const HRESULT hr = OpenItself(path, DELETE, OPEN_EXISTING, file); FAILED(hr)) {
        return Missing(hr) ? Deletion::Missing : Deletion::NotOurs;
    }
    FileIdentity now;
    if (FAILED(IdentityOf(file.get(), now)) || now.volume != identity.volume || now.file != identity.file ||
        (compare == Compare::FileAndContent && now != identity)) {
        return Deletion::NotOurs;
    }
    return Delete(file.get()) ? Deletion::Deleted : Deletion::NotOurs;
}

HRESULT DeleteItself(const std::wstring& path) {
    UniqueFile file;
    if (const HRESULT hr = OpenItself(path, DELETE, OPEN_EXISTING, file); FAILED(hr)) {
        return Missing(hr) ? S_OK : hr;
    }
    return Delete(file.get()) ? S_OK : LastError();
}

} // namespace quillet::emulator
