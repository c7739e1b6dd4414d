#include "DetachedStreams.h"

#include <windows.h>

#include <initializer_list>

namespace quillet::emulator {

namespace {

bool RunningUnderWine() {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

#if defined(__GNUC__) && defined(__x86_64__)
// Wine runs Windows code natively on Linux, where the syscall instruction reaches the Linux kernel.
long long LinuxSyscall(long long number, long long first, long long second) {
    long long result;
    __asm__ volatile("syscall"
                     : "=a"(result)
                     : "a"(number), "D"(first), "S"(second), "d"(0LL)
                     : "rcx", "r11", "memory");
    return result;
}

void RedirectUnixStreamsToNull() {
    constexpr long long kOpen = 2;
    constexpr long long kClose = 3;
    constexpr long long kDup2 = 33;
    constexpr long long kReadWrite = 2;
    static const char nullDevice[] = "/dev/null";
    long long null = LinuxSyscall(kOpen, reinterpret_cast<long long>(nullDevice), kReadWrite);
    if (null < 0) {
        return;
    }
    for (long long stream = 0; stream < 3; ++stream) {
        LinuxSyscall(kDup2, null, stream);
    }
    if (null > 2) {
        LinuxSyscall(kClose, null, 0);
    }
}
#else
void RedirectUnixStreamsToNull() {}
#endif

} // namespace

void DetachFromCallerStreams() {
    if (!RunningUnderWine()) {
        return;
    }
    for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        HANDLE handle = GetStdHandle(which);
        SetStdHandle(which, nullptr);
        if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
    RedirectUnixStreamsToNull();
    // Wine's desktop process starts with the first process that needs it and inherits that process's
    // output. Calls are served without a window, so nothing here would need it: it starts now, as this
    // process's child with the null device for its output, rather than later as a client's.
    GetDesktopWindow();
}

} // namespace quillet::emulator
