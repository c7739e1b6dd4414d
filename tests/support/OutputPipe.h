#pragma once

#include "win32/UniqueHandle.h"

#include <windows.h>

#include <string>

namespace quillet::testing {

// One standard stream of a child, read without blocking: an overlapped pipe whose other end the child
// writes to. The data arrives in Data() as the reads complete.
class OutputPipe {
public:
    OutputPipe() = default;
    OutputPipe(const OutputPipe&) = delete;
    OutputPipe& operator=(const OutputPipe&) = delete;
    ~OutputPipe();

    // Creates the pipe; the child's end is not inheritable yet. Returns false on failure.
    bool Create();
    HANDLE ChildEnd() const { return m_childEnd.get(); }
    void CloseChildEnd() { m_childEnd.reset(); }

    // Starts reading. While Active(), Event() is signalled whenever OnSignalled() has something to do.
    void BeginReading();
    bool Active() const { return m_pending; }
    HANDLE Event() const { return m_event.get(); }
    void OnSignalled();

    // Gives up a read that is still waiting (a writer other than the child still holds the pipe).
    void Cancel();

    const std::string& Data() const { return m_data; }

private:
    void IssueRead();

    UniqueFile m_readEnd;
    UniqueFile m_childEnd;
    UniqueHandle m_event;
    OVERLAPPED m_overlapped = {};
    bool m_pending = false;
    char m_buffer[4096] = {};
    std::string m_data;
};

} // namespace quillet::testing
