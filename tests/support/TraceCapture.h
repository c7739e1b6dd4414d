#pragma once

#include "dbwin/DbwinMonitor.h"

#include <windows.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace quillet::testing {

// The test process's one monitor of the debugger-output channel (there is one channel per session), started
// on first use and kept until the process ends. It keeps the messages of the processes being watched and
// drops all others.
class TraceCapture {
public:
    static TraceCapture& Instance();

    // Starts the monitor unless it runs; waits a while for a channel that a monitor is just giving up.
    HRESULT EnsureStarted();

    // Keeps the messages of this process from now on. Call it before the process can write (start it
    // suspended).
    void Watch(DWORD processId);

    // Call once the process has ended: delivers what is still pending and returns the process's messages in
    // order, then stops watching it. Fails when the monitor did not answer.
    bool Collect(DWORD processId, std::vector<std::string>& messages);

private:
    TraceCapture() = default;

    dbwin::DbwinMonitor m_monitor;
    std::mutex m_startLock;
    std::mutex m_lock; // guards m_watched
    std::map<DWORD, std::vector<std::string>> m_watched;
};

} // namespace quillet::testing
