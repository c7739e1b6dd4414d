#include "TimedProcess.h"

#include "common/CommandLine.h"
#include "win32/Stopwatch.h"
#include "win32/UniqueHandle.h"

namespace quillet::bench {

namespace {

// Big enough that a child never waits for the reader in the middle of a burst of output.
constexpr DWORD kPipeBytes = 1 << 20;
// After the child has ended, the reader sees the end of the pipe at once unless some other process holds
// its write end; it is given up after this long.
constexpr DWORD kDrainMs = 5000;

// Reads the pipe on a thread of its own until its end, so that the child never blocks on a full pipe.
class PipeReader {
public:
    explicit PipeReader(HANDLE readEnd)
        : m_readEnd(readEnd), m_thread(CreateThread(nullptr, 0, &PipeReader::Run, this, 0, nullptr)) {}
    PipeReader(const PipeReader&) = delete;
    PipeReader& operator=(const PipeReader&) = delete;
    ~PipeReader() { Finish(); }

    bool Started() const { return static_cast<bool>(m_thread); }

    // Waits for the end of the pipe (or gives the read up) and returns what arrived.
    const std::string& Finish() {
        if (m_thread) {
            if (WaitForSingleObject(m_thread.get(), kDrainMs) != WAIT_OBJECT_0) {
                CancelSynchronousIo(m_thread.get());
                WaitForSingleObject(m_thread.get(), INFINITE);
            }
            m_thread.reset();
        }
        return m_data;
    }

private:
    static DWORD WINAPI Run(void* self) {
        static_cast<PipeReader*>(self)->Read();
        return 0;
    }

    void Read() {
        char buffer[65536];
        DWORD read = 0;
        while (ReadFile(m_readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0) {
            m_data.append(buffer, read);
        }
    }

    HANDLE m_readEnd;
    std::string m_data;
    UniqueHandle m_thread;
};

} // namespace

TimedRun RunTimed(const std::wstring& program, const std::vector<std::wstring>& args, DWORD timeoutMs) {
    TimedRun run;
    std::wstring commandLine = tools::QuoteArgument(program);
    for (const std::wstring& argument : args) {
        commandLine += L' ';
        commandLine += tools::QuoteArgument(argument);
    }

    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    const UniqueFile input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                       OPEN_EXISTING, 0, nullptr));
    UniqueHandle readEnd;
    UniqueHandle writeEnd;
    if (!input || !CreatePipe(readEnd.put(), writeEnd.put(), &inheritable, kPipeBytes) ||
        !SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0)) {
        run.exitCode = GetLastError();
        return run;
    }
    PipeReader reader(readEnd.get());
    if (!reader.Started()) {
        run.exitCode = GetLastError();
        return run;
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input.get();
    startup.hStdOutput = writeEnd.get();
    startup.hStdError = writeEnd.get();
    PROCESS_INFORMATION process = {};

    const Stopwatch stopwatch;
    const BOOL created = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    const DWORD createError = GetLastError();
    // Only the child holds the write end now: its end is the pipe's end.
    writeEnd.reset();
    if (!created) {
        run.exitCode = createError;
        return run;
    }
    const UniqueHandle processHandle(process.hProcess);
    const UniqueHandle threadHandle(process.hThread);
    run.started = true;
    if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, static_cast<UINT>(HRESULT_FROM_WIN32(ERROR_TIMEOUT)));
        WaitForSingleObject(process.hProcess, INFINITE);
        run.timedOut = true;
    }
    run.milliseconds = stopwatch.ElapsedMs();
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    run.output = reader.Finish();
    return run;
}

} // namespace quillet::bench
