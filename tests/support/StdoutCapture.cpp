#include "StdoutCapture.h"

#include <stdexcept>

namespace quillet::testing {

StdoutCapture::StdoutCapture() : m_previous(GetStdHandle(STD_OUTPUT_HANDLE)) {
    wchar_t directory[MAX_PATH];
    wchar_t path[MAX_PATH];
    if (GetTempPathW(MAX_PATH, directory) == 0 || GetTempFileNameW(directory, L"qso", 0, path) == 0) {
        throw std::runtime_error("no temporary file for the captured output");
    }
    m_file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (m_file == INVALID_HANDLE_VALUE) {
        throw std::runtime_error("cannot open the file for the captured output");
    }
    SetStdHandle(STD_OUTPUT_HANDLE, m_file);
}

StdoutCapture::~StdoutCapture() {
    SetStdHandle(STD_OUTPUT_HANDLE, m_previous);
    CloseHandle(m_file);
}

std::string StdoutCapture::Bytes() const {
    LARGE_INTEGER size{};
    GetFileSizeEx(m_file, &size);
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    OVERLAPPED at{};
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(m_file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, &at)) {
        throw std::runtime_error("cannot read the captured output");
    }
    bytes.resize(read);
    return bytes;
}

} // namespace quillet::testing
