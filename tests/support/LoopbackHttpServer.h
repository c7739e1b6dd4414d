#pragma once

#include <winsock2.h>

#include <atomic>
#include <string>
#include <thread>

namespace quillet::testing {

// Answers HTTP GET requests on 127.0.0.1 with one fixed response, until destroyed. Records the last
// request line it received.
class LoopbackHttpServer {
public:
    LoopbackHttpServer(int status, std::string body);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    unsigned short Port() const { return m_port; }
    std::wstring Url(const std::wstring& path) const;
    std::string LastRequestLine() const;

private:
    void Serve();

    int m_status;
    std::string m_body;
    SOCKET m_listener = INVALID_SOCKET;
    unsigned short m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::string m_lastRequestLine;
    std::thread m_thread;
};

} // namespace quillet::testing
