#include "dbwin/DbwinMonitor.h"

#include <climits>
#include <cstring>
#include <exception>

namespace quillet::dbwin {

namespace {

constexpr wchar_t kBufferReadyName[] = L"DBWIN_BUFFER_READY";
constexpr wchar_t kDataReadyName[] = L"DBWIN_DATA_READY";
constexpr wchar_t kBufferName[] = L"DBWIN_BUFFER";

// The shared buffer: the writer's process id, then its text, NUL-terminated.
constexpr DWORD kBufferSize = 4096;
constexpr size_t kTextCapacity = kBufferSize - sizeof(DWORD);

// A writer that owns the buffer has only its copy left to do before it signals the data.
constexpr DWORD kInFlightWriterWaitMs = 2000;
constexpr DWORD kStartRetryIntervalMs = 20;

constexpr wchar_t kChannelBusyText[] = L"Another debug-output monitor is already running in this session.";
constexpr wchar_t kChannelFailureText[] = L"Cannot open the debug-output channel (error 0x";

HRESULT LastError() {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

void CloseHandleSlot(HANDLE& handle) {
    if (handle != nullptr) {
        CloseHandle(handle);
        handle = nullptr;
    }
}

// Creates one of the channel's named objects; an object that exists already belongs to another monitor.
HRESULT CreateChannelObject(HANDLE& slot, HANDLE created) {
    if (created == nullptr) {
        return LastError();
    }
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    slot = created;
    return existed ? kChannelBusy : S_OK;
}

} // namespace

DbwinMonitor::~DbwinMonitor() {
    Stop();
}

HRESULT DbwinMonitor::Start(Callback callback, DWORD waitMs) {
    if (Running()) {
        return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
    }
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    HRESULT status = S_OK;
    for (;;) {
        status = CreateChannelObject(m_bufferReady, CreateEventW(nullptr, FALSE, FALSE, kBufferReadyName));
        if (SUCCEEDED(status)) {
            status = CreateChannelObject(m_dataReady, CreateEventW(nullptr, FALSE, FALSE, kDataReadyName));
        }
        // The buffer comes last: writers look for it first and then expect the events to be there.
        if (SUCCEEDED(status)) {
            status = CreateChannelObject(m_mapping,
                                         CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                            kBufferSize, kBufferName));
        }
        if (status != kChannelBusy || GetTickCount64() >= deadline) {
            break;
        }
        Close();
        Sleep(kStartRetryIntervalMs);
    }
    if (SUCCEEDED(status)) {
        m_view = MapViewOfFile(m_mapping, FILE_MAP_READ, 0, 0, kBufferSize);
        m_stopRequest = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_flushRequest = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        m_flushDone = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (m_view == nullptr || m_stopRequest == nullptr || m_flushRequest == nullptr ||
            m_flushDone == nullptr) {
            status = LastError();
        }
    }
    if (FAILED(status)) {
        Close();
        return status;
    }
    m_callback = std::move(callback);
    m_flushRequested = 0;
    m_flushCompleted = 0;
    m_thread = CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr);
    if (m_thread == nullptr) {
        status = LastError();
        Close();
        return status;
    }
    return S_OK;
}

bool DbwinMonitor::Flush(DWORD timeoutMs) {
    const std::lock_guard<std::mutex> lock(m_flushLock);
    if (!Running()) {
        return false;
    }
    // Generations rather than the event alone: an answer to an earlier request that timed out must not
    // count for this one.
    const LONG generation = ++m_flushRequested;
    SetEvent(m_flushRequest);
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    const HANDLE waits[] = {m_flushDone, m_thread};
    while (m_flushCompleted.load() < generation) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            return false;
        }
        const DWORD result = WaitForMultipleObjects(2, waits, FALSE, static_cast<DWORD>(deadline - now));
        if (result != WAIT_OBJECT_0) {
            return m_flushCompleted.load() >= generation;
        }
    }
    return true;
}

void DbwinMonitor::Stop() {
    if (!Running()) {
        return;
    }
    SetEvent(m_stopRequest);
    WaitForSingleObject(m_thread, INFINITE);
    Close();
}

DWORD WINAPI DbwinMonitor::ThreadMain(void* self) {
    static_cast<DbwinMonitor*>(self)->Run();
    return 0;
}

void DbwinMonitor::Run() {
    SetEvent(m_bufferReady);
    // Data first: WaitForMultipleObjects reports the lowest signalled index, so a flush or stop request
    // is only seen once no message is waiting.
    const HANDLE waits[] = {m_dataReady, m_flushRequest, m_stopRequest};
    for (;;) {
        const DWORD result = WaitForMultipleObjects(3, waits, FALSE, INFINITE);
        if (result == WAIT_OBJECT_0) {
            Deliver();
            SetEvent(m_bufferReady);
        } else if (result == WAIT_OBJECT_0 + 1) {
            // Whatever has been signalled before the request was made is read now.
            const LONG generation = m_flushRequested.load();
            ReadPending();
            m_flushCompleted.store(generation);
            SetEvent(m_flushDone);
        } else {
            break;
        }
    }

    ReadPending();
    // The buffer is either free again (we take it back) or held by a writer between taking it and
    // signalling its data: that message was written before the stop and is still delivered.
    if (WaitForSingleObject(m_bufferReady, 0) != WAIT_OBJECT_0 &&
        WaitForSingleObject(m_dataReady, kInFlightWriterWaitMs) == WAIT_OBJECT_0) {
        Deliver();
    }
    // Leave the buffer free: a writer that still holds the channel's objects then writes into the void
    // instead of waiting for a monitor that is gone.
    SetEvent(m_bufferReady);
}

void DbwinMonitor::ReadPending() {
    while (WaitForSingleObject(m_dataReady, 0) == WAIT_OBJECT_0) {
        Deliver();
        SetEvent(m_bufferReady);
    }
}

void DbwinMonitor::Deliver() {
    DebugMessage message;
    const auto* bytes = static_cast<const char*>(m_view);
    std::memcpy(&message.processId, bytes, sizeof(DWORD));
    const char* text = bytes + sizeof(DWORD);
    size_t length = 0;
    while (length < kTextCapacity && text[length] != '\0') {
        ++length;
    }
    try {
        message.text.assign(text, length);
        if (m_callback) {
            m_callback(message);
        }
    } catch (const std::exception&) {
        // A receiver that failed loses this message; the channel must keep flowing for the writers.
    }
}

void DbwinMonitor::Close() {
    if (m_view != nullptr) {
        UnmapViewOfFile(m_view);
        m_view = nullptr;
    }
    CloseHandleSlot(m_thread);
    CloseHandleSlot(m_mapping);
    CloseHandleSlot(m_dataReady);
    CloseHandleSlot(m_bufferReady);
    CloseHandleSlot(m_stopRequest);
    CloseHandleSlot(m_flushRequest);
    CloseHandleSlot(m_flushDone);
}

std::wstring WidenAnsi(std::string_view text) {
    std::wstring wide;
    if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) {
        return wide;
    }
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    if (length > 0) {
        wide.resize(static_cast<size_t>(length));
        MultiByteToWideChar(CP_ACP, 0, text.data(), size, wide.data(), length);
    }
    return wide;
}

std::wstring DescribeStartFailure(HRESULT status) {
    if (status == kChannelBusy) {
        return kChannelBusyText;
    }
    static constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text = kChannelFailureText;
    for (int shift = 28; shift >= 0; shift -= 4) {
        text.push_back(kDigits[(static_cast<unsigned long>(status) >> shift) & 0xF]);
    }
    text += L").";
    return text;
}

} // namespace quillet::dbwin
