#include "TraceCapture.h"

namespace quillet::testing {

namespace {

// Longer than a writer's own wait for the buffer (10 s): a writer stuck on the channel of a monitor that
// has gone keeps the channel's objects alive until it gives up.
constexpr DWORD kChannelWaitMs = 12000;

} // namespace

TraceCapture& TraceCapture::Instance() {
    static TraceCapture capture;
    return capture;
}

HRESULT TraceCapture::EnsureStarted() {
    const std::lock_guard<std::mutex> lock(m_startLock);
    if (m_monitor.Running()) {
        return S_OK;
    }
    return m_monitor.Start(
        [this](const dbwin::DebugMessage& message) {
            const std::lock_guard<std::mutex> guard(m_lock);
            const auto watched = m_watched.find(message.processId);
            if (watched != m_watched.end()) {
                watched->second.push_back(message.text);
            }
        },
        kChannelWaitMs);
}

void TraceCapture::Watch(DWORD processId) {
    const std::lock_guard<std::mutex> lock(m_lock);
    m_watched[processId].clear();
}

bool TraceCapture::Collect(DWORD processId, std::vector<std::string>& messages) {
    const bool flushed = m_monitor.Flush();
    const std::lock_guard<std::mutex> lock(m_lock);
    const auto watched = m_watched.find(processId);
    if (watched != m_watched.end()) {
        messages = std::move(watched->second);
        m_watched.erase(watched);
    }
    return flushed;
}

} // namespace quillet::testing
