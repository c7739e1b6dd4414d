#include "DataDirectory.h"

#include <windows.h>

#include <initializer_list>

namespace quillet::emulator {

DataDirectory DataDirectory::Locate() {
    wchar_t buffer[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"ProgramData", buffer, MAX_PATH);
    std::wstring base = length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : L"C:\\ProgramData";
    DataDirectory directory;
    directory.root = base + L"\\PlenumEmulator";
    directory.statePath = directory.root + L"\\state.json";
    directory.journalPath = directory.root + L"\\journal.jsonl";
    directory.cacheFolder = directory.root + L"\\Cache";
    return directory;
}

void DataDirectory::Create() const {
    for (const std::wstring* folder : {&root, &cacheFolder}) {
        CreateDirectoryW(folder->c_str(), nullptr);
    }
}

} // namespace quillet::emulator
