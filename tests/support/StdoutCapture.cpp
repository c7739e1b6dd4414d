#include "StdoutCapture.h"

#include "win32/WholeFile.h"

#include <stdexcept>

namespace quillet::testing {

StdoutCapture::StdoutCapture() : m_previous(GetStdHandle(STD_OUTPUT_HANDLE)) {
    wchar_t directory[MAX_PATH];
    wchar_t path[MAX_PATH];
    if (GetTempPathW(MAX_PATH, directory) == 0 || GetTempFileNameW(directory, L"qso", 0, path) == 0) {
        throw std::runtime_error("no temporary file for the captured output");
    }
    m_path = path;
    m_file.reset(CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!m_file) {
        throw std::runtime_error("cannot open the file for the captured output");
    }
    SetStdHandle(STD_OUTPUT_HANDLE, m_file.get());
}

StdoutCapture::~StdoutCapture() {
    SetStdHandle(STD_OUTPUT_HANDLE, m_previous);
}

std::string StdoutCapture::Bytes() const {
    std::string bytes;
    if (FAILED(ReadWholeFile(m_path, bytes))) {
        throw std::runtime_error("cannot read the captured output");
    }
    return bytes;
}

} // namespace quillet::testing
