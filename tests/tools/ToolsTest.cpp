// The tools beside Quillet and the tests' own: the debugger-output monitor that the trace capture and
// QuilletTrace build on, QuilletTrace as a user runs it, and the loopback token server.
#include "LoopbackHttpServer.h"
#include "Row.h"
#include "dbwin/DbwinMonitor.h"
#include "win32/Stopwatch.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

#include <future>
#include <mutex>

namespace quillet::testing {
namespace {

using dbwin::DbwinMonitor;
using dbwin::DebugMessage;

const RunOptions kProbe = {.program = BinDirectory() + L"\\quillet_probe.exe", .captureTrace = false};

// The texts that a monitor delivered from one process, in order.
class Received {
public:
    DbwinMonitor::Callback Callback(DWORD delayMs = 0) {
        return [this, delayMs](const DebugMessage& message) {
            Sleep(delayMs);
            const std::lock_guard<std::mutex> lock(m_lock);
            m_texts[message.processId].push_back(message.text);
        };
    }
    std::vector<std::string> From(DWORD processId) {
        const std::lock_guard<std::mutex> lock(m_lock);
        return m_texts[processId];
    }

private:
    std::mutex m_lock;
    std::map<DWORD, std::vector<std::string>> m_texts;
};

// A slow receiver, and a writer that has exited before Flush: its last line must still arrive.
TEST(DbwinMonitor, DeliversEveryMessageInOrderWithItsWriter) {
    Received received;
    DbwinMonitor monitor;
    ASSERT_HRESULT_SUCCEEDED(monitor.Start(received.Callback(20)));
    const std::string texts[] = {"first", "", "two\nlines\n", std::string(4091, 'x'), "last"};
    for (const std::string& text : texts) {
        OutputDebugStringA(text.c_str());
    }
    OutputDebugStringW(L"wide caf\u00e9");
    const RunResult probe = testing::Run({L"trace-lines", L"3"}, kProbe);
    ASSERT_TRUE(monitor.Flush());
    std::vector<std::string> expected(std::begin(texts), std::end(texts));
    expected.push_back("wide caf\xE9");
    EXPECT_EQ(received.From(GetCurrentProcessId()), expected);
    const std::vector<std::string> lines = received.From(probe.processId);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].substr(kTracePrefixLength), "line 2\n");
}

// Every message whose write returned before Stop is delivered, none missing in between.
TEST(DbwinMonitor, StopDeliversEverythingWrittenBeforeIt) {
    Received received;
    DbwinMonitor monitor;
    ASSERT_HRESULT_SUCCEEDED(monitor.Start(received.Callback()));
    std::atomic<int> written{0};
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        for (int i = 0; writing; written = ++i) {
            OutputDebugStringA(std::to_string(i).c_str());
        }
    });
    while (written < 200) {
        Sleep(1);
    }
    const int before = written;
    monitor.Stop();
    writing = false;
    writer.join();
    const std::vector<std::string> texts = received.From(GetCurrentProcessId());
    ASSERT_GE(texts.size(), static_cast<size_t>(before));
    for (size_t i = 0; i < texts.size(); ++i) {
        ASSERT_EQ(texts[i], std::to_string(i));
    }
}

// One monitor per session: a second one, QuilletTrace included, is refused and leaves the first intact.
TEST(DbwinMonitor, TheChannelIsOneMonitors) {
    Received received;
    DbwinMonitor first;
    ASSERT_HRESULT_SUCCEEDED(first.Start(received.Callback()));
    DbwinMonitor second;
    EXPECT_EQ(second.Start(nullptr), dbwin::kChannelBusy);
    EXPECT_FALSE(second.Running());
    EXPECT_ROW(
        (Row{.name = "QuilletTrace beside a monitor",
             .args = {L"-c", L"1"},
             .exitCode = static_cast<DWORD>(dbwin::kChannelBusy),
             .errors = "QuilletTrace: Another debug-output monitor is already running in this session.\n",
             .options = {.program = BinDirectory() + L"\\QuilletTrace.exe", .captureTrace = false}}));
    OutputDebugStringA("still here");
    ASSERT_TRUE(first.Flush());
    EXPECT_EQ(received.From(GetCurrentProcessId()), std::vector<std::string>{"still here"});
}

TEST(QuilletTrace, ShowsTheChosenProcessesOneLineEach) {
    const RunOptions tool = {
        .program = BinDirectory() + L"\\QuilletTrace.exe", .timeoutMs = 30000, .captureTrace = false};
    for (const std::wstring option : {L"-x", L"-n"}) {
        EXPECT_ROW(
            (Row{.name = "wrong option " + ToUtf8(option),
                 .args = {option},
                 .exitCode = static_cast<DWORD>(E_INVALIDARG),
                 .errors = option == L"-n" ? "QuilletTrace: option -n needs a value. Use -h for help.\n"
                                           : "QuilletTrace: invalid option \"-x\". Use -h for help.\n",
                 .options = tool}));
    }
    const auto until = [&](std::vector<std::wstring> args) {
        auto shown = std::async(std::launch::async, [=] { return testing::Run(args, tool); });
        while (!UniqueHandle(OpenFileMappingW(FILE_MAP_READ, FALSE, L"DBWIN_BUFFER"))) {
            Sleep(10);
        }
        return shown;
    };
    const std::string self = "[" + std::to_string(GetCurrentProcessId()) + "] ";
    // By process id; a line without its line feed gets one.
    auto shown = until({L"-p", std::to_wstring(GetCurrentProcessId()), L"-c", L"2"});
    OutputDebugStringA("one");
    testing::Run({L"trace-lines", L"2"}, kProbe);
    OutputDebugStringA("two\n");
    EXPECT_EQ(shown.get().output, self + "one\r\n" + self + "two\r\n");
    // By image name, in any letter case.
    shown = until({L"-n", L"QUILLET_PROBE", L"-c", L"2"});
    OutputDebugStringA("not the probe\n");
    const RunResult probe = testing::Run({L"trace-lines", L"2"}, kProbe);
    const RunResult result = shown.get();
    EXPECT_EQ(result.errors, "Capturing debug output; press Ctrl+C to stop.\r\n");
    const std::string prefix = "[" + std::to_string(probe.processId) + "] [";
    ASSERT_EQ(result.output.size(),
              2 * (prefix.size() + std::string("yyyy-mm-dd hh:mm:ss.mmm] line 0\r\n").size()));
    EXPECT_TRUE(result.output.starts_with(prefix) && result.output.ends_with("] line 1\r\n"))
        << result.output;
}

// A client that connects and sends nothing is dropped in time, so that the next one is answered.
TEST(LoopbackHttpServer, AClientThatSendsNothingDoesNotHoldUpTheNext) {
    const LoopbackHttpServer server(200, "{}");
    sockaddr_in address = {.sin_family = AF_INET, .sin_port = htons(server.Port())};
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    UniqueSocket silent(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)),
        next(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    for (const UniqueSocket* client : {&silent, &next}) {
        ASSERT_EQ(connect(client->get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    const std::string request = "GET /token HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    send(next.get(), request.data(), static_cast<int>(request.size()), 0);
    std::string received;
    char buffer[256];
    const Stopwatch started;
    for (int length = 0;
         WaitReadable(next.get(), started.RemainingMs(3 * LoopbackHttpServer::kRequestDeadlineMs)) &&
         (length = recv(next.get(), buffer, sizeof buffer, 0)) > 0;) {
        received.append(buffer, length);
    }
    EXPECT_EQ(received, "HTTP/1.1 200 Status\r\nContent-Type: application/json\r\nContent-Length: 2\r\n"
                        "Connection: close\r\n\r\n{}");
    EXPECT_EQ(server.LastRequestLine(), "GET /token HTTP/1.1");
}

} // namespace
} // namespace quillet::testing
