#include "ServiceProbe.h"

#include "Statistics.h"

#include "StreamingService.h"
#include "service/ComPtr.h"

#include <string>
#include <vector>

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

DWORD WINAPI DrainPipe(void* readEnd) {
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(static_cast<HANDLE>(readEnd), buffer, sizeof buffer, &read, nullptr) && read > 0) {
    }
    return 0;
}

// Writes into a fresh pipe, drained by a thread of its own, and times the writes alone.
template <class Write> double TimePipe(Write write) {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) {
        return -1;
    }
    const HANDLE drain = CreateThread(nullptr, 0, &DrainPipe, readEnd, 0, nullptr);
    double milliseconds = -1;
    if (drain != nullptr) {
        const Stopwatch stopwatch;
        write(writeEnd);
        milliseconds = stopwatch.Milliseconds();
    }
    CloseHandle(writeEnd);
    if (drain != nullptr) {
        WaitForSingleObject(drain, INFINITE);
        CloseHandle(drain);
    }
    CloseHandle(readEnd);
    return milliseconds;
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

CallTiming TimeCalls(int pairs) {
    CallTiming timing;
    ComPtr<IStreamingClient> client;
    if (FAILED(CreateLocalServerObject(CLSID_StreamingClient, IID_IStreamingClient, client)) ||
        FAILED(client->Initialize(GetCurrentProcessId()))) {
        return timing;
    }
    std::vector<double> serviceCalls;
    std::vector<double> bareCalls;
    for (int i = 0; i < pairs; ++i) {
        LONG state = 0;
        Stopwatch stopwatch;
        if (FAILED(client->GetClientState(&state))) {
            break;
        }
        serviceCalls.push_back(stopwatch.Milliseconds());
        UINT count = 0;
        stopwatch = Stopwatch();
        if (FAILED(client->GetTypeInfoCount(&count))) {
            break;
        }
        bareCalls.push_back(stopwatch.Milliseconds());
    }
    client->Uninitialize();
    if (!serviceCalls.empty() && serviceCalls.size() == bareCalls.size()) {
        timing.serviceCall = Summarize(serviceCalls).median;
        timing.bareCall = Summarize(bareCalls).median;
    }
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

PipeWriteTiming TimePipeWrites(int count) {
    static constexpr char kLine[] = "1234 - {B0000000-0000-4000-8000-0000000004D2}\r\n";
    constexpr DWORD kLineBytes = sizeof kLine - 1;
    PipeWriteTiming timing;
    timing.perLine = TimePipe([count](HANDLE pipe) {
        for (int i = 0; i < count; ++i) {
            DWORD written = 0;
            WriteFile(pipe, kLine, kLineBytes, &written, nullptr);
        }
    });
    std::string whole;
    for (int i = 0; i < count; ++i) {
        whole.append(kLine, kLineBytes);
    }
    timing.inOnePiece = TimePipe([&whole](HANDLE pipe) {
        DWORD written = 0;
        WriteFile(pipe, whole.data(), static_cast<DWORD>(whole.size()), &written, nullptr);
    });
    return timing;
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
