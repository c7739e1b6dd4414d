#pragma once

#include "win32/UniqueHandle.h"

#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace quillet::dbwin {

// One message from the debugger-output channel: the writer's process id and its text as the writer's
// ANSI bytes, without the terminator.
struct DebugMessage {
    DWORD processId = 0;
    std::string text;
};

// Start fails with this when another monitor owns the channel of this session. The SDK's
// HRESULT_FROM_WIN32 is an inline function there, not a constant expression.
inline constexpr HRESULT kChannelBusy = __HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);

// The receiving side of the debugger-output channel (OutputDebugString without a debugger attached):
// owns the DBWIN_BUFFER mapping and the DBWIN_BUFFER_READY / DBWIN_DATA_READY events of the session and
// hands every message, in the order written, to a callback on its own thread. The objects let every user
// of the session write, whatever the monitor's own token would give them by default.
//
// A writer waits (up to 10 s) for the buffer before it writes, so the callback must return quickly.
// Delivery guarantee: every message whose OutputDebugString call returned before Flush or Stop was
// called has been delivered when that call returns.
class DbwinMonitor {
public:
    using Callback = std::function<void(const DebugMessage&)>;

    DbwinMonitor() = default;
    DbwinMonitor(const DbwinMonitor&) = delete;
    DbwinMonitor& operator=(const DbwinMonitor&) = delete;
    ~DbwinMonitor();

    // Takes over the channel and starts delivering. Returns kChannelBusy when another monitor owns it;
    // with waitMs > 0 it keeps trying that long first (a monitor that just stopped can leave the channel's
    // objects alive for a moment, as long as a writer still holds them).
    HRESULT Start(Callback callback, DWORD waitMs = 0);

    // Delivers what is pending and returns once every message written before the call was delivered.
    // Returns false when the monitor is not running or the monitor thread did not answer within timeoutMs.
    bool Flush(DWORD timeoutMs = 10000);

    // Delivers what is pending, then releases the channel. Safe to call when not running.
    void Stop();

    bool Running() const { return static_cast<bool>(m_thread); }

private:
    struct ViewTraits {
        using pointer = const void*;
        static pointer Invalid() noexcept { return nullptr; }
        static void Close(pointer view) noexcept { UnmapViewOfFile(view); }
    };

    static DWORD WINAPI ThreadMain(void* self);
    void Run();
    void ReadPending();
    void Deliver();
    void Close();

    Callback m_callback;
    UniqueHandle m_bufferReady;
    UniqueHandle m_dataReady;
    UniqueHandle m_mapping;
    UniqueAny<ViewTraits> m_view;
    UniqueHandle m_stopRequest;
    UniqueHandle m_flushRequest;
    UniqueHandle m_flushDone;
    UniqueHandle m_thread;
    std::mutex m_flushLock;
    std::atomic<LONG> m_flushRequested{0};
    std::atomic<LONG> m_flushCompleted{0};
};

// The text of a message as wide characters (the writer's ANSI code page is the session's).
std::wstring WidenAnsi(std::string_view text);

// A sentence for the user that explains a failed Start.
std::wstring DescribeStartFailure(HRESULT status);

} // namespace quillet::dbwin
