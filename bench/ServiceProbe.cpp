#include "ServiceProbe.h"

#include "StreamingService.h"
#include "service/ComPtr.h"

namespace quillet::bench {

namespace {

class Stopwatch {
public:
    Stopwatch() { QueryPerformanceCounter(&m_start); }
    double Milliseconds() const {
        LARGE_INTEGER now;
        LARGE_INTEGER frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return 1000.0 * static_cast<double>(now.QuadPart - m_start.QuadPart) /
               static_cast<double>(frequency.QuadPart);
    }

private:
    LARGE_INTEGER m_start;
};

template <class T> ActivationTiming TimeActivationOf(REFCLSID clsid, REFIID iid) {
    ActivationTiming timing;
    const Stopwatch total;
    ComPtr<T> object;
    Stopwatch step;
    if (FAILED(CreateLocalServerObject(clsid, iid, object))) {
        return timing;
    }
    const double create = step.Milliseconds();
    step = Stopwatch();
    if (FAILED(object->Initialize(GetCurrentProcessId()))) {
        return timing;
    }
    const double initialize = step.Milliseconds();
    step = Stopwatch();
    object.reset();
    timing.release = step.Milliseconds();
    timing.create = create;
    timing.initialize = initialize;
    timing.total = total.Milliseconds();
    return timing;
}

} // namespace

ActivationTiming TimeActivation(ServiceClass serviceClass) {
    switch (serviceClass) {
    case ServiceClass::Application:
        return TimeActivationOf<IStreamingApplication>(CLSID_StreamingApplication, IID_IStreamingApplication);
    case ServiceClass::Client:
        return TimeActivationOf<IStreamingClient>(CLSID_StreamingClient, IID_IStreamingClient);
    case ServiceClass::Cache:
        return TimeActivationOf<IStreamingCache>(CLSID_StreamingCache, IID_IStreamingCache);
    }
    return {};
}

CallTiming TimeCalls() {
    CallTiming timing;
    ComPtr<IStreamingClient> client;
    if (FAILED(CreateLocalServerObject(CLSID_StreamingClient, IID_IStreamingClient, client)) ||
        FAILED(client->Initialize(GetCurrentProcessId()))) {
        return timing;
    }
    LONG state = 0;
    Stopwatch stopwatch;
    if (SUCCEEDED(client->GetClientState(&state))) {
        timing.serviceCall = stopwatch.Milliseconds();
    }
    UINT count = 0;
    stopwatch = Stopwatch();
    if (SUCCEEDED(client->GetTypeInfoCount(&count))) {
        timing.bareCall = stopwatch.Milliseconds();
    }
    client->Uninitialize();
    return timing;
}

double TimeTraceLine(int count) {
    constexpr wchar_t kLine[] =
        L"[2024-01-05 09:03:07.042] Modifying app =<{B0000000-0000-4000-8000-000000000001}> "
        L"from [1] to [64] succeeded.\n";
    const Stopwatch stopwatch;
    for (int i = 0; i < count; ++i) {
        OutputDebugStringW(kLine);
    }
    return count > 0 ? stopwatch.Milliseconds() / count : 0;
}

HRESULT PrimeEmulator() {
    ComPtr<IStreamingClient> client;
    HRESULT hr = CreateLocalServerObject(CLSID_StreamingClient, IID_IStreamingClient, client);
    if (FAILED(hr)) {
        return hr;
    }
    hr = client->Initialize(GetCurrentProcessId());
    if (FAILED(hr)) {
        return hr;
    }
    LONG state = 0;
    hr = client->GetClientState(&state);
    client->Uninitialize();
    return hr;
}

} // namespace quillet::bench
