#include "Runner.h"
#include "dbwin/DbwinMonitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace quillet::dbwin {
namespace {

// Collects what a monitor delivers.
class Received {
public:
    DbwinMonitor::Callback Callback() {
        return [this](const DebugMessage& message) {
            const std::lock_guard<std::mutex> lock(m_lock);
            m_messages.push_back(message);
        };
    }
    std::vector<DebugMessage> Messages() {
        const std::lock_guard<std::mutex> lock(m_lock);
        return m_messages;
    }
    std::vector<std::string> TextsOf(DWORD processId) {
        std::vector<std::string> texts;
        for (const auto& message : Messages()) {
            if (message.processId == processId) {
                texts.push_back(message.text);
            }
        }
        return texts;
    }

private:
    std::mutex m_lock;
    std::vector<DebugMessage> m_messages;
};

TEST(DbwinMonitor, DeliversEachMessageInOrderWithTheWritersProcessId) {
    const std::string texts[] = {"first", "", "line\n", "two\nlines\n", std::string(4091, 'x'), "last"};
    Received received;
    DbwinMonitor monitor;
    ASSERT_HRESULT_SUCCEEDED(monitor.Start(received.Callback()));
    for (const std::string& text : texts) {
        OutputDebugStringA(text.c_str());
    }
    OutputDebugStringW(L"wide caf\u00e9");
    ASSERT_TRUE(monitor.Flush());

    std::vector<std::string> expected(std::begin(texts), std::end(texts));
    expected.push_back("wide caf\xE9");
    EXPECT_EQ(received.TextsOf(GetCurrentProcessId()), expected);
    const auto messages = received.Messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(WidenAnsi(messages.back().text), L"wide caf\u00e9");
}

TEST(DbwinMonitor, ReceivesAnotherProcessByItsId) {
    Received received;
    DbwinMonitor monitor;
    ASSERT_HRESULT_SUCCEEDED(monitor.Start(received.Callback()));
    testing::RunOptions options;
    options.program = testing::BinDirectory() + L"\\quillet_probe.exe";
    options.captureTrace = false;
    const auto result = testing::Run({L"trace-lines", L"3"}, options);
    ASSERT_TRUE(monitor.Flush());
    const auto texts = received.TextsOf(result.processId);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[2].substr(testing::kTracePrefixLength), "line 2\n");
}

// A writer does not wait for its last message to be read: when the child has exited, that message may
// still be on its way to the receiver. Flush must wait for it.
TEST(DbwinMonitor, FlushWaitsForTheLastMessageOfAnExitedWriter) {
    Received received;
    const auto record = received.Callback();
    DbwinMonitor monitor;
    ASSERT_HRESULT_SUCCEEDED(monitor.Start([&](const DebugMessage& message) {
        Sleep(100);
        record(message);
    }));
    testing::RunOptions options;
    options.program = testing::BinDirectory() + L"\\quillet_probe.exe";
    options.captureTrace = false;
    const auto result = testing::Run({L"trace-lines", L"3"}, options);
    ASSERT_EQ(result.exitCode, 0u);
    ASSERT_TRUE(monitor.Flush());
    EXPECT_EQ(received.TextsOf(result.processId).size(), 3u);
}

TEST(DbwinMonitor, RefusesASecondMonitorWhileTheFirstRuns) {
    Received received;
    DbwinMonitor first;
    ASSERT_HRESULT_SUCCEEDED(first.Start(received.Callback()));
    DbwinMonitor second;
    EXPECT_EQ(second.Start(nullptr), kChannelBusy);
    EXPECT_EQ(DescribeStartFailure(kChannelBusy),
              L"Another debug-output monitor is already running in this session.");
    EXPECT_FALSE(second.Running());

    // The refused start left the first monitor's channel intact.
    OutputDebugStringA("still here");
    ASSERT_TRUE(first.Flush());
    EXPECT_EQ(received.TextsOf(GetCurrentProcessId()), std::vector<std::string>{"still here"});
}

TEST(DbwinMonitor, CanBeStartedAgainAfterItStopped) {
    for (int round = 0; round < 3; ++round) {
        Received received;
        DbwinMonitor monitor;
        ASSERT_HRESULT_SUCCEEDED(monitor.Start(received.Callback(), 2000)) << "round " << round;
        OutputDebugStringA("round");
        monitor.Stop();
        EXPECT_FALSE(monitor.Running());
        EXPECT_EQ(received.TextsOf(GetCurrentProcessId()).size(), 1u);
    }
    DbwinMonitor idle;
    EXPECT_FALSE(idle.Flush(0));
    idle.Stop();
}

// A writer that keeps writing while the monitor stops: every message whose write returned before Stop
// was called is delivered, in order, with none missing in between.
TEST(DbwinMonitor, StopDeliversEverythingWrittenBeforeIt) {
    Received received;
    DbwinMonitor monitor;
    ASSERT_HRESULT_SUCCEEDED(monitor.Start(received.Callback()));
    std::atomic<int> written{0};
    std::atomic<bool> keepWriting{true};
    std::thread writer([&] {
        for (int i = 0; keepWriting; ++i) {
            OutputDebugStringA(std::to_string(i).c_str());
            written = i + 1;
        }
    });
    while (written < 200) {
        Sleep(1);
    }
    const int writtenBeforeStop = written;
    monitor.Stop();
    keepWriting = false;
    writer.join();

    const auto texts = received.TextsOf(GetCurrentProcessId());
    ASSERT_GE(texts.size(), static_cast<size_t>(writtenBeforeStop));
    for (size_t i = 0; i < texts.size(); ++i) {
        ASSERT_EQ(texts[i], std::to_string(i));
    }
}

TEST(DbwinMonitor, KeepsFlowingWhenTheReceiverThrows) {
    std::vector<std::string> kept;
    DbwinMonitor monitor;
    ASSERT_HRESULT_SUCCEEDED(monitor.Start([&](const DebugMessage& message) {
        if (message.processId != GetCurrentProcessId()) {
            return;
        }
        if (message.text == "boom") {
            throw std::runtime_error("receiver failed");
        }
        kept.push_back(message.text);
    }));
    OutputDebugStringA("before");
    OutputDebugStringA("boom");
    OutputDebugStringA("after");
    ASSERT_TRUE(monitor.Flush());
    EXPECT_EQ(kept, (std::vector<std::string>{"before", "after"}));
}

} // namespace
} // namespace quillet::dbwin
