// A stand-in child for the runner's and the tools' tests: traces through Quillet's own TracePrint, echoes
// its command line, or exits with a chosen code.
//
//   quillet_probe trace <format> [<text>]   one TracePrint call, with text as its one argument
//   quillet_probe trace-lines <count>        count trace lines "line <i>"
//   quillet_probe args [<argument>...]       prints its command line, then each argument as <argument>,
//                                            in CR LF lines
//   quillet_probe exit <code> [<stdout text> [<stderr text>]]
//   quillet_probe sleep <milliseconds>
//   quillet_probe spawn <milliseconds>       leaves "sleep" behind, holding this one's standard handles

#include "output/Trace.h"
#include "win32/Utf8.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace {

constexpr int kUsageExitCode = 2;

void Write(DWORD standardHandle, std::wstring_view text) {
    const std::string bytes = quillet::ToUtf8(text);
    DWORD written = 0;
    WriteFile(GetStdHandle(standardHandle), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
              nullptr);
}

int Spawn(const wchar_t* milliseconds) {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring commandLine = L"\"" + std::wstring(path) + L"\" sleep " + milliseconds;
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

} // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring_view mode = argc > 1 ? argv[1] : L"";
    if (mode == L"trace" && (argc == 3 || argc == 4)) {
        argc == 3 ? quillet::TracePrint(argv[2]) : quillet::TracePrint(argv[2], argv[3]);
    } else if (mode == L"trace-lines" && argc == 3) {
        for (int i = 0; i < std::wcstol(argv[2], nullptr, 10); ++i) {
            quillet::TracePrint(L"line %d", i);
        }
    } else if (mode == L"args") {
        std::wstring echo = GetCommandLineW() + std::wstring(L"\r\n");
        for (int i = 2; i < argc; ++i) {
            echo += L"<" + std::wstring(argv[i]) + L">\r\n";
        }
        Write(STD_OUTPUT_HANDLE, echo);
    } else if (mode == L"exit" && argc >= 3 && argc <= 5) {
        Write(STD_OUTPUT_HANDLE, argc > 3 ? argv[3] : L"");
        Write(STD_ERROR_HANDLE, argc > 4 ? argv[4] : L"");
        ExitProcess(static_cast<UINT>(std::wcstoul(argv[2], nullptr, 0)));
    } else if (mode == L"sleep" && argc == 3) {
        Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10)));
    } else if (mode == L"spawn" && argc == 3) {
        return Spawn(argv[2]);
    } else {
        return kUsageExitCode;
    }
    return 0;
}
