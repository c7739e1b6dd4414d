#include "OutputPipe.h"

#include <atomic>

namespace quillet::testing {

namespace {

std::wstring UniquePipeName() {
    static std::atomic<unsigned> counter{0};
    return L"\\\\.\\pipe\\quillet-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter);
}

} // namespace

OutputPipe::~OutputPipe() {
    Cancel();
}

bool OutputPipe::Create() {
    const std::wstring name = UniquePipeName();
    m_readEnd.reset(CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 65536, 0, nullptr));
    if (!m_readEnd) {
        return false;
    }
    m_childEnd.reset(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    m_event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return m_childEnd && m_event;
}

void OutputPipe::BeginReading() {
    IssueRead();
}

void OutputPipe::IssueRead() {
    // Reads that complete at once are taken in a loop; the pipe stays active only while a read waits.
    for (;;) {
        m_overlapped = {};
        m_overlapped.hEvent = m_event.get();
        ResetEvent(m_event.get());
        DWORD read = 0;
        if (ReadFile(m_readEnd.get(), m_buffer, sizeof(m_buffer), nullptr, &m_overlapped)) {
            if (!GetOverlappedResult(m_readEnd.get(), &m_overlapped, &read, FALSE)) {
                m_pending = false;
                return;
            }
            m_data.append(m_buffer, read);
            continue;
        }
        m_pending = GetLastError() == ERROR_IO_PENDING;
        return;
    }
}

void OutputPipe::OnSignalled() {
    if (!m_pending) {
        return;
    }
    DWORD read = 0;
    m_pending = false;
    if (!GetOverlappedResult(m_readEnd.get(), &m_overlapped, &read, FALSE)) {
        // The writers closed their ends (ERROR_BROKEN_PIPE) or the read failed: the stream is over.
        return;
    }
    m_data.append(m_buffer, read);
    IssueRead();
}

void OutputPipe::Cancel() {
    if (!m_pending) {
        return;
    }
    CancelIoEx(m_readEnd.get(), &m_overlapped);
    DWORD read = 0;
    if (GetOverlappedResult(m_readEnd.get(), &m_overlapped, &read, TRUE)) {
        m_data.append(m_buffer, read);
    }
    m_pending = false;
}

} // namespace quillet::testing
