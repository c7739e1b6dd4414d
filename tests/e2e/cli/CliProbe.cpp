// A stand-in child for the black-box tests: writes trace lines through the program's own TracePrint,
// echoes its command line, or exits with a chosen code.
//
//   quillet_cli_probe trace <format> [s:<text> | d:<number> | u:<number>]...
//   quillet_cli_probe trace-lines <count>
//   quillet_cli_probe args [<argument>...]
//   quillet_cli_probe exit <code> [<stdout text> [<stderr text>]]
//   quillet_cli_probe sleep <milliseconds>
//   quillet_cli_probe spawn <milliseconds>   starts "sleep" with its own standard handles and returns
//   quillet_cli_probe cwd                    prints the working directory
//   quillet_cli_probe console                exits with 0 without a console, 1 when this process owns
//                                            its console window, 2 when another process owns it, 3 for
//                                            a console without a window (headless Wine)

#include "output/Trace.h"
#include "win32/Utf8.h"

#include <windows.h>

#include <cstdlib>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr size_t kMaxTraceArguments = 4;
constexpr int kUsageExitCode = 2;

struct TraceArgument {
    bool isText = false;
    std::wstring text;
    long long number = 0;
    bool isUnsigned = false;
};

// Expands the parsed arguments into one real variadic call, so that the trace sees them as the program
// passes them: wide strings and 32-bit integers.
template <class... Passed>
void CallTrace(const wchar_t* format, std::span<const TraceArgument> rest, Passed... passed) {
    if constexpr (sizeof...(Passed) < kMaxTraceArguments) {
        if (!rest.empty()) {
            const TraceArgument& next = rest.front();
            if (next.isText) {
                CallTrace(format, rest.subspan(1), passed..., next.text.c_str());
            } else if (next.isUnsigned) {
                CallTrace(format, rest.subspan(1), passed..., static_cast<unsigned>(next.number));
            } else {
                CallTrace(format, rest.subspan(1), passed..., static_cast<int>(next.number));
            }
            return;
        }
    }
    quillet::TracePrint(format, passed...);
}

void WriteRaw(DWORD standardHandle, const std::string& bytes) {
    DWORD written = 0;
    if (!bytes.empty()) {
        WriteFile(GetStdHandle(standardHandle), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                  nullptr);
    }
}

int Trace(int argc, wchar_t** argv) {
    if (argc < 3 || static_cast<size_t>(argc - 3) > kMaxTraceArguments) {
        return kUsageExitCode;
    }
    std::vector<TraceArgument> arguments;
    for (int i = 3; i < argc; ++i) {
        const std::wstring_view word = argv[i];
        if (word.size() < 2 || word[1] != L':') {
            return kUsageExitCode;
        }
        TraceArgument argument;
        if (word[0] == L's') {
            argument.isText = true;
            argument.text = word.substr(2);
        } else {
            argument.isUnsigned = word[0] == L'u';
            argument.number = std::wcstoll(argv[i] + 2, nullptr, 0);
        }
        arguments.push_back(argument);
    }
    CallTrace(argv[2], arguments);
    return 0;
}

int TraceLines(int argc, wchar_t** argv) {
    if (argc != 3) {
        return kUsageExitCode;
    }
    const int count = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
    for (int i = 0; i < count; ++i) {
        quillet::TracePrint(L"line %d", i);
    }
    return 0;
}

// The command line as the process received it, then each argument after "args" as <argument>, in UTF-8.
int EchoArguments(int argc, wchar_t** argv) {
    std::string output = quillet::ToUtf8(GetCommandLineW()) + "\n";
    for (int i = 2; i < argc; ++i) {
        output += "<" + quillet::ToUtf8(argv[i]) + ">\n";
    }
    WriteRaw(STD_OUTPUT_HANDLE, output);
    return 0;
}

int Exit(int argc, wchar_t** argv) {
    if (argc < 3 || argc > 5) {
        return kUsageExitCode;
    }
    const auto code = static_cast<unsigned>(std::wcstoul(argv[2], nullptr, 0));
    if (argc > 3) {
        WriteRaw(STD_OUTPUT_HANDLE, quillet::ToUtf8(argv[3]));
    }
    if (argc > 4) {
        WriteRaw(STD_ERROR_HANDLE, quillet::ToUtf8(argv[4]));
    }
    ExitProcess(code);
}

int SleepFor(int argc, wchar_t** argv) {
    if (argc != 3) {
        return kUsageExitCode;
    }
    Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
    return 0;
}

// Leaves a process behind that holds this one's standard handles, as a server started by a command may.
int Spawn(int argc, wchar_t** argv) {
    if (argc != 3) {
        return kUsageExitCode;
    }
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\" sleep " + argv[2];
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (const HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(path, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return 1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

int WorkingDirectory() {
    wchar_t directory[MAX_PATH];
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, directory);
    WriteRaw(STD_OUTPUT_HANDLE, quillet::ToUtf8(std::wstring_view(directory, length)));
    return 0;
}

int ConsoleOwner() {
    if (GetConsoleCP() == 0) {
        return 0;
    }
    const HWND window = GetConsoleWindow();
    if (window == nullptr) {
        return 3;
    }
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return owner == GetCurrentProcessId() ? 1 : 2;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        return kUsageExitCode;
    }
    const std::wstring_view mode = argv[1];
    if (mode == L"trace") {
        return Trace(argc, argv);
    }
    if (mode == L"trace-lines") {
        return TraceLines(argc, argv);
    }
    if (mode == L"args") {
        return EchoArguments(argc, argv);
    }
    if (mode == L"exit") {
        return Exit(argc, argv);
    }
    if (mode == L"sleep") {
        return SleepFor(argc, argv);
    }
    if (mode == L"spawn") {
        return Spawn(argc, argv);
    }
    if (mode == L"cwd") {
        return WorkingDirectory();
    }
    if (mode == L"console") {
        return ConsoleOwner();
    }
    return kUsageExitCode;
}
