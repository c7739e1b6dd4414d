#include "ClientControl.h"

#include "output/Trace.h"
#include "service/ServiceContract.h"
#include "service/ServiceObject.h"

namespace quillet {

namespace {

constexpr wchar_t kCreateFailedTrace[] = L"Failed to Create Client COM.\n";
constexpr wchar_t kInitializeFailedTrace[] = L"Failed to Initialize Client COM [%d].\n";
constexpr wchar_t kStartFailedTrace[] = L"Failed to Start Client COM. [%d]\n";
constexpr wchar_t kInitApplicationsFailedTrace[] = L"Failed to initialize Streaming Client COM. [%d]\n";
constexpr wchar_t kAlreadyUninitializedTrace[] =
    L"Streaming Client COM calling UninitApplications when it has already been uninitialized.\n";
constexpr wchar_t kUninitApplicationsFailedTrace[] = L"Failed to Uninitialize Streaming Client COM. [%d]\n";
constexpr wchar_t kStopFailedTrace[] = L"Failed to Uninitialize Client COM. [%d]\n";

// Start and stop trace why the client object could not be opened; the administrator query does not.
HRESULT OpenTraced(ClientObject& client) {
    return client.Open(TracePrint, kCreateFailedTrace, kInitializeFailedTrace);
}

// A failed read leaves the previous value, as the service's answer is only a hint here.
LONG ReadClientState(ClientObject& client, LONG previous) {
    static_cast<void>(client->GetClientState(&previous));
    return previous;
}

} // namespace

bool EnsureClientStarted() {
    ClientObject client(Closing::Uninitialize);
    if (FAILED(OpenTraced(client))) {
        return false;
    }
    HRESULT hr = client->StartClient();
    if (FAILED(hr) && hr != kClientAlreadyStarted) {
        TracePrint(kStartFailedTrace, TraceCode(hr));
        return false;
    }
    hr = client->InitApplications();
    if (FAILED(hr) && hr != kApplicationsAlreadyInitialized) {
        TracePrint(kInitApplicationsFailedTrace, TraceCode(hr));
        return false;
    }
    return true;
}

bool ShutDownClient() {
    ClientObject client(Closing::Uninitialize);
    if (FAILED(OpenTraced(client))) {
        return false;
    }
    LONG state = ReadClientState(client, 0);
    if (state == kClientApplicationsInitialized) {
        const HRESULT hr = client->UninitApplications();
        if (hr == kApplicationsAlreadyUninitialized) {
            TracePrint(kAlreadyUninitializedTrace);
        } else if (FAILED(hr)) {
            // The client is not stopped while its applications could not be uninitialised.
            TracePrint(kUninitApplicationsFailedTrace, TraceCode(hr));
            return false;
        }
    }
    state = ReadClientState(client, state);
    if (state == kClientOffline || state == kClientStarted) {
        const HRESULT hr = client->StopClient();
        if (hr == kClientAlreadyStopped) {
            TracePrint(kAlreadyUninitializedTrace);
        } else if (FAILED(hr)) {
            TracePrint(kStopFailedTrace, TraceCode(hr));
            return false;
        }
    }
    return true;
}

bool QueryUserIsAdmin() {
    if (!EnsureClientStarted()) {
        TracePrint(kCannotStartClientTrace);
        return false;
    }
    ClientObject client(Closing::ReleaseOnly);
    if (FAILED(client.Open())) {
        return false;
    }
    VARIANT_BOOL isAdmin = VARIANT_FALSE;
    const HRESULT hr = client->IsUserAdministrator(&isAdmin);
    return SUCCEEDED(hr) && isAdmin != VARIANT_FALSE;
}

} // namespace quillet
