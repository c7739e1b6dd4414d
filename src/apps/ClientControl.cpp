#include "ClientControl.h"

#include "StreamingService.h"
#include "output/Trace.h"
#include "service/ComPtr.h"

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

constexpr LONG kClientStarted = 2;
constexpr LONG kClientApplicationsInitialized = 4;
constexpr LONG kClientOffline = 5;

// Creates an IStreamingClient object and initialises it with the process id. On failure the object is
// released (without Uninitialize) and the reason is traced when traceFailures is set.
bool OpenClient(ComPtr<IStreamingClient>& client, bool traceFailures) {
    if (FAILED(CreateLocalServerObject(CLSID_StreamingClient, IID_IStreamingClient, client))) {
        if (traceFailures) {
            TracePrint(kCreateFailedTrace);
        }
        return false;
    }
    const HRESULT hr = client->Initialize(GetCurrentProcessId());
    if (FAILED(hr)) {
        if (traceFailures) {
            TracePrint(kInitializeFailedTrace, TraceCode(hr));
        }
        client.reset();
        return false;
    }
    return true;
}

// A failed read leaves the previous value, as the service's answer is only a hint here.
void ReadClientState(IStreamingClient& client, LONG& state) {
    static_cast<void>(client.GetClientState(&state));
}

} // namespace

bool EnsureClientStarted() {
    ComPtr<IStreamingClient> client;
    if (!OpenClient(client, true)) {
        return false;
    }
    bool result = true;
    HRESULT hr = client->StartClient();
    if (FAILED(hr) && hr != kClientAlreadyStarted) {
        TracePrint(kStartFailedTrace, TraceCode(hr));
        result = false;
    } else {
        hr = client->InitApplications();
        if (FAILED(hr) && hr != kApplicationsAlreadyInitialized) {
            TracePrint(kInitApplicationsFailedTrace, TraceCode(hr));
            result = false;
        }
    }
    static_cast<void>(client->Uninitialize());
    return result;
}

bool ShutDownClient() {
    ComPtr<IStreamingClient> client;
    if (!OpenClient(client, true)) {
        return false;
    }
    bool result = true;
    LONG state = 0;
    ReadClientState(*client, state);
    bool stopAllowed = true;
    if (state == kClientApplicationsInitialized) {
        const HRESULT hr = client->UninitApplications();
        if (hr == kApplicationsAlreadyUninitialized) {
            TracePrint(kAlreadyUninitializedTrace);
        } else if (FAILED(hr)) {
            TracePrint(kUninitApplicationsFailedTrace, TraceCode(hr));
            result = false;
            stopAllowed = false;
        }
    }
    if (stopAllowed) {
        ReadClientState(*client, state);
        if (state == kClientOffline || state == kClientStarted) {
            const HRESULT hr = client->StopClient();
            if (hr == kClientAlreadyStopped) {
                TracePrint(kAlreadyUninitializedTrace);
            } else if (FAILED(hr)) {
                TracePrint(kStopFailedTrace, TraceCode(hr));
                result = false;
            }
        }
    }
    static_cast<void>(client->Uninitialize());
    return result;
}

bool QueryUserIsAdmin() {
    if (!EnsureClientStarted()) {
        TracePrint(kCannotStartClientTrace);
        return false;
    }
    ComPtr<IStreamingClient> client;
    if (!OpenClient(client, false)) {
        return false;
    }
    VARIANT_BOOL isAdmin = VARIANT_FALSE;
    const HRESULT hr = client->IsUserAdministrator(&isAdmin);
    return SUCCEEDED(hr) && isAdmin != VARIANT_FALSE;
}

} // namespace quillet
