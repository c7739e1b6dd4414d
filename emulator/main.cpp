// PlenumEmulator.exe: a stand-in for the Plenum streaming service, as a COM local server.
#include "DataDirectory.h"
#include "DetachedStreams.h"
#include "Registration.h"
#include "ServerLifetime.h"
#include "Refusals.h"
#include "Service.h"
#include "win32/IgnoringCase.h"
#include "win32/Utf8.h"
#include "win32/WholeFile.h"

#include <windows.h>

#include <string>
#include <string_view>

namespace {

using namespace quillet::emulator;

constexpr wchar_t kUsage[] =
    L"PlenumEmulator: a stand-in for the Plenum streaming service (a COM local server).\n"
    L"\n"
    L"  PlenumEmulator /RegServer     register the server and its type library\n"
    L"  PlenumEmulator /UnregServer   remove the registration\n"
    L"  PlenumEmulator /Start         start a resident instance unless one runs\n"
    L"  PlenumEmulator /Serve         serve in the foreground until /Stop\n"
    L"  PlenumEmulator /Stop          end a running instance and wait until it has gone\n"
    L"  PlenumEmulator /Reset         stop, then delete state.json and journal.jsonl\n"
    L"  PlenumEmulator /Dump          print the current state\n"
    L"\n"
    L"COM starts it with -Embedding. Data directory: ";
constexpr wchar_t kRegisteredMachine[] = L"Registered for all users.\n";
// Windows gives an elevated program the machine's registration only, never the user's.
constexpr wchar_t kRegisteredUser[] =
    L"Registered for the current user only. Programs started with \"Run as administrator\"\n"
    L"do not see this registration. To register for all users, run PlenumEmulator /RegServer\n"
    L"in a command prompt started with \"Run as administrator\".\n";
constexpr wchar_t kRegistrationFailed[] = L"Registration failed: ";
constexpr wchar_t kUnregistered[] = L"Unregistered.\n";
constexpr wchar_t kServing[] = L"Serving until PlenumEmulator /Stop. Data directory: ";
constexpr wchar_t kAlreadyRunning[] = L"An instance is running already; stop it first with /Stop.\n";
constexpr wchar_t kStarted[] = L"Started.\n";
constexpr wchar_t kAlreadyStarted[] = L"Running already.\n";
constexpr wchar_t kStartTimedOut[] = L"The emulator did not start in time.\n";
constexpr wchar_t kStopped[] = L"Stopped.\n";
constexpr wchar_t kNotRunning[] = L"Not running.\n";
constexpr wchar_t kStopTimedOut[] = L"The running instance did not stop in time.\n";
constexpr wchar_t kResetDone[] = L"State and journal deleted.\n";
constexpr wchar_t kStateProblem[] = L"The state cannot be read: ";

// How long /Stop waits: longer than a "hang" fault keeps the server busy.
constexpr DWORD kStopWaitMs = 60000;

// Text for a person: wide on a console, UTF-8 when redirected.
void Print(std::wstring_view text, DWORD which = STD_OUTPUT_HANDLE) {
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD mode = 0;
    DWORD written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    quillet::WriteAllBytes(handle, quillet::ToUtf8(text));
}

bool IsVerb(std::wstring_view argument, std::wstring_view verb) {
    return !argument.empty() && (argument[0] == L'/' || argument[0] == L'-') &&
           quillet::EqualsIgnoringCase(argument.substr(1), verb);
}

// A cold start under Wine takes about a second; this is many times that.
constexpr DWORD kStartWaitMs = 30000;

int Start() {
    HRESULT hr = StartResidentInstance(kStartWaitMs);
    Print(hr == S_OK ? kStarted : hr == S_FALSE ? kAlreadyStarted : kStartTimedOut);
    return SUCCEEDED(hr) ? 0 : hr;
}

int Stop() {
    HRESULT hr = StopRunningInstance(kStopWaitMs);
    Print(hr == S_OK ? kStopped : hr == S_FALSE ? kNotRunning : kStopTimedOut);
    return SUCCEEDED(hr) ? 0 : hr;
}

int Reset() {
    if (int stopped = Stop(); stopped != 0) {
        return stopped;
    }
    DataDirectory directory = DataDirectory::Locate();
    DeleteFileW(directory.statePath.c_str());
    DeleteFileW(directory.journalPath.c_str());
    Print(kResetDone);
    return 0;
}

int Dump() {
    Service service(DataDirectory::Locate());
    const ServiceState& state = service.CurrentState();
    if (service.StateProblem()) {
        Print(kStateProblem + quillet::FromUtf8(*service.StateProblem()) + L"\n", STD_ERROR_HANDLE);
        return kStateUnreadable;
    }
    Print(quillet::FromUtf8(StateText(state)));
    return 0;
}

int Register() {
    RegistrationScope scope = RegistrationScope::Machine;
    HRESULT hr = RegisterServer(scope);
    if (FAILED(hr)) {
        Print(kRegistrationFailed + quillet::FromUtf8(HresultText(hr)) + L"\n", STD_ERROR_HANDLE);
        return hr;
    }
    Print(scope == RegistrationScope::Machine ? kRegisteredMachine : kRegisteredUser);
    return 0;
}

int Serve() {
    Print(std::wstring(kServing) + DataDirectory::Locate().root + L"\n");
    int result = RunServer(ServeMode::Foreground);
    if (result == HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)) {
        Print(kAlreadyRunning, STD_ERROR_HANDLE);
    }
    return result;
}

int Embedding() {
    DetachFromCallerStreams();
    return RunServer(ServeMode::Embedding);
}

int Unregister() {
    UnregisterServer();
    Print(kUnregistered);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const struct {
        const wchar_t* name;
        int (*run)();
    } verbs[] = {{L"Embedding", Embedding}, {L"RegServer", Register}, {L"UnregServer", Unregister},
                 {L"Serve", Serve},         {L"Start", Start},        {L"Stop", Stop},
                 {L"Reset", Reset},         {L"Dump", Dump}};
    std::wstring_view verb = argc > 1 ? argv[1] : L"";
    for (const auto& entry : verbs) {
        if (IsVerb(verb, entry.name)) {
            return entry.run();
        }
    }
    Print(std::wstring(kUsage) + DataDirectory::Locate().root + L"\n", STD_ERROR_HANDLE);
    return E_INVALIDARG;
}
