#include "LocalCopy.h"

#include "Refusals.h"
#include "win32/WholeFile.h"

#include <memory>

namespace quillet::emulator {

namespace {

// Large enough that a copy runs at the disk's pace, small enough that a stop is noticed at once.
constexpr DWORD kChunkBytes = 1 << 20;

HRESULT LastError() {
    return HRESULT_FROM_WIN32(GetLastError());
}

} // namespace

HRESULT LocalCopy::Create(const std::wstring& target, FileIdentity& identity) {
    if (const HRESULT hr = UniqueNameBeside(target, m_temporary); FAILED(hr)) {
        return hr;
    }
    m_file.reset(CreateFileW(m_temporary.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!m_file) {
        return LastError();
    }
    return IdentityOf(m_file.get(), identity);
}

HRESULT LocalCopy::CopyFrom(const std::wstring& source, HANDLE stopping) {
    // CopyFileEx would copy, but Wine ignores its cancel flag and never calls its progress routine, and it
    // opens the target by name: this copy must stop on request and land in the file created here.
    if (!m_file) {
        return E_UNEXPECTED;
    }
    const UniqueFile from(CreateFileW(source.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!from) {
        return LastError();
    }
    if (GetFileType(from.get()) != FILE_TYPE_DISK) {
        return HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE); // a pipe could keep the copy waiting forever
    }
    FILETIME written;
    if (!GetFileTime(from.get(), nullptr, nullptr, &written)) {
        return LastError();
    }
    const std::unique_ptr<char[]> buffer(new (std::nothrow) char[kChunkBytes]);
    if (!buffer) {
        return E_OUTOFMEMORY;
    }
    for (;;) {
        if (WaitForSingleObject(stopping, 0) == WAIT_OBJECT_0) {
            return kServerStopping;
        }
        DWORD read = 0;
        if (!ReadFile(from.get(), buffer.get(), kChunkBytes, &read, nullptr)) {
            return LastError();
        }
        if (read == 0) {
            break;
        }
        if (const HRESULT hr = WriteAllBytes(m_file.get(), {buffer.get(), read}); FAILED(hr)) {
            return hr;
        }
    }
    // As a copy made by the system keeps it; the identity recorded includes it.
    if (!SetFileTime(m_file.get(), nullptr, nullptr, &written) || !FlushFileBuffers(m_file.get())) {
        return LastError();
    }
    return S_OK;
}

HRESULT LocalCopy::Place(const std::wstring& target, bool replace, FileIdentity& identity) {
    if (!m_file) {
        return E_UNEXPECTED;
    }
    // A rename keeps the number, size and write time that make up the identity.
    if (const HRESULT hr = IdentityOf(m_file.get(), identity); FAILED(hr)) {
        return hr;
    }
    const HRESULT hr = RenameOpenFile(m_file.get(), target, replace);
    if (hr == HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) || hr == HRESULT_FROM_WIN32(ERROR_FILE_EXISTS)) {
        return kLocalPathTaken; // a file appeared meanwhile, which is not replaced
    }
    m_placed = SUCCEEDED(hr);
    return hr;
}

LocalCopy::~LocalCopy() {
    if (m_file && !m_placed) {
        FILE_DISPOSITION_INFO disposition = {TRUE};
        SetFileInformationByHandle(m_file.get(), FileDispositionInfo, &disposition, sizeof disposition);
    }
}

} // namespace quillet::emulator
