#include "Files.h"

#include "win32/Utf8.h"
#include "win32/WholeFile.h"
#include "win32/Wine.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <filesystem>

namespace quillet::testing {

void WriteBytes(const std::wstring& path, std::string_view bytes) {
    EXPECT_EQ(WriteWholeFile(path, bytes), S_OK) << ToUtf8(path);
}

void MakeLink(LinkKind kind, const std::wstring& path, const std::wstring& target) {
    bool made = false;
    if (kind == LinkKind::Hard) {
        made = CreateHardLinkW(path.c_str(), target.c_str(), nullptr) != FALSE;
    } else if (RunningUnderWine()) {
#if defined(QUILLET_LINUX_SYSCALLS)
        constexpr long long kSymlink = 88;
        const std::string from = UnixPath(target);
        const std::string to = UnixPath(path);
        made = LinuxSyscall(kSymlink, reinterpret_cast<long long>(from.c_str()),
                            reinterpret_cast<long long>(to.c_str())) == 0;
#endif
    } else {
        const DWORD folder = (GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0
                                 ? SYMBOLIC_LINK_FLAG_DIRECTORY
                                 : 0;
        made = CreateSymbolicLinkW(path.c_str(), target.c_str(),
                                   folder | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) != FALSE;
    }
    EXPECT_TRUE(made) << ToUtf8(path) << " -> " << ToUtf8(target);
}

void RemoveLink(const std::wstring& path) {
#if defined(QUILLET_LINUX_SYSCALLS)
    if (RunningUnderWine()) {
        constexpr long long kUnlink = 87;
        const std::string unixPath = UnixPath(path);
        LinuxSyscall(kUnlink, reinterpret_cast<long long>(unixPath.c_str()), 0);
        return;
    }
#endif
    if (!DeleteFileW(path.c_str())) {
        RemoveDirectoryW(path.c_str());
    }
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
