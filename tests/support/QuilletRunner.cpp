#include "QuilletRunner.h"
#include "win32/Utf8.h"

#include "OutputPipe.h"
#include "TraceCapture.h"
#include "common/CommandLine.h"
#include "dbwin/DbwinMonitor.h"

#include <gtest/gtest.h>

#include <mutex>

namespace quillet::testing {

namespace {

// After the child has ended, its pipes normally report their end at once; a pipe that some other process
// still holds is given up after this much silence.
constexpr DWORD kDrainIdleMs = 200;

constexpr wchar_t kDefaultProgram[] = L"Quillet.exe";

// Starts of a child that its system failed to bring up before any of the child's code ran.
constexpr int kCreateAttempts = 3;

double MillisecondsBetween(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
           static_cast<double>(frequency.QuadPart);
}

class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE handle = nullptr) : m_handle(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() {
        if (m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE) {
            CloseHandle(m_handle);
        }
    }
    HANDLE get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// The standard input of a child: the null device, so that a child that reads gets an end of file.
HANDLE OpenNullInput() {
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), nullptr, TRUE};
    return CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes, OPEN_EXISTING,
                       0, nullptr);
}

// Only one child at a time is created with inheritable pipe ends, so that no child of a parallel run
// inherits (and keeps open) the pipes of another.
std::mutex g_creationLock;

// Waits for the child to end while its pipes are read; kills it when it runs past its time. Returns once
// the child has ended and its pipes are drained; ended is the moment the end was seen.
void WaitForChild(HANDLE process, OutputPipe& output, OutputPipe& errors, DWORD timeoutMs,
                  const std::string& described, LARGE_INTEGER& ended) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    bool exited = false;
    for (;;) {
        HANDLE waits[3];
        OutputPipe* pipes[3] = {};
        DWORD count = 0;
        if (!exited) {
            waits[count++] = process;
        }
        for (OutputPipe* pipe : {&output, &errors}) {
            if (pipe->Active()) {
                pipes[count] = pipe;
                waits[count++] = pipe->Event();
            }
        }
        if (count == 0) {
            return;
        }
        const ULONGLONG now = GetTickCount64();
        const DWORD wait = exited ? kDrainIdleMs : (now >= deadline ? 0 : static_cast<DWORD>(deadline - now));
        const DWORD signalled = WaitForMultipleObjects(count, waits, FALSE, wait);
        if (signalled == WAIT_TIMEOUT && exited) {
            return;
        }
        if (signalled == WAIT_TIMEOUT || signalled >= WAIT_OBJECT_0 + count) {
            if (signalled == WAIT_TIMEOUT) {
                ADD_FAILURE() << "Timed out after " << timeoutMs << " ms, killed: " << described;
            } else {
                ADD_FAILURE() << "Waiting for the child failed (error " << GetLastError()
                              << "): " << described;
            }
            TerminateProcess(process, static_cast<UINT>(HRESULT_FROM_WIN32(ERROR_TIMEOUT)));
            WaitForSingleObject(process, INFINITE);
            QueryPerformanceCounter(&ended);
            exited = true;
            continue;
        }
        const DWORD index = signalled - WAIT_OBJECT_0;
        if (pipes[index] != nullptr) {
            pipes[index]->OnSignalled();
        } else {
            QueryPerformanceCounter(&ended);
            exited = true;
        }
    }
}

} // namespace

std::vector<std::wstring> RunResult::TraceMessages() const {
    std::vector<std::wstring> messages;
    messages.reserve(trace.size());
    for (const auto& line : trace) {
        messages.push_back(HasTracePrefix(line) ? line.substr(kTracePrefixLength) : line);
    }
    return messages;
}

bool HasTracePrefix(std::wstring_view line) {
    // [yyyy-mm-dd hh:mm:ss.mmm] with a blank after it; 'd' stands for a digit.
    constexpr std::wstring_view kShape = L"[dddd-dd-dd dd:dd:dd.ddd] ";
    static_assert(kShape.size() == kTracePrefixLength);
    if (line.size() < kShape.size()) {
        return false;
    }
    for (size_t i = 0; i < kShape.size(); ++i) {
        const bool matches = kShape[i] == L'd' ? (line[i] >= L'0' && line[i] <= L'9') : line[i] == kShape[i];
        if (!matches) {
            return false;
        }
    }
    return true;
}

std::wstring BinDirectory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring(L".") : path.substr(0, separator);
}

std::wstring QuoteArgument(std::wstring_view argument) {
    return tools::QuoteArgument(argument);
}

std::string Crlf(std::string_view text) {
    std::string result;
    result.reserve(text.size() + text.size() / 16);
    for (const char character : text) {
        if (character == '\n') {
            result.push_back('\r');
        }
        result.push_back(character);
    }
    return result;
}

bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

RunResult RunQuillet(const std::vector<std::wstring>& args, const RunOptions& options) {
    std::wstring text;
    for (size_t i = 0; i < args.size(); ++i) {
        if (i > 0) {
            text.push_back(L' ');
        }
        text += QuoteArgument(args[i]);
    }
    return RunCommandLine(text, options);
}

RunResult RunCommandLine(std::wstring_view argumentText, const RunOptions& options) {
    RunResult result;
    const std::wstring program =
        options.program.empty() ? BinDirectory() + L"\\" + kDefaultProgram : options.program;
    result.commandLine = QuoteArgument(program);
    if (!argumentText.empty()) {
        result.commandLine += L' ';
        result.commandLine += argumentText;
    }
    const std::string described = ToUtf8(result.commandLine);

    bool tracing = options.captureTrace;
    if (tracing) {
        const HRESULT monitor = TraceCapture::Instance().EnsureStarted();
        if (FAILED(monitor)) {
            ADD_FAILURE() << "The trace cannot be captured: " << ToUtf8(dbwin::DescribeStartFailure(monitor));
            tracing = false;
        }
    }

    OutputPipe output;
    OutputPipe errors;
    UniqueHandle input(options.newConsole ? nullptr : OpenNullInput());
    if (!options.newConsole &&
        (!output.Create() || !errors.Create() || input.get() == INVALID_HANDLE_VALUE)) {
        ADD_FAILURE() << "Cannot create the standard handles of the child (error " << GetLastError() << ")";
        result.exitCode = static_cast<DWORD>(E_FAIL);
        return result;
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    DWORD flags = CREATE_SUSPENDED;
    if (options.newConsole) {
        flags |= CREATE_NEW_CONSOLE;
    } else {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = input.get();
        startup.hStdOutput = output.ChildEnd();
        startup.hStdError = errors.ChildEnd();
    }
    PROCESS_INFORMATION process = {};
    std::wstring commandLine = result.commandLine;
    BOOL created = FALSE;
    DWORD createError = ERROR_SUCCESS;
    {
        const std::lock_guard<std::mutex> lock(g_creationLock);
        if (!options.newConsole) {
            SetHandleInformation(output.ChildEnd(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
            SetHandleInformation(errors.ChildEnd(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        }
        // Wine now and then fails to bring up a new process inside its own loader (ERROR_INTERNAL_ERROR);
        // the child was created suspended and ran none of its code, so it is started once more.
        for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
            created = CreateProcessW(
                program.c_str(), commandLine.data(), nullptr, nullptr, !options.newConsole, flags, nullptr,
                options.workingDirectory.empty() ? nullptr : options.workingDirectory.c_str(), &startup,
                &process);
            createError = GetLastError();
            if (created || createError != ERROR_INTERNAL_ERROR) {
                break;
            }
        }
        output.CloseChildEnd();
        errors.CloseChildEnd();
    }
    if (!created) {
        ADD_FAILURE() << "Cannot start " << described << " (error " << createError << ")";
        result.exitCode = static_cast<DWORD>(HRESULT_FROM_WIN32(createError));
        return result;
    }
    const UniqueHandle processHandle(process.hProcess);
    const UniqueHandle threadHandle(process.hThread);
    result.processId = process.dwProcessId;

    // Watched before the child runs its first instruction, so that not even its first line is missed.
    if (tracing) {
        TraceCapture::Instance().Watch(process.dwProcessId);
    }
    if (!options.newConsole) {
        output.BeginReading();
        errors.BeginReading();
    }
    LARGE_INTEGER started = {};
    LARGE_INTEGER ended = {};
    QueryPerformanceCounter(&started);
    ResumeThread(process.hThread);

    WaitForChild(process.hProcess, output, errors, options.timeoutMs, described, ended);
    output.Cancel();
    errors.Cancel();

    GetExitCodeProcess(process.hProcess, &result.exitCode);
    result.elapsedMs = MillisecondsBetween(started, ended);
    result.output = output.Data();
    result.errors = errors.Data();

    if (tracing) {
        std::vector<std::string> messages;
        if (!TraceCapture::Instance().Collect(process.dwProcessId, messages)) {
            ADD_FAILURE() << "The trace monitor did not answer; trace lines may be missing: " << described;
        }
        for (const auto& message : messages) {
            result.trace.push_back(dbwin::WidenAnsi(message));
        }
    }
    return result;
}

} // namespace quillet::testing
