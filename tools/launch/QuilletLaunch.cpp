// QuilletLaunch <program> [arguments...]
// Runs the program with the rest of the launcher's command line passed on exactly as typed and the
// launcher's standard handles, waits for it and exits with its exit code. A shell under Wine sees only
// the low 8 bits of that code, so a code other than 0 is also printed in full on standard error.

#include "common/CommandLine.h"
#include "common/ToolOutput.h"
#include "win32/ExitCode.h"
#include "win32/UniqueHandle.h"
#include "win32/Utf8.h"

#include <windows.h>

#include <string>

namespace {

constexpr wchar_t kUsage[] = L"Usage: QuilletLaunch <program> [arguments...]\n"
                             L"Runs the program with the arguments as typed and exits with its exit code.\n";
constexpr wchar_t kExitCodeMessage[] = L"Exit code: 0x%08X (%u)\n";
constexpr wchar_t kCannotStartMessage[] = L"QuilletLaunch: cannot start \"%s\" (error 0x%08X).\n";

// Under Wine the program may be named by its Unix path (bin/quillet does so); CreateProcess needs the
// Windows path. Wine's kernel32 converts it; elsewhere the export does not exist and nothing changes.
std::wstring WindowsPath(const std::wstring& path) {
    if (path.empty() || path[0] != L'/') {
        return path;
    }
    using DosFileName = WCHAR*(CDECL*)(LPCSTR);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const FARPROC address = kernel != nullptr ? GetProcAddress(kernel, "wine_get_dos_file_name") : nullptr;
    if (address == nullptr) {
        return path;
    }
    const auto convert = reinterpret_cast<DosFileName>(reinterpret_cast<void (*)()>(address));
    WCHAR* converted = convert(quillet::ToUtf8(path).c_str());
    if (converted == nullptr) {
        return path;
    }
    std::wstring result(converted);
    HeapFree(GetProcessHeap(), 0, converted);
    return result;
}

// The child gets the launcher's own standard handles, so they must be inheritable.
HANDLE InheritableStandardHandle(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    return handle;
}

// Ctrl+C reaches the child as well; the child decides, and the launcher reports what it returned.
BOOL WINAPI KeepRunningOnControl(DWORD) {
    return TRUE;
}

int Launch() {
    using quillet::tools::PrintTo;
    const auto command = quillet::tools::SplitLaunchCommandLine(GetCommandLineW());
    if (!command) {
        PrintTo(STD_ERROR_HANDLE, kUsage);
        return E_INVALIDARG;
    }
    const std::wstring program = WindowsPath(command->program);
    std::wstring commandLine = quillet::tools::QuoteArgument(program);
    if (!command->tail.empty()) {
        commandLine += L' ';
        commandLine += command->tail;
    }

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = InheritableStandardHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = InheritableStandardHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = InheritableStandardHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    SetConsoleCtrlHandler(KeepRunningOnControl, TRUE);
    // The program is named by the command line alone: then it is searched for (beside the launcher, in the
    // current folder, the system folders and the PATH) and ".exe" may be left out, as a user expects.
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &process)) {
        const DWORD error = GetLastError();
        const HRESULT status = HRESULT_FROM_WIN32(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
        PrintTo(STD_ERROR_HANDLE, kCannotStartMessage, program.c_str(), static_cast<unsigned>(status));
        return status;
    }
    const quillet::UniqueHandle thread(process.hThread);
    const quillet::UniqueHandle child(process.hProcess);
    WaitForSingleObject(child.get(), INFINITE);
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(child.get(), &exitCode)) {
        exitCode = static_cast<DWORD>(HRESULT_FROM_WIN32(GetLastError()));
    }
    if (exitCode != 0) {
        PrintTo(STD_ERROR_HANDLE, kExitCodeMessage, static_cast<unsigned>(exitCode),
                static_cast<unsigned>(exitCode));
    }
    return static_cast<int>(exitCode);
}

} // namespace

int wmain() {
    return quillet::ExitCodeOf(Launch);
}
