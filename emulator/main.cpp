// PlenumEmulator.exe: a stand-in for the Plenum streaming service, as a COM local server.
#include "ActivationProbe.h"
#include "DataDirectory.h"
#include "DetachedStreams.h"
#include "FileIdentity.h"
#include "Registration.h"
#include "ServerLifetime.h"
#include "Refusals.h"
#include "Service.h"
#include "win32/ExitCode.h"
#include "win32/IgnoringCase.h"
#include "win32/Stopwatch.h"
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
    L"  PlenumEmulator /Start         start a resident instance unless one runs, and check it is reachable\n"
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
constexpr wchar_t kStartFailed[] = L"The emulator could not be started: ";
constexpr wchar_t kStartedUnreachable[] = L"No client can activate the started emulator; it stops again: ";
constexpr wchar_t kRunningUnreachable[] = L"No client can activate the running instance; /Stop ends it: ";
constexpr wchar_t kStopped[] = L"Stopped.\n";
constexpr wchar_t kNotRunning[] = L"Not running.\n";
constexpr wchar_t kStopTimedOut[] = L"The running instance did not stop in time.\n";
constexpr wchar_t kResetDone[] = L"State and journal deleted.\n";
constexpr wchar_t kResetFailed[] = L"state.json or journal.jsonl cannot be deleted: ";
constexpr wchar_t kResetLinksKept[] =
    L"state.json or journal.jsonl is a link, or has another name: left where it is, for you to remove.\n";
constexpr wchar_t kStateProblem[] = L"The state cannot be read: ";
constexpr wchar_t kDirectoryRefused[] = L"The data directory cannot be used: ";

// How long /Stop waits. A stop ends slow work and hang faults at once; the calls under way then return.
constexpr DWORD kStopWaitMs = 20000;

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

// All of /Start, the check that a client reaches the instance included. A cold start under Wine takes
// about a second, an activation of a running instance about 50 ms; this is many times that.
constexpr DWORD kStartWaitMs = 30000;
constexpr HRESULT kStartTimedOut = __HRESULT_FROM_WIN32(ERROR_TIMEOUT);

// S_OK when the data directory can be used; otherwise why not, said for a person too.
HRESULT CheckDirectory() {
    std::wstring problem;
    const HRESULT hr = DataDirectory::Locate().Prepare(&problem);
    if (FAILED(hr)) {
        Print(kDirectoryRefused + (problem.empty() ? quillet::FromUtf8(HresultText(hr)) : problem) + L"\n",
              STD_ERROR_HANDLE);
    }
    return hr;
}

int Start() {
    if (const HRESULT hr = CheckDirectory(); FAILED(hr)) {
        return hr;
    }
    const quillet::Stopwatch elapsed;
    const HRESULT started = StartResidentInstance(kStartWaitMs);
    HRESULT hr = started;
    const wchar_t* failure = kStartFailed;
    if (SUCCEEDED(started)) {
        // A ready instance has registered its class objects, which does not mean that COM hands them out:
        // in a Wine prefix whose first boot has not ended, registering succeeds with no RPCSS to serve.
        hr = ProbeActivation(elapsed.RemainingMs(kStartWaitMs));
        failure = started == S_OK ? kStartedUnreachable : kRunningUnreachable;
    }
    if (FAILED(hr)) {
        if (started == S_OK || started == kStartTimedOut) {
            // What this /Start set going would stay resident where no client reaches it. Its shutdown
            // takes as long as COM takes to give up on RPCSS, so it is not waited for.
            StopRunningInstance(0);
        }
        Print(failure + quillet::FromUtf8(HresultText(hr)) + L"\n", STD_ERROR_HANDLE);
        return hr;
    }
    Print(started == S_OK ? kStarted : kAlreadyStarted);
    return 0;
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
    // Never through a link: under Wine, deleting a link's name deletes the file it leads to. Both are
    // tried, so that a link at one name does not keep the other file.
    const DataDirectory directory = DataDirectory::Locate();
    const HRESULT state = DeleteItself(directory.statePath);
    const HRESULT journal = DeleteItself(directory.journalPath);
    const HRESULT hr = FAILED(state) ? state : journal;
    if (hr == kNotTheFileItself) {
        Print(kResetLinksKept);
    } else if (FAILED(hr)) {
        Print(kResetFailed + quillet::FromUtf8(HresultText(hr)) + L"\n", STD_ERROR_HANDLE);
    } else {
        Print(kResetDone);
    }
    return hr;
}

int Dump() {
    Service service(DataDirectory::Locate());
    const ServiceState& state = service.CurrentState();
    if (const std::optional<std::string>& problem = service.StateProblem(); problem) {
        Print(kStateProblem + quillet::FromUtf8(*problem) + L"\n", STD_ERROR_HANDLE);
        return service.ProblemCode();
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
    if (const HRESULT hr = CheckDirectory(); FAILED(hr)) {
        return hr;
    }
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

int Dispatch(int argc, wchar_t** argv) {
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

} // namespace

int wmain(int argc, wchar_t** argv) {
    return quillet::ExitCodeOf([&] { return Dispatch(argc, argv); });
}
