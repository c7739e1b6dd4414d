#pragma once

#include "win32/UniqueHandle.h"

#include <winsock2.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillet::testing {

struct SocketTraits {
    using pointer = SOCKET;
    static pointer Invalid() noexcept { return INVALID_SOCKET; }
    static void Close(pointer socket) noexcept { closesocket(socket); }
};
using UniqueSocket = UniqueAny<SocketTraits>;

// Answers HTTP requests on 127.0.0.1 with one fixed response, one connection at a time, until destroyed,
// and records the last request line it received. A client that has not sent its request within
// kRequestDeadlineMs is dropped, so that it cannot hold up the next one.
class LoopbackHttpServer {
public:
    // How the response goes out: the misbehaving ones let a test check a client's time-outs.
    enum class Behaviour {
        Answer,      // at once, then the connection closes
        Late,        // the same after kLateMs
        NeverAnswer, // the request is read, the connection stays open and nothing is sent
        Trickle,     // one byte every kTrickleIntervalMs
        StallTls,    // Url() is https: the client's hello is read and never answered
    };
    static constexpr DWORD kRequestDeadlineMs = 2000;
    static constexpr DWORD kTrickleIntervalMs = 5000;
    static constexpr DWORD kLateMs = 2000;

    LoopbackHttpServer(int status, std::string body, Behaviour behaviour = Behaviour::Answer);
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    std::wstring Url(const std::wstring& path) const;

private:
    void Serve(SOCKET listener);
    bool ReadRequest(SOCKET connection, std::string& request) const;
    void Respond(UniqueSocket connection);
    bool StopsWithin(DWORD milliseconds); // waits that long unless the server is being destroyed

    const int m_status;
    const std::string m_body;
    const Behaviour m_behaviour;
    UniqueSocket m_listener;
    unsigned short m_port = 0;
    std::mutex m_lock; // guards m_stopping
    std::condition_variable m_stop;
    bool m_stopping = false;
    std::vector<UniqueSocket> m_unanswered; // NeverAnswer and StallTls connections, open until the end
    std::thread m_thread;
};

} // namespace quillet::testing
