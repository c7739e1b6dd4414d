#include "Runner.h"

#include "Emulator.h"

#include "dbwin/DbwinMonitor.h"
#include "win32/Stopwatch.h"
#include "win32/UniqueHandle.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <mutex>

namespace quillet::testing {

namespace {

// Wine now and then fails to bring up a new process inside its own loader (ERROR_INTERNAL_ERROR) before
// any of the child's code ran; the child is then started once more.
constexpr int kCreateAttempts = 3;
// Longer than a writer's own wait for the buffer (10 s): a writer stuck on the channel of a monitor that
// has gone keeps the channel's objects alive until it gives up.
constexpr DWORD kChannelWaitMs = 12000;

// The test process's one monitor of the session's debugger-output channel, started on first use and kept
// until the process ends. It keeps the messages of the children being watched and drops all others.
class TraceCapture {
public:
    HRESULT EnsureStarted() {
        const std::lock_guard<std::mutex> lock(m_startLock);
        if (m_monitor.Running()) {
            return S_OK;
        }
        return m_monitor.Start(
            [this](const dbwin::DebugMessage& message) {
                const std::lock_guard<std::mutex> guard(m_lock);
                if (const auto watched = m_watched.find(message.processId); watched != m_watched.end()) {
                    watched->second.push_back(message.text);
                }
            },
            kChannelWaitMs);
    }

    // Before the child runs its first instruction, so that not even its first line is missed.
    void Watch(DWORD processId) {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_watched[processId].clear();
    }

    // Once the child has ended: its messages in order; false when the monitor did not answer.
    bool Collect(DWORD processId, std::vector<std::string>& messages) {
        const bool flushed = m_monitor.Flush();
        const std::lock_guard<std::mutex> lock(m_lock);
        messages = std::move(m_watched[processId]);
        m_watched.erase(processId);
        return flushed;
    }

private:
    dbwin::DbwinMonitor m_monitor;
    std::mutex m_startLock;
    std::mutex m_lock; // guards m_watched
    std::map<DWORD, std::vector<std::string>> m_watched;
};

TraceCapture& Capture() {
    static TraceCapture capture;
    return capture;
}

SECURITY_ATTRIBUTES g_inheritable = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};

// The writing end of a pipe whose reading end is closed: every write to it fails.
UniqueFile ClosedPipe() {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &g_inheritable, 0)) {
        return UniqueFile();
    }
    CloseHandle(readEnd);
    return UniqueFile(writeEnd);
}

} // namespace

UniqueFile TemporaryStream() {
    wchar_t folder[MAX_PATH + 1];
    wchar_t path[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"qrn", 0, path) == 0) {
        return UniqueFile();
    }
    return UniqueFile(CreateFileW(
        path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        &g_inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
}

std::string ReadStream(HANDLE file) {
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file, &size) || SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0) {
        return {};
    }
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
    bytes.resize(read);
    return bytes;
}

RunResult Run(const std::vector<std::wstring>& args, const RunOptions& options) {
    RunResult result;
    const std::wstring program =
        options.program.empty() ? BinDirectory() + L"\\Quillet.exe" : options.program;
    std::wstring commandLine = QuoteArgument(program);
    if (options.arguments) {
        commandLine += options.arguments->empty() ? L"" : L" " + *options.arguments;
    }
    for (size_t i = 0; !options.arguments && i < args.size(); ++i) {
        commandLine += L" " + QuoteArgument(args[i]);
    }
    const std::string described = ToUtf8(commandLine);

    const HRESULT monitor = options.captureTrace ? Capture().EnsureStarted() : S_FALSE;
    if (FAILED(monitor)) {
        ADD_FAILURE() << "The trace cannot be captured: " << ToUtf8(dbwin::DescribeStartFailure(monitor));
    }
    const UniqueFile input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       &g_inheritable, OPEN_EXISTING, 0, nullptr));
    const UniqueFile output = options.closedOutput ? ClosedPipe() : TemporaryStream();
    const UniqueFile errors = TemporaryStream();
    if (!input || !output || !errors) {
        ADD_FAILURE() << "Cannot make the standard handles of the child (error " << GetLastError() << ")";
        result.exitCode = static_cast<DWORD>(E_FAIL);
        return result;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = output.get();
    startup.hStdError = errors.get();
    PROCESS_INFORMATION process = {};
    DWORD error = ERROR_INTERNAL_ERROR;
    for (int attempt = 0; attempt < kCreateAttempts && error == ERROR_INTERNAL_ERROR; ++attempt) {
        error = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                               nullptr, nullptr, &startup, &process)
                    ? ERROR_SUCCESS
                    : GetLastError();
    }
    if (error != ERROR_SUCCESS) {
        ADD_FAILURE() << "Cannot start " << described << " (error " << error << ")";
        result.exitCode = static_cast<DWORD>(HRESULT_FROM_WIN32(error));
        return result;
    }
    const UniqueHandle child(process.hProcess);
    const UniqueHandle thread(process.hThread);
    result.processId = process.dwProcessId;
    const bool tracing = monitor == S_OK;
    if (tracing) {
        Capture().Watch(process.dwProcessId);
    }
    const uint64_t journalMark = options.journal ? emulator::JournalLength() : 0;
    const Stopwatch started;
    ResumeThread(thread.get());
    if (WaitForSingleObject(child.get(), options.timeoutMs) != WAIT_OBJECT_0) {
        // What the emulator did last tells a hung service from a hung Quillet.
        const std::vector<std::string> journal = emulator::ReadJournalLines();
        ADD_FAILURE() << "Timed out after " << options.timeoutMs << " ms, killed: " << described
                      << "\nThe emulator serves: " << (emulator::Serves() ? "yes" : "no")
                      << "; its journal ends with: " << (journal.empty() ? "(nothing)" : journal.back());
        TerminateProcess(child.get(), static_cast<UINT>(HRESULT_FROM_WIN32(ERROR_TIMEOUT)));
        WaitForSingleObject(child.get(), INFINITE);
    }
    result.elapsedMs = started.ElapsedMs();
    GetExitCodeProcess(child.get(), &result.exitCode);
    result.output = options.closedOutput ? std::string() : ReadStream(output.get());
    result.errors = ReadStream(errors.get());
    if (options.journal) {
        result.journal = emulator::ReadJournal(journalMark);
    }

    std::vector<std::string> messages;
    if (tracing && !Capture().Collect(process.dwProcessId, messages)) {
        ADD_FAILURE() << "The trace monitor did not answer; trace lines may be missing: " << described;
    }
    for (const std::string& message : messages) {
        result.traceLines.push_back(dbwin::WidenAnsi(message));
        const std::wstring& line = result.traceLines.back();
        result.trace.push_back(HasTracePrefix(line) ? line.substr(kTracePrefixLength) : line);
    }
    return result;
}

bool HasTracePrefix(std::wstring_view line) {
    constexpr std::wstring_view kShape = L"[dddd-dd-dd dd:dd:dd.ddd] "; // d: a digit
    static_assert(kShape.size() == kTracePrefixLength);
    return line.size() >= kShape.size() &&
           std::equal(kShape.begin(), kShape.end(), line.begin(), [](wchar_t shape, wchar_t character) {
               return shape == L'd' ? character >= L'0' && character <= L'9' : character == shape;
           });
}

std::wstring BinDirectory() {
    wchar_t path[MAX_PATH];
    const std::wstring self(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    return self.substr(0, self.find_last_of(L'\\'));
}

std::string Crlf(std::string_view text) {
    std::string result;
    for (const char character : text) {
        if (character == '\n') {
            result.push_back('\r');
        }
        result.push_back(character);
    }
    return result;
}

std::string InOutputCodePage(std::wstring_view text) {
    const UINT console = GetConsoleOutputCP();
    const UINT codePage = console != 0 ? console : GetACP();
    // UTF-8 has every character and takes no flags.
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int length = static_cast<int>(text.size());
    std::string bytes(4 * text.size(), '\0');
    bytes.resize(static_cast<size_t>(WideCharToMultiByte(codePage, flags, text.data(), length, bytes.data(),
                                                         static_cast<int>(bytes.size()), nullptr, nullptr)));
    return bytes;
}

} // namespace quillet::testing
