#include "trace/ProcessNames.h"

#include "win32/IgnoringCase.h"
#include "win32/UniqueHandle.h"

#include <tlhelp32.h>

namespace quillet::tools {

namespace {

std::wstring FileNameOf(std::wstring_view path) {
    const size_t separator = path.find_last_of(L"\\/");
    return std::wstring(separator == std::wstring_view::npos ? path : path.substr(separator + 1));
}

std::wstring QueryImageName(DWORD processId) {
    const UniqueHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    wchar_t path[MAX_PATH * 4];
    DWORD size = static_cast<DWORD>(std::size(path));
    return process && QueryFullProcessImageNameW(process.get(), 0, path, &size)
               ? FileNameOf(std::wstring_view(path, size))
               : std::wstring();
}

} // namespace

std::wstring ProcessNames::NameOf(DWORD processId) {
    // A running process answers for itself; its pid may have been reused since it was recorded.
    std::wstring name = QueryImageName(processId);
    const std::lock_guard<std::mutex> lock(m_lock);
    if (!name.empty()) {
        m_names[processId] = name;
        return name;
    }
    const auto known = m_names.find(processId);
    return known != m_names.end() ? known->second : std::wstring();
}

void ProcessNames::Refresh() {
    // A failed snapshot is INVALID_HANDLE_VALUE, as CreateFile's failure is.
    const UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        return;
    }
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    const std::lock_guard<std::mutex> lock(m_lock);
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry)) {
        m_names[entry.th32ProcessID] = FileNameOf(entry.szExeFile);
    }
}

bool ImageNameMatches(std::wstring_view imageName, std::wstring_view wanted) {
    constexpr std::wstring_view kExtension = L".exe";
    if (EqualsIgnoringCase(imageName, wanted)) {
        return true;
    }
    return imageName.size() > kExtension.size() &&
           EqualsIgnoringCase(imageName.substr(imageName.size() - kExtension.size()), kExtension) &&
           EqualsIgnoringCase(imageName.substr(0, imageName.size() - kExtension.size()), wanted);
}

} // namespace quillet::tools
