#include "LoopbackHttpServer.h"
#include "win32/Stopwatch.h"

#include <gtest/gtest.h>

#include <string>

namespace quillet::testing {
namespace {

using Behaviour = LoopbackHttpServer::Behaviour;

// A raw client of the server: sends what it is given and collects what arrives.
class Client {
public:
    explicit Client(unsigned short port) : m_socket(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)) {
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        EXPECT_EQ(connect(m_socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }

    void Send(const std::string& bytes) {
        send(m_socket.get(), bytes.data(), static_cast<int>(bytes.size()), 0);
    }

    // What arrives until the server closes the connection or waitMs pass.
    std::string Receive(DWORD waitMs) {
        std::string received;
        const Stopwatch started;
        char buffer[256];
        int count = 0;
        while (WaitReadable(m_socket.get(), started.RemainingMs(waitMs)) &&
               (count = recv(m_socket.get(), buffer, sizeof buffer, 0)) > 0) {
            received.append(buffer, static_cast<size_t>(count));
        }
        return received;
    }

private:
    UniqueSocket m_socket;
};

constexpr char kRequest[] = "GET /token HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
constexpr char kResponse[] = "HTTP/1.1 200 Status\r\nContent-Type: application/json\r\nContent-Length: 2\r\n"
                             "Connection: close\r\n\r\n{}";

TEST(LoopbackHttpServer, AClientThatSendsNothingDoesNotHoldUpTheNext) {
    LoopbackHttpServer server(200, "{}");
    Client silent(server.Port());
    Client next(server.Port());
    next.Send(kRequest);
    EXPECT_EQ(next.Receive(3 * LoopbackHttpServer::kRequestDeadlineMs), kResponse);
    EXPECT_EQ(server.LastRequestLine(), "GET /token HTTP/1.1");
}

// What a client has received a second after its request, for each way of answering.
TEST(LoopbackHttpServer, AnswersAsItWasAskedTo) {
    const struct {
        Behaviour behaviour;
        const char* request;
        std::string received;
    } cases[] = {
        {Behaviour::Answer, kRequest, kResponse},
        {Behaviour::NeverAnswer, kRequest, ""},
        {Behaviour::Trickle, kRequest, "H"},
        {Behaviour::StallTls, "\x16\x03\x01\x02\x00\x01", ""},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(static_cast<int>(test.behaviour));
        LoopbackHttpServer server(200, "{}", test.behaviour);
        EXPECT_EQ(server.Url(L"/").substr(0, 5), test.behaviour == Behaviour::StallTls ? L"https" : L"http:");
        Client client(server.Port());
        client.Send(test.request);
        EXPECT_EQ(client.Receive(1000), test.received);
    }
}

} // namespace
} // namespace quillet::testing
