#include "Files.h"

#include "win32/Utf8.h"
#include "win32/WholeFile.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <filesystem>

namespace quillet::testing {

void WriteBytes(const std::wstring& path, std::string_view bytes) {
    EXPECT_EQ(WriteWholeFile(path, bytes), S_OK) << ToUtf8(path);
}

TempFolder::TempFolder() {
    static std::atomic<unsigned> count{0};
    m_path = (std::filesystem::temp_directory_path() /
              ("quillet-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count)))
                 .wstring();
    std::filesystem::remove_all(m_path);
    std::filesystem::create_directory(m_path);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::wstring TempFolder::File(std::wstring_view name, std::string_view bytes) const {
    const std::wstring path = m_path + L"\\" + std::wstring(name);
    WriteBytes(path, bytes);
    return path;
}

std::wstring TempFolder::Folder(std::wstring_view name) const {
    const std::wstring path = m_path + L"\\" + std::wstring(name);
    EXPECT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << ToUtf8(path);
    return path;
}

} // namespace quillet::testing
