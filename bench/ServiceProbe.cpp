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

template <class T> double TimeActivationOf(REFCLSID clsid, REFIID iid) {
    const Stopwatch stopwatch;
    {
        ComPtr<T> object;
        if (FAILED(CreateLocalServerObject(clsid, iid, object)) ||
            FAILED(object->Initialize(GetCurrentProcessId()))) {
            return -1;
        }
    }
    return stopwatch.Milliseconds();
}

} // namespace

double TimeActivation(ServiceClass serviceClass) {
    switch (serviceClass) {
    case ServiceClass::Application:
        return TimeActivationOf<IStreamingApplication>(CLSID_StreamingApplication, IID_IStreamingApplication);
    case ServiceClass::Client:
        return TimeActivationOf<IStreamingClient>(CLSID_StreamingClient, IID_IStreamingClient);
    case ServiceClass::Cache:
        return TimeActivationOf<IStreamingCache>(CLSID_StreamingCache, IID_IStreamingCache);
    }
    return -1;
}

double TimeCall() {
    ComPtr<IStreamingClient> client;
    if (FAILED(CreateLocalServerObject(CLSID_StreamingClient, IID_IStreamingClient, client)) ||
        FAILED(client->Initialize(GetCurrentProcessId()))) {
        return -1;
    }
    LONG state = 0;
    const Stopwatch stopwatch;
    const HRESULT hr = client->GetClientState(&state);
    const double milliseconds = stopwatch.Milliseconds();
    client->Uninitialize();
    return SUCCEEDED(hr) ? milliseconds : -1;
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
