#include "ClientCommands.h"

#include "ClientControl.h"

namespace quillet {

namespace {

// After a start in a console of its own, the process stays this long (checked every kLingerPollMs)
// before its console would close.
constexpr ULONGLONG kLingerMs = 30000;
constexpr DWORD kLingerPollMs = 5000;

// Detaches from the console when this process created it (started from a shortcut or Explorer rather
// than from a shell); a shell's console is left alone. Returns whether it detached.
bool DetachFromOwnConsole() {
    const HWND console = GetConsoleWindow();
    if (console == nullptr) {
        return false;
    }
    DWORD owner = 0;
    GetWindowThreadProcessId(console, &owner);
    if (owner != GetCurrentProcessId()) {
        return false;
    }
    FreeConsole();
    return true;
}

} // namespace

HRESULT ClientStart() {
    const bool detached = DetachFromOwnConsole();
    const ULONGLONG started = GetTickCount64();
    if (!EnsureClientStarted()) {
        return E_FAIL;
    }
    if (detached) {
        // The console window is gone already; the process itself stays a while so that the client it
        // started does not see its starter vanish at once.
        while (GetTickCount64() - started <= kLingerMs) {
            Sleep(kLingerPollMs);
        }
    }
    return S_OK;
}

HRESULT ClientStop() {
    return ShutDownClient() ? S_OK : E_FAIL;
}

} // namespace quillet
