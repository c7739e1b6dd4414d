#include "Watchdog.h"

#include "common/ToolOutput.h"

namespace quillet::bench {

namespace {

constexpr DWORD kCheckEveryMs = 5000;
constexpr wchar_t kStalled[] =
    L"QuilletBench: no progress for %u s; the emulator or the Wine session stopped answering. Stopped.\n";

} // namespace

Watchdog::Watchdog(ULONGLONG limitMs)
    : m_limitMs(limitMs), m_lastBeat(GetTickCount64()), m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_thread(m_stop ? CreateThread(nullptr, 0, &Watchdog::Watch, this, 0, nullptr) : nullptr) {}

Watchdog::~Watchdog() {
    if (m_thread) {
        SetEvent(m_stop.get());
        WaitForSingleObject(m_thread.get(), INFINITE);
    }
}

DWORD WINAPI Watchdog::Watch(void* self) {
    auto* watchdog = static_cast<Watchdog*>(self);
    while (WaitForSingleObject(watchdog->m_stop.get(), kCheckEveryMs) == WAIT_TIMEOUT) {
        if (GetTickCount64() - watchdog->m_lastBeat.load() > watchdog->m_limitMs) {
            tools::PrintTo(STD_ERROR_HANDLE, kStalled, static_cast<unsigned>(watchdog->m_limitMs / 1000));
            ExitProcess(static_cast<UINT>(HRESULT_FROM_WIN32(ERROR_TIMEOUT)));
        }
    }
    return 0;
}

} // namespace quillet::bench
