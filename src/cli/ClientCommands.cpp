#include "ClientParser.h"
#include "Executor.h"

#include "apps/ClientControl.h"

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

void SExecutor::RunClientCommand(const SClientParser& parser) {
    switch (parser.m_command) {
    case CMD_CLIENT_START:
        ExecuteClientStart();
        break;
    case CMD_CLIENT_STOP:
        ExecuteClientStop();
        break;
    default:
        // The parser accepts no other command.
        m_result = E_UNEXPECTED;
        break;
    }
}

void SExecutor::ExecuteClientStart() {
    const bool detached = DetachFromOwnConsole();
    const ULONGLONG started = GetTickCount64();
    if (!EnsureClientStarted()) {
        m_result = E_FAIL;
        return;
    }
    m_result = S_OK;
    if (detached) {
        // The console window is gone already; the process itself stays a while so that the client it
        // started does not see its starter vanish at once.
        while (GetTickCount64() - started <= kLingerMs) {
            Sleep(kLingerPollMs);
        }
    }
}

void SExecutor::ExecuteClientStop() {
    m_result = ShutDownClient() ? S_OK : E_FAIL;
}

} // namespace quillet
