#include "LoopbackHttpServer.h"

#include "win32/Stopwatch.h"

#include <ws2tcpip.h>

#include <stdexcept>

namespace quillet::testing {

namespace {

// Whether the socket has something to read, or its peer's end, within milliseconds.
bool WaitReadable(SOCKET socket, DWORD milliseconds) {
    timeval wait = {static_cast<long>(milliseconds / 1000), static_cast<long>(milliseconds % 1000 * 1000)};
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    return select(0, &readable, nullptr, nullptr, &wait) == 1;
}

// A socket to listen on; Winsock stays started until the test process ends.
SOCKET Listener() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started ? socket(AF_INET, SOCK_STREAM, IPPROTO_TCP) : INVALID_SOCKET;
}

} // namespace

LoopbackHttpServer::LoopbackHttpServer(int status, std::string body, Behaviour behaviour)
    : m_status(status), m_body(std::move(body)), m_behaviour(behaviour), m_listener(Listener()) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (!m_listener || bind(m_listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listener.get(), 4) != 0 ||
        getsockname(m_listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on the loopback interface");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this, listener = m_listener.get()] { Serve(listener); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_stopping = true;
    }
    m_stop.notify_all();
    m_listener.reset(); // ends accept()
    m_thread.join();
}

std::wstring LoopbackHttpServer::Url(const std::wstring& path) const {
    return (m_behaviour == Behaviour::StallTls ? L"https://127.0.0.1:" : L"http://127.0.0.1:") +
           std::to_wstring(m_port) + path;
}

void LoopbackHttpServer::Serve(SOCKET listener) {
    for (;;) {
        UniqueSocket connection(accept(listener, nullptr, nullptr));
        if (!connection) {
            return;
        }
        std::string request;
        if (!ReadRequest(connection.get(), request)) {
            continue;
        }
        Respond(std::move(connection));
    }
}

// Reads up to the end of the request's head (a TLS hello: whatever came first) or the client's end of
// sending; false when the deadline passes first.
bool LoopbackHttpServer::ReadRequest(SOCKET connection, std::string& request) const {
    const Stopwatch started;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos &&
           (m_behaviour != Behaviour::StallTls || request.empty())) {
        if (!WaitReadable(connection, started.RemainingMs(kRequestDeadlineMs))) {
            return false;
        }
        const int received = recv(connection, buffer, sizeof buffer, 0);
        if (received <= 0) {
            break;
        }
        request.append(buffer, static_cast<size_t>(received));
    }
    return true;
}

void LoopbackHttpServer::Respond(UniqueSocket connection) {
    if (m_behaviour == Behaviour::NeverAnswer || m_behaviour == Behaviour::StallTls) {
        m_unanswered.push_back(std::move(connection));
        return;
    }
    const std::string response =
        "HTTP/1.1 " + std::to_string(m_status) + " Status\r\nContent-Type: application/json\r\n" +
        "Content-Length: " + std::to_string(m_body.size()) + "\r\nConnection: close\r\n\r\n" + m_body;
    if (m_behaviour == Behaviour::Late && StopsWithin(kLateMs)) {
        return;
    }
    if (m_behaviour == Behaviour::Answer || m_behaviour == Behaviour::Late) {
        send(connection.get(), response.data(), static_cast<int>(response.size()), 0);
        shutdown(connection.get(), SD_SEND);
        return;
    }
    for (const char byte : response) {
        if (send(connection.get(), &byte, 1, 0) != 1 || StopsWithin(kTrickleIntervalMs)) {
            return;
        }
    }
}

bool LoopbackHttpServer::StopsWithin(DWORD milliseconds) {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_stop.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_stopping; });
}

} // namespace quillet::testing
