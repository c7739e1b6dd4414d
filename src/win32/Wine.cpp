#include "Wine.h"

#include <windows.h>

namespace quillet {

bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

#if defined(QUILLET_LINUX_SYSCALLS)
long long LinuxSyscall(long long number, long long first, long long second, long long third) {
    long long result;
    __asm__ volatile("syscall"
                     : "=a"(result)
                     : "a"(number), "D"(first), "S"(second), "d"(third)
                     : "rcx", "r11", "memory");
    return result;
}
#endif

std::string UnixPath(const std::wstring& path) {
    // kernel32 exports it under Wine only; the buffer is the process heap's.
    using Mapper = char*(CDECL*)(const wchar_t*);
    const FARPROC address = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    char* mapped = address != nullptr
                       ? reinterpret_cast<Mapper>(reinterpret_cast<void (*)()>(address))(path.c_str())
                       : nullptr;
    if (mapped == nullptr) {
        return {};
    }
    std::string result(mapped);
    HeapFree(GetProcessHeap(), 0, mapped);
    return result;
}

} // namespace quillet
