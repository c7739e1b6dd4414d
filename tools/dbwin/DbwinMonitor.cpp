#include "dbwin/DbwinMonitor.h"

#include "win32/Stopwatch.h"
#include "win32/Utf8.h"

#include <sddl.h>

#include <cstring>
#include <exception>

// Last: it marks C functions as deprecated, which the C++ headers name.
#include <strsafe.h>

namespace quillet::dbwin {

namespace {

constexpr wchar_t kBufferReadyName[] = L"DBWIN_BUFFER_READY";
constexpr wchar_t kDataReadyName[] = L"DBWIN_DATA_READY";
constexpr wchar_t kBufferName[] = L"DBWIN_BUFFER";

// What a writer needs and no more, granted to everyone: the names are the session's own, and a monitor
// started elevated would otherwise give the objects its elevated default DACL, which shuts out the trace
// of every program that is not elevated. A writer waits for the buffer and signals its data
// (SYNCHRONIZE | EVENT_MODIFY_STATE) and writes into the buffer (FILE_MAP_READ | FILE_MAP_WRITE).
constexpr wchar_t kEventSecurity[] = L"D:(A;;0x100002;;;WD)";
constexpr wchar_t kBufferSecurity[] = L"D:(A;;0x6;;;WD)";

// The shared buffer: the writer's process id, then its text, NUL-terminated.
constexpr DWORD kBufferSize = 4096;
constexpr size_t kTextCapacity = kBufferSize - sizeof(DWORD);

// A writer that owns the buffer has only its copy left to do before it signals the data.
constexpr DWORD kInFlightWriterWaitMs = 2000;
constexpr DWORD kStartRetryIntervalMs = 20;

constexpr wchar_t kChannelBusyText[] = L"Another debug-output monitor is already running in this session.";
constexpr wchar_t kChannelFailureText[] = L"Cannot open the debug-output channel (error 0x%08X).";

HRESULT LastError() {
    const DWORD error = GetLastError();
    return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

struct LocalMemoryTraits {
    using pointer = void*;
    static pointer Invalid() noexcept { return nullptr; }
    static void Close(pointer memory) noexcept { LocalFree(memory); }
};
using UniqueSecurityDescriptor = UniqueAny<LocalMemoryTraits>;

HRESULT MakeSecurity(const wchar_t* text, UniqueSecurityDescriptor& descriptor) {
    return ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, descriptor.put(),
                                                                nullptr)
               ? S_OK
               : LastError();
}

// Creates one of the channel's named objects; an object that exists already belongs to another monitor,
// and so does one that exists but may not be opened (another user's, with the DACL above).
HRESULT CreateChannelObject(UniqueHandle& slot, HANDLE created) {
    if (created == nullptr) {
        return GetLastError() == ERROR_ACCESS_DENIED ? kChannelBusy : LastError();
    }
    const bool existed = GetLastError() == ERROR_ALREADY_EXISTS;
    slot.reset(created);
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
    UniqueSecurityDescriptor eventSecurity;
    UniqueSecurityDescriptor bufferSecurity;
    HRESULT status = MakeSecurity(kEventSecurity, eventSecurity);
    if (SUCCEEDED(status)) {
        status = MakeSecurity(kBufferSecurity, bufferSecurity);
    }
    if (FAILED(status)) {
        return status;
    }
    SECURITY_ATTRIBUTES events = {sizeof(SECURITY_ATTRIBUTES), eventSecurity.get(), FALSE};
    SECURITY_ATTRIBUTES buffer = {sizeof(SECURITY_ATTRIBUTES), bufferSecurity.get(), FALSE};
    const Stopwatch waited;
    for (;;) {
        status = CreateChannelObject(m_bufferReady, CreateEventW(&events, FALSE, FALSE, kBufferReadyName));
        if (SUCCEEDED(status)) {
            status = CreateChannelObject(m_dataReady, CreateEventW(&events, FALSE, FALSE, kDataReadyName));
        }
        // The buffer comes last: writers look for it first and then expect the events to be there.
        if (SUCCEEDED(status)) {
            status = CreateChannelObject(m_mapping,
                                         CreateFileMappingW(INVALID_HANDLE_VALUE, &buffer, PAGE_READWRITE, 0,
                                                            kBufferSize, kBufferName));
        }
        if (status != kChannelBusy || waited.RemainingMs(waitMs) == 0) {
            break;
        }
        Close();
        Sleep(kStartRetryIntervalMs);
    }
    if (SUCCEEDED(status)) {
        m_view.reset(MapViewOfFile(m_mapping.get(), FILE_MAP_READ, 0, 0, kBufferSize));
        m_stopRequest.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        m_flushRequest.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        m_flushDone.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        if (!m_view || !m_stopRequest || !m_flushRequest || !m_flushDone) {
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
    m_thread.reset(CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
    if (!m_thread) {
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
    SetEvent(m_flushRequest.get());
    const Stopwatch waited;
    const HANDLE waits[] = {m_flushDone.get(), m_thread.get()};
    while (m_flushCompleted.load() < generation) {
        const DWORD remaining = waited.RemainingMs(timeoutMs);
        if (remaining == 0) {
            return false;
        }
        const DWORD result = WaitForMultipleObjects(2, waits, FALSE, remaining);
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
    SetEvent(m_stopRequest.get());
    WaitForSingleObject(m_thread.get(), INFINITE);
    Close();
}

DWORD WINAPI DbwinMonitor::ThreadMain(void* self) {
    static_cast<DbwinMonitor*>(self)->Run();
    return 0;
}

void DbwinMonitor::Run() {
    SetEvent(m_bufferReady.get());
    // Data first: WaitForMultipleObjects reports the lowest signalled index, so a flush or stop request
    // is only seen once no message is waiting.
    const HANDLE waits[] = {m_dataReady.get(), m_flushRequest.get(), m_stopRequest.get()};
    for (;;) {
        const DWORD result = WaitForMultipleObjects(3, waits, FALSE, INFINITE);
        if (result == WAIT_OBJECT_0) {
            Deliver();
            SetEvent(m_bufferReady.get());
        } else if (result == WAIT_OBJECT_0 + 1) {
            // Whatever has been signalled before the request was made is read now.
            const LONG generation = m_flushRequested.load();
            ReadPending();
            m_flushCompleted.store(generation);
            SetEvent(m_flushDone.get());
        } else {
            break;
        }
    }

    ReadPending();
    // The buffer is either free again (we take it back) or held by a writer between taking it and
    // signalling its data: that message was written before the stop and is still delivered.
    if (WaitForSingleObject(m_bufferReady.get(), 0) != WAIT_OBJECT_0 &&
        WaitForSingleObject(m_dataReady.get(), kInFlightWriterWaitMs) == WAIT_OBJECT_0) {
        Deliver();
    }
    // Leave the buffer free: a writer that still holds the channel's objects then writes into the void
    // instead of waiting for a monitor that is gone.
    SetEvent(m_bufferReady.get());
}

void DbwinMonitor::ReadPending() {
    while (WaitForSingleObject(m_dataReady.get(), 0) == WAIT_OBJECT_0) {
        Deliver();
        SetEvent(m_bufferReady.get());
    }
}

void DbwinMonitor::Deliver() {
    DebugMessage message;
    const auto* bytes = static_cast<const char*>(m_view.get());
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
    m_view.reset();
    m_thread.reset();
    m_mapping.reset();
    m_dataReady.reset();
    m_bufferReady.reset();
    m_stopRequest.reset();
    m_flushRequest.reset();
    m_flushDone.reset();
}

std::wstring WidenAnsi(std::string_view text) {
    return Widen(CP_ACP, text);
}

std::wstring DescribeStartFailure(HRESULT status) {
    if (status == kChannelBusy) {
        return kChannelBusyText;
    }
    wchar_t text[80];
    StringCchPrintfW(text, std::size(text), kChannelFailureText, static_cast<unsigned>(status));
    return text;
}

} // namespace quillet::dbwin
