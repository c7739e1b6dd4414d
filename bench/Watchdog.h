#pragma once

#include "win32/UniqueHandle.h"

#include <windows.h>

#include <atomic>

namespace quillet::bench {

// Ends the benchmark when it makes no progress for too long: a service that stopped answering would
// otherwise hold a call of the driver's own (which has no time-out) forever. The process exits with
// HRESULT_FROM_WIN32(ERROR_TIMEOUT) after saying so on standard error.
class Watchdog {
public:
    explicit Watchdog(ULONGLONG limitMs);
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    ~Watchdog();

    // Progress was made: the time without progress starts again.
    void Beat() { m_lastBeat = GetTickCount64(); }

private:
    static DWORD WINAPI Watch(void* self);

    ULONGLONG m_limitMs;
    std::atomic<ULONGLONG> m_lastBeat;
    UniqueHandle m_stop;
    UniqueHandle m_thread; // started last: it reads the members above
};

} // namespace quillet::bench
