// QuilletTrace: a console viewer of the debugger-output channel. Prints the diagnostic trace of running
// programs, one "[process id] text" line per message, until Ctrl+C.

#include "common/ToolOutput.h"
#include "dbwin/DbwinMonitor.h"
#include "trace/ProcessNames.h"
#include "win32/ExitCode.h"
#include "win32/UniqueHandle.h"

#include <windows.h>

#include <cwchar>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace {

using quillet::tools::PrintTo;

constexpr wchar_t kUsage[] =
    L"Usage: QuilletTrace [-p <process id>] [-n <process name>] [-c <count>]\n"
    L"Prints the diagnostic trace of running programs as \"[process id] text\" until Ctrl+C.\n"
    L"  -p <process id>    only the process with this id\n"
    L"  -n <process name>  only processes with this image name, for example Quillet or Quillet.exe\n"
    L"  -c <count>         stop after this many lines\n";
constexpr wchar_t kInvalidOptionMessage[] = L"QuilletTrace: invalid option \"%s\". Use -h for help.\n";
constexpr wchar_t kMissingValueMessage[] = L"QuilletTrace: option %s needs a value. Use -h for help.\n";
constexpr wchar_t kStartFailedMessage[] = L"QuilletTrace: %s\n";
constexpr wchar_t kCapturingMessage[] = L"Capturing debug output; press Ctrl+C to stop.\n";
constexpr wchar_t kLineFormat[] = L"[%u] %s";

// Names of short-lived processes are collected this often, so that their last lines can be matched.
constexpr DWORD kNameRefreshIntervalMs = 200;

struct Options {
    std::optional<DWORD> processId;
    std::optional<std::wstring> processName;
    std::optional<unsigned long> count;
    bool help = false;
};

std::optional<unsigned long> ParseNumber(const wchar_t* text) {
    wchar_t* end = nullptr;
    if (text == nullptr || *text == L'\0' || *text == L'-') {
        return std::nullopt;
    }
    const unsigned long value = std::wcstoul(text, &end, 0);
    if (end == nullptr || *end != L'\0') {
        return std::nullopt;
    }
    return value;
}

// Returns no options when the command line is wrong; the reason has been printed.
std::optional<Options> ParseOptions(int argc, wchar_t** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"-h" || option == L"-?" || option == L"/?") {
            options.help = true;
            continue;
        }
        if (option != L"-p" && option != L"-n" && option != L"-c") {
            PrintTo(STD_ERROR_HANDLE, kInvalidOptionMessage, option.c_str());
            return std::nullopt;
        }
        if (i + 1 >= argc || argv[i + 1][0] == L'\0') {
            PrintTo(STD_ERROR_HANDLE, kMissingValueMessage, option.c_str());
            return std::nullopt;
        }
        const wchar_t* value = argv[++i];
        if (option == L"-n") {
            options.processName = value;
            continue;
        }
        const auto number = ParseNumber(value);
        if (!number || (option == L"-p" && *number > MAXDWORD)) {
            PrintTo(STD_ERROR_HANDLE, kInvalidOptionMessage, value);
            return std::nullopt;
        }
        if (option == L"-p") {
            options.processId = static_cast<DWORD>(*number);
        } else {
            options.count = number;
        }
    }
    return options;
}

// Set by the console's control handler, which runs on a thread of its own.
const quillet::UniqueHandle g_stopRequested(CreateEventW(nullptr, TRUE, FALSE, nullptr));

BOOL WINAPI StopOnControl(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
        SetEvent(g_stopRequested.get());
        return TRUE;
    }
    return FALSE;
}

// Messages travel from the monitor's thread to the printing thread, so that a slow console never holds up
// the programs that write.
class MessageQueue {
public:
    HANDLE Available() const { return m_available.get(); }

    void Push(const quillet::dbwin::DebugMessage& message) {
        {
            const std::lock_guard<std::mutex> lock(m_lock);
            m_messages.push_back(message);
        }
        SetEvent(m_available.get());
    }

    std::deque<quillet::dbwin::DebugMessage> TakeAll() {
        const std::lock_guard<std::mutex> lock(m_lock);
        return std::exchange(m_messages, {});
    }

private:
    quillet::UniqueHandle m_available{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
    std::mutex m_lock;
    std::deque<quillet::dbwin::DebugMessage> m_messages;
};

void PrintMessage(const quillet::dbwin::DebugMessage& message) {
    std::wstring text = quillet::dbwin::WidenAnsi(message.text);
    if (text.empty() || text.back() != L'\n') {
        text.push_back(L'\n');
    }
    PrintTo(STD_OUTPUT_HANDLE, kLineFormat, static_cast<unsigned>(message.processId), text.c_str());
}

int Watch(int argc, wchar_t** argv) {
    const auto options = ParseOptions(argc, argv);
    if (!options) {
        return E_INVALIDARG;
    }
    if (options->help) {
        PrintTo(STD_OUTPUT_HANDLE, kUsage);
        return 0;
    }

    SetConsoleCtrlHandler(StopOnControl, TRUE);

    quillet::tools::ProcessNames names;
    if (options->processName) {
        names.Refresh();
    }
    MessageQueue queue;
    quillet::dbwin::DbwinMonitor monitor;
    const HRESULT started = monitor.Start([&](const quillet::dbwin::DebugMessage& message) {
        if (options->processId && message.processId != *options->processId) {
            return;
        }
        // Named here, on the monitor's thread: the writer is still alive unless this was its last line.
        if (options->processName &&
            !quillet::tools::ImageNameMatches(names.NameOf(message.processId), *options->processName)) {
            return;
        }
        queue.Push(message);
    });
    if (FAILED(started)) {
        PrintTo(STD_ERROR_HANDLE, kStartFailedMessage, quillet::dbwin::DescribeStartFailure(started).c_str());
        return started;
    }
    PrintTo(STD_ERROR_HANDLE, kCapturingMessage);

    unsigned long printed = 0;
    const auto printQueued = [&] {
        for (const auto& message : queue.TakeAll()) {
            if (options->count && printed >= *options->count) {
                return;
            }
            PrintMessage(message);
            ++printed;
        }
    };
    const HANDLE waits[] = {g_stopRequested.get(), queue.Available()};
    while (!options->count || printed < *options->count) {
        const DWORD result = WaitForMultipleObjects(2, waits, FALSE, kNameRefreshIntervalMs);
        if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) {
            break;
        }
        if (result == WAIT_TIMEOUT && options->processName) {
            names.Refresh();
        }
        printQueued();
    }
    monitor.Stop();
    printQueued();
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    return quillet::ExitCodeOf([&] { return Watch(argc, argv); });
}
