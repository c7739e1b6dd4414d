#include "CommandCases.h"

#include "win32/Utf8.h"
#include "win32/WholeFile.h"

#include <cstdio>
#include <stdexcept>
#include <string_view>

namespace quillet::bench {

namespace {

constexpr char kToken[] = R"({"name":"Bench Token App","guid":"{B0000000-0000-4000-8000-0000000000AD}"})";
constexpr wchar_t kTokenName[] = L"bench.tok";
constexpr wchar_t kLargeTokenName[] = L"bench-large.tok";
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
    if (FAILED(WriteWholeFile(path, content))) {
        throw std::runtime_error("cannot write " + ToUtf8(path));
    }
}

void MakeFolder(const std::wstring& path) {
    if (!CreateDirectoryW(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        throw std::runtime_error("cannot create " + ToUtf8(path));
    }
}

// A token of kLargeTokenKeys keys of 12 bytes each ("k000001":0,), the name and guid last, where a service
// that looks keys up one by one finds them latest.
std::string LargeToken() {
    std::string token = "{";
    char key[16];
    for (int i = 1; i <= kLargeTokenKeys; ++i) {
        std::snprintf(key, sizeof key, "\"k%06d\":0,", i);
        token += key;
    }
    return token + R"("name":"Bench Large Token","guid":"{B0000000-0000-4000-8000-0000000000AE}"})";
}

} // namespace

BenchFiles PrepareBenchFiles() {
    BenchFiles files;
    files.directory = ProgramData() + L"\\QuilletBench";
    files.tokenPath = files.directory + L"\\" + kTokenName;
    files.largeTokenPath = files.directory + L"\\" + kLargeTokenName;
    files.sourcePath = files.directory + L"\\" + kSourceName;
    files.cacheFolder = files.directory + L"\\" + kCacheFolderName;
    MakeFolder(files.directory);
    MakeFolder(files.cacheFolder);
    WriteWhole(files.tokenPath, kToken);
    const std::string largeToken = LargeToken();
    files.largeTokenBytes = largeToken.size();
    WriteWhole(files.largeTokenPath, largeToken);
    WriteWhole(files.sourcePath, std::string(kSourceBytes, 'q'));
    return files;
}

void RemoveBenchFiles(const BenchFiles& files) {
    DeleteFileW((files.cacheFolder + L"\\" + kSourceName).c_str());
    for (const std::wstring* path : {&files.tokenPath, &files.largeTokenPath, &files.sourcePath}) {
        DeleteFileW(path->c_str());
    }
    RemoveDirectoryW(files.cacheFolder.c_str());
    RemoveDirectoryW(files.directory.c_str());
}

} // namespace quillet::bench
