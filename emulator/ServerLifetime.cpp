#include "ServerLifetime.h"

#include "ApplicationObject.h"
#include "CacheObject.h"
#include "ClassFactory.h"
#include "ClientObject.h"
#include "DataDirectory.h"
#include "InstanceNames.h"
#include "Service.h"
#include "TypeLibrary.h"
#include "win32/Stopwatch.h"
#include "service/ComPtr.h"
#include "win32/UniqueHandle.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace quillet::emulator {

namespace {

// Like a service, the emulator stays resident while idle, but not forever.
constexpr ULONGLONG kIdleLifetimeMs = 10 * 60 * 1000;
// How often a resident server with objects looks whether they are gone.
constexpr DWORD kIdleCheckMs = 60 * 1000;
// A server that COM starts while the previous instance is still shutting down waits for it this long.
constexpr DWORD kTakeOverWaitMs = 15000;
// A stop ends slow work at once; calls still under way then get this long to return their failure.
constexpr DWORD kDrainMs = 10000;

std::atomic<long> g_objects{0};
DWORD g_cookies[3] = {};
std::atomic<ULONGLONG> g_idleSince{0};

template <class Object, class Interface> IUnknown* Create() {
    return static_cast<Interface*>(new (std::nothrow) Object());
}

struct ClassEntry {
    const CLSID* clsid;
    ClassFactory factory;
    DWORD& cookie;
};

// Ctrl+C on a foreground server stops it like /Stop, so that it revokes its class objects: a server that
// dies with them registered leaves Wine's RPCSS handing out dead ones.
BOOL WINAPI StopOnConsoleSignal(DWORD) {
    const UniqueHandle stop(OpenEventW(EVENT_MODIFY_STATE, FALSE, InstanceObjectName(kStopEvent).c_str()));
    return stop && SetEvent(stop.get());
}

// A server that dies of a fault of its own takes its class objects back first, as a crash fault does.
LONG WINAPI RevokeBeforeDying(EXCEPTION_POINTERS*) {
    RevokeClassObjects();
    return EXCEPTION_CONTINUE_SEARCH;
}

[[noreturn]] void RevokeAndAbort() {
    RevokeClassObjects();
    std::abort();
}

// Wine takes an interface off RPC when its last stub goes, and waits there, holding the lock of its
// interface registrations, for the calls of that interface in flight, while activations wait for that lock:
// the server would hang for good. One stub of each interface that clients reach, held for the server's
// life, keeps every interface registered.
const IID* const kAnchoredInterfaces[] = {&IID_IUnknown,
                                          &IID_IDispatch,
                                          &IID_IServiceProvider,
                                          &IID_IClassFactory,
                                          &IID_IStreamingApplication,
                                          &IID_IStreamingClient,
                                          &IID_IStreamingCache};

class Anchor : public IUnknown {
public:
    // No client ever gets this object, so no call reaches it through these interfaces; COM's own questions
    // (IMarshal and the like) are answered no.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        const bool anchored =
            std::any_of(std::begin(kAnchoredInterfaces), std::end(kAnchoredInterfaces),
                        [&](const IID* anchoredIid) { return IsEqualIID(*anchoredIid, iid); });
        *object = anchored ? this : nullptr;
        return anchored ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

std::vector<quillet::ComPtr<IStream>> AnchorInterfaces() {
    static Anchor anchor;
    std::vector<quillet::ComPtr<IStream>> anchors;
    for (const IID* iid : kAnchoredInterfaces) {
        quillet::ComPtr<IStream> stream;
        if (SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put())) &&
            SUCCEEDED(CoMarshalInterface(stream.get(), *iid, &anchor, MSHCTX_LOCAL, nullptr,
                                         MSHLFLAGS_TABLESTRONG))) {
            anchors.push_back(std::move(stream));
        }
    }
    return anchors;
}

// Waits until the stop event, and in embedding mode until the idle lifetime has passed; false once the
// server should end. Calls arrive on COM's threads meanwhile. While objects live it looks again now and then,
// since nothing wakes it when the last one goes.
bool KeepServing(HANDLE stopEvent, ServeMode mode) {
    DWORD timeout = INFINITE;
    if (mode == ServeMode::Embedding) {
        timeout = kIdleCheckMs;
        if (g_objects.load() == 0) {
            const ULONGLONG idle = GetTickCount64() - g_idleSince.load();
            if (idle >= kIdleLifetimeMs) {
                return false;
            }
            timeout = static_cast<DWORD>(kIdleLifetimeMs - idle);
        }
    }
    return WaitForSingleObject(stopEvent, timeout) != WAIT_OBJECT_0;
}

} // namespace

void RevokeClassObjects() {
    for (DWORD& cookie : g_cookies) {
        if (cookie != 0) {
            CoRevokeClassObject(cookie);
            cookie = 0;
        }
    }
}

void ServerObjectCreated() {
    ++g_objects;
}

void ServerObjectReleased() {
    if (--g_objects == 0) {
        g_idleSince = GetTickCount64();
    }
}

int RunServer(ServeMode mode) {
    UniqueHandle instance(CreateMutexW(nullptr, FALSE, InstanceObjectName(kInstanceMutex).c_str()));
    if (!instance) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    // An instance that serves keeps the mutex: this one leaves at once, and COM finds the other's class
    // objects. One that is still shutting down is waited for (only COM starts a server that way).
    UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, InstanceObjectName(kReadyEvent).c_str()));
    const bool takeOver =
        mode == ServeMode::Embedding && ready && WaitForSingleObject(ready.get(), 0) != WAIT_OBJECT_0;
    DWORD wait = WaitForSingleObject(instance.get(), takeOver ? kTakeOverWaitMs : 0);
    if (wait != WAIT_OBJECT_0 && wait != WAIT_ABANDONED) {
        return mode == ServeMode::Embedding ? S_OK : HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    }
    // The mutex is never released: it is abandoned when the process ends, which is what /Stop waits for.
    UniqueHandle stopEvent(CreateEventW(nullptr, TRUE, FALSE, InstanceObjectName(kStopEvent).c_str()));
    if (!stopEvent) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    ResetEvent(stopEvent.get());
    if (mode == ServeMode::Foreground) {
        SetConsoleCtrlHandler(StopOnConsoleSignal, TRUE);
    }

    // The multithreaded apartment: every call runs on a thread of COM's pool, so that no call waits for
    // another's slow work; the service's lock guards the state (Service.h).
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr)) {
        return hr;
    }
    const std::vector<quillet::ComPtr<IStream>> anchors = AnchorInterfaces();
    Service service(DataDirectory::Locate());
    Service::SetInstance(&service);
    service.Start();
    g_idleSince = GetTickCount64();

    ClassEntry classes[] = {
        {&CLSID_StreamingApplication,
         ClassFactory(L"IStreamingApplication", Create<ApplicationObject, IStreamingApplication>),
         g_cookies[0]},
        {&CLSID_StreamingClient, ClassFactory(L"IStreamingClient", Create<ClientObject, IStreamingClient>),
         g_cookies[1]},
        {&CLSID_StreamingCache, ClassFactory(L"IStreamingCache", Create<CacheObject, IStreamingCache>),
         g_cookies[2]},
    };
    for (ClassEntry& entry : classes) {
        hr = CoRegisterClassObject(*entry.clsid, &entry.factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                   &entry.cookie);
        if (FAILED(hr)) {
            break;
        }
    }
    SetUnhandledExceptionFilter(RevokeBeforeDying);
    std::set_terminate(RevokeAndAbort);
    if (SUCCEEDED(hr)) {
        SetEvent(ready.get());
        while (KeepServing(stopEvent.get(), mode)) {
        }
    }
    // Slow work ends and later calls are refused, so that the calls under way return (their clients see
    // the failure) before COM takes the objects away.
    ResetEvent(ready.get());
    service.Stop();
    RevokeClassObjects();
    if (!service.WaitForCalls(kDrainMs)) {
        // A call still stuck (a read from a share that does not answer) would return into a service that
        // is gone. Every change it acknowledged is on disk already, so the process ends here instead.
        ExitProcess(static_cast<UINT>(HRESULT_FROM_WIN32(ERROR_TIMEOUT)));
    }
    ReleaseServiceTypeInfo();
    // Disconnects what clients still hold; their objects are released and journalled here.
    CoUninitialize();
    Service::SetInstance(nullptr);
    return SUCCEEDED(hr) ? S_OK : hr;
}

HRESULT StartResidentInstance(DWORD timeoutMs) {
    UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, InstanceObjectName(kReadyEvent).c_str()));
    if (!ready) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    if (WaitForSingleObject(ready.get(), 0) == WAIT_OBJECT_0) {
        return S_FALSE;
    }
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    }
    std::wstring commandLine = L"\"" + std::wstring(path, length) + L"\" -Embedding";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &process)) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    const UniqueHandle processHandle(process.hProcess);
    const UniqueHandle threadHandle(process.hThread);
    const Stopwatch elapsed;
    HANDLE waits[] = {ready.get(), process.hProcess};
    DWORD result = WaitForMultipleObjects(2, waits, FALSE, timeoutMs);
    if (result == WAIT_OBJECT_0 + 1) {
        // It left at once: an instance that was shutting down or starting serves instead.
        result = WaitForSingleObject(ready.get(), elapsed.RemainingMs(timeoutMs));
    }
    return result == WAIT_OBJECT_0 ? S_OK : HRESULT_FROM_WIN32(ERROR_TIMEOUT);
}

HRESULT StopRunningInstance(DWORD timeoutMs) {
    UniqueHandle stopEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, InstanceObjectName(kStopEvent).c_str()));
    if (!stopEvent) {
        return S_FALSE;
    }
    UniqueHandle instance(OpenMutexW(SYNCHRONIZE, FALSE, InstanceObjectName(kInstanceMutex).c_str()));
    SetEvent(stopEvent.get());
    if (!instance) {
        return S_OK;
    }
    DWORD wait = WaitForSingleObject(instance.get(), timeoutMs);
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) {
        ReleaseMutex(instance.get());
        return S_OK;
    }
    return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
}

} // namespace quillet::emulator
