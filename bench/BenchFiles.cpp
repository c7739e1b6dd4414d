#include "BenchFiles.h"

#include "win32/Utf8.h"

#include <stdexcept>
#include <string_view>

namespace quillet::bench {

namespace {

constexpr char kToken[] = R"({"name":"Bench Token App","guid":"{B0000000-0000-4000-8000-0000000000AD}"})";
constexpr wchar_t kTokenName[] = L"bench.tok";
constexpr wchar_t kSourceName[] = L"bench-source.stc";
constexpr wchar_t kCacheFolderName[] = L"OtherCache";
// A multisource file of a realistic small size; its copy is part of the add command's work.
constexpr size_t kSourceBytes = 64 * 1024;

std::wstring ProgramData() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(L"ProgramData", buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : L"C:\\ProgramData";
}

void WriteWhole(const std::wstring& path, std::string_view content) {
    if (!WriteText(path, content)) {
        throw std::runtime_error("cannot write " + ToUtf8(path));
    }
}

void MakeFolder(const std::wstring& path) {
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        throw std::runtime_error("cannot create " + ToUtf8(path));
    }
}

} // namespace

BenchFiles PrepareBenchFiles() {
    BenchFiles files;
    files.directory = ProgramData() + L"\\QuilletBench";
    files.tokenPath = files.directory + L"\\" + kTokenName;
    files.sourcePath = files.directory + L"\\" + kSourceName;
    files.cacheFolder = files.directory + L"\\" + kCacheFolderName;
    MakeFolder(files.directory);
    MakeFolder(files.cacheFolder);
    WriteWhole(files.tokenPath, kToken);
    WriteWhole(files.sourcePath, std::string(kSourceBytes, 'q'));
    return files;
}

void RemoveBenchFiles(const BenchFiles& files, const std::wstring& cacheFolder) {
    DeleteFileW((cacheFolder + L"\\" + kSourceName).c_str());
    DeleteFileW(files.tokenPath.c_str());
    DeleteFileW(files.sourcePath.c_str());
    RemoveDirectoryW(files.cacheFolder.c_str());
    RemoveDirectoryW(files.directory.c_str());
}

std::string ReadText(const std::wstring& path) {
    std::string content;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return content;
    }
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        content.append(buffer, read);
    }
    CloseHandle(file);
    return content;
}

bool WriteText(const std::wstring& path, std::string_view text) {
    const HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == text.size();
}

} // namespace quillet::bench
