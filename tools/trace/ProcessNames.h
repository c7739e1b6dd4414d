#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace quillet::tools {

// Image names of processes by id, remembered after a process has gone: the last trace line of a program
// is often read after it exited, when the system can no longer name it.
class ProcessNames {
public:
    // The image file name ("Quillet.exe"), or empty when the process was never seen.
    std::wstring NameOf(DWORD processId);

    // Records every running process; called now and then so that short-lived processes are known.
    void Refresh();

private:
    std::mutex m_lock;
    std::unordered_map<DWORD, std::wstring> m_names;
};

// Whether an image name matches a name given by the user: letter case ignored, ".exe" optional.
bool ImageNameMatches(std::wstring_view imageName, std::wstring_view wanted);

} // namespace quillet::tools
