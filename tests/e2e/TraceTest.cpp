// The diagnostic trace as the debugger-output channel carries it, written through Quillet's own trace by
// the probe: one line per message, stamped with the UTC time, ending in exactly one line feed, and cut at
// 1299 characters; and the channel's objects, which every user of the session may write to.
#include "Row.h"
#include "win32/UniqueHandle.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <cwchar>
#include <memory>
#include <thread>

namespace quillet::testing {
namespace {

constexpr size_t kLongestLine = 1299; // time stamp included
constexpr size_t kLongest = kLongestLine - kTracePrefixLength;

// "[yyyy-mm-dd hh:mm" of the UTC time now: how a stamp made within the same minute starts.
std::wstring Minute() {
    SYSTEMTIME now;
    GetSystemTime(&now);
    wchar_t text[32];
    std::swprintf(text, std::size(text), L"[%04d-%02d-%02d %02d:%02d", now.wYear, now.wMonth, now.wDay,
                  now.wHour, now.wMinute);
    return text;
}

// The viewer owns the channel while it runs, so it comes first, before the runner takes the channel.
// It shows a message of the watched program as "[process id] " and the message, and stops after -c lines.
TEST(Trace, TheViewerShowsEachMessageOfTheWatchedProgramWithItsProcessId) {
    const RunOptions probe = {.program = BinDirectory() + L"\\quillet_probe.exe", .captureTrace = false};
    std::atomic<bool> done = false;
    RunResult viewer;
    std::thread watching([&] {
        viewer = quillet::testing::Run(
            {L"-n", L"quillet_probe.exe", L"-c", L"1"},
            {.program = BinDirectory() + L"\\QuilletTrace.exe", .timeoutMs = 20000, .captureTrace = false});
        done = true;
    });
    std::vector<DWORD> traced; // the viewer may start late and miss the first few
    for (int i = 0; i < 60 && !done; ++i) {
        traced.push_back(quillet::testing::Run({L"trace", L"seen"}, probe).processId);
        Sleep(200);
    }
    watching.join();
    EXPECT_EQ(viewer.exitCode, 0u);
    const size_t end = viewer.output.find(']');
    const DWORD shown = end == std::string::npos ? 0 : std::stoul(viewer.output.substr(1, end));
    EXPECT_NE(std::find(traced.begin(), traced.end(), shown), traced.end()) << viewer.output;
    EXPECT_TRUE(viewer.output.starts_with("[" + std::to_string(shown) + "] [")) << viewer.output;
    EXPECT_TRUE(viewer.output.ends_with("] seen\r\n")) << viewer.output;
}

TEST(Trace, EachMessageIsOneStampedLineWithOneLineFeed) {
    const RunOptions probe = {.program = BinDirectory() + L"\\quillet_probe.exe"};
    const auto trace = [&](const char* name, std::vector<std::wstring> args,
                           std::vector<std::wstring> lines) {
        args.insert(args.begin(), L"trace");
        return Row{.name = name, .args = args, .trace = lines, .options = probe};
    };
    const std::vector<Row> rows = {
        trace("format without a line feed gets one", {L"x"}, {L"x\n"}),
        trace("format with a line feed keeps only it", {L"x\n"}, {L"x\n"}),
        trace("a line feed of the text does not count", {L"%s", L"a\n"}, {L"a\n\n"}),
        trace("nothing for an empty format", {L""}, {}),
        trace("longest line keeps its line feed", {std::wstring(kLongest - 1, L'a')},
              {std::wstring(kLongest - 1, L'a') + L"\n"}),
        trace("one more character and the line feed is cut", {std::wstring(kLongest, L'b')},
              {std::wstring(kLongest, L'b')}),
        trace("long text is cut", {L"<%s>", std::wstring(2000, L'd')},
              {L"<" + std::wstring(kLongest - 1, L'd')}),
    };
    for (const Row& row : rows) {
        const std::wstring before = Minute();
        for (const std::wstring& line : EXPECT_ROW(row).traceLines) {
            const std::wstring minute = line.substr(0, before.size());
            EXPECT_TRUE(HasTracePrefix(line) && (minute == before || minute == Minute())) << row.name;
            EXPECT_LE(line.size(), kLongestLine) << row.name;
        }
    }
}

// Whoever started the monitor (an elevated viewer, say), every user of the session may write to the
// channel: everyone (WD) may wait for the buffer and signal the data (0x100002), and write into the buffer
// (0x6, which the text form names by its bits' names DC and LC).
TEST(Trace, EveryUserOfTheSessionMayWriteToTheChannel) {
    quillet::testing::Run({L"trace", L"x"}, {.program = BinDirectory() + L"\\quillet_probe.exe"});
    const std::pair<UniqueHandle, const wchar_t*> objects[] = {
        {UniqueHandle(OpenEventW(READ_CONTROL, FALSE, L"DBWIN_BUFFER_READY")), L"D:(A;;0x100002;;;WD)"},
        {UniqueHandle(OpenEventW(READ_CONTROL, FALSE, L"DBWIN_DATA_READY")), L"D:(A;;0x100002;;;WD)"},
        {UniqueHandle(OpenFileMappingW(READ_CONTROL, FALSE, L"DBWIN_BUFFER")), L"D:(A;;DCLC;;;WD)"}};
    for (const auto& [object, expected] : objects) {
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        wchar_t* text = nullptr;
        GetSecurityInfo(object.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                        nullptr, &descriptor);
        const std::unique_ptr<void, decltype(&LocalFree)> owned(descriptor, LocalFree);
        ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                             DACL_SECURITY_INFORMATION, &text, nullptr);
        const std::unique_ptr<void, decltype(&LocalFree)> ownedText(text, LocalFree);
        EXPECT_STREQ(text, expected);
    }
}

} // namespace
} // namespace quillet::testing
