#include "DetachedStreams.h"

#include "win32/Wine.h"

#include <windows.h>

#include <initializer_list>

namespace quillet::emulator {

namespace {

#if defined(QUILLET_LINUX_SYSCALLS)
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
