#include "ServiceProbe.h"

#include "Statistics.h"

#include "StreamingService.h"
#include "service/ComPtr.h"
#include "win32/Stopwatch.h"
#include "win32/UniqueHandle.h"

#include <string>
#include <vector>

namespace quillet::bench {

namespace {

template <class T> ActivationTiming TimeActivationOf(REFCLSID clsid, REFIID iid) {
    ActivationTiming timing;
    const Stopwatch total;
    ComPtr<T> object;
    Stopwatch step;
    timing.hr = CreateLocalServerObject(clsid, iid, object);
    if (FAILED(timing.hr)) {
        return timing;
    }
    timing.create = step.ElapsedMs();
    step.Restart();
    timing.hr = object->Initialize(GetCurrentProcessId());
    if (FAILED(timing.hr)) {
        return timing;
    }
    timing.initialize = step.ElapsedMs();
    step.Restart();
    object.reset();
    timing.release = step.ElapsedMs();
    timing.total = total.ElapsedMs();
    return timing;
}

// A client object, initialised; none when the emulator refused either step.
ComPtr<IStreamingClient> InitializedClient(HRESULT& hr) {
    ComPtr<IStreamingClient> client;
    hr = CreateLocalServerObject(CLSID_StreamingClient, IID_IStreamingClient, client);
    if (SUCCEEDED(hr)) {
        hr = client->Initialize(GetCurrentProcessId());
    }
    return SUCCEEDED(hr) ? std::move(client) : ComPtr<IStreamingClient>();
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
    UniqueHandle readEnd;
    UniqueHandle writeEnd;
    if (!CreatePipe(readEnd.put(), writeEnd.put(), nullptr, 0)) {
        return -1;
    }
    const UniqueHandle drain(CreateThread(nullptr, 0, &DrainPipe, readEnd.get(), 0, nullptr));
    if (!drain) {
        return -1;
    }
    const Stopwatch stopwatch;
    write(writeEnd.get());
    const double milliseconds = stopwatch.ElapsedMs();
    writeEnd.reset(); // the drain sees the end of the pipe
    WaitForSingleObject(drain.get(), INFINITE);
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
    HRESULT hr = S_OK;
    const ComPtr<IStreamingClient> client = InitializedClient(hr);
    if (!client) {
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
        serviceCalls.push_back(stopwatch.ElapsedMs());
        UINT count = 0;
        stopwatch.Restart();
        if (FAILED(client->GetTypeInfoCount(&count))) {
            break;
        }
        bareCalls.push_back(stopwatch.ElapsedMs());
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
    return count > 0 ? stopwatch.ElapsedMs() / count : 0;
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
    HRESULT hr = S_OK;
    const ComPtr<IStreamingClient> client = InitializedClient(hr);
    if (!client) {
        return hr;
    }
    LONG state = 0;
    hr = client->GetClientState(&state);
    client->Uninitialize();
    return hr;
}

} // namespace quillet::bench
