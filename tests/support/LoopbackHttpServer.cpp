#include "LoopbackHttpServer.h"

#include <ws2tcpip.h>

#include <stdexcept>

namespace quillet::testing {

LoopbackHttpServer::LoopbackHttpServer(int status, std::string body)
    : m_status(status), m_body(std::move(body)) {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        throw std::runtime_error("WSAStartup failed");
    }
    m_listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    int length = sizeof address;
    if (m_listener == INVALID_SOCKET ||
        bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_listener, 4) != 0 ||
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        throw std::runtime_error("cannot listen on the loopback interface");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    m_stopping = true;
    closesocket(m_listener); // ends accept()
    m_thread.join();
    WSACleanup();
}

std::wstring LoopbackHttpServer::Url(const std::wstring& path) const {
    return L"http://127.0.0.1:" + std::to_wstring(m_port) + path;
}

std::string LoopbackHttpServer::LastRequestLine() const {
    return m_lastRequestLine;
}

void LoopbackHttpServer::Serve() {
    while (!m_stopping) {
        SOCKET connection = accept(m_listener, nullptr, nullptr);
        if (connection == INVALID_SOCKET) {
            return;
        }
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            int received = recv(connection, buffer, sizeof buffer, 0);
            if (received <= 0) {
                break;
            }
            request.append(buffer, static_cast<size_t>(received));
        }
        m_lastRequestLine = request.substr(0, request.find("\r\n"));
        std::string response =
            "HTTP/1.1 " + std::to_string(m_status) + " Status\r\nContent-Type: application/json\r\n" +
            "Content-Length: " + std::to_string(m_body.size()) + "\r\nConnection: close\r\n\r\n" + m_body;
        send(connection, response.data(), static_cast<int>(response.size()), 0);
        shutdown(connection, SD_SEND);
        closesocket(connection);
    }
}

} // namespace quillet::testing
