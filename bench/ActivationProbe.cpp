// ActivationProbe: what a fresh process pays for its first activations of a service object. It enters a
// single-threaded apartment, then three times creates an IStreamingClient object in the local server,
// initialises it and releases it, timing each step, and prints one line of milliseconds:
//   enter=<CoInitializeEx> create=<1>,<2>,<3> initialize=<1>,<2>,<3> release=<1>,<2>,<3>
// The benchmark compares the first activation with the later ones and with the driver's warm activation.

#include "StreamingService.h"
#include "service/ComPtr.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

constexpr int kActivations = 3;
constexpr int kComUnavailable = 1603;

double Milliseconds(const LARGE_INTEGER& start, const LARGE_INTEGER& end) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
           static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

std::string Joined(const double (&values)[kActivations]) {
    std::string text;
    char number[32];
    for (int i = 0; i < kActivations; ++i) {
        std::snprintf(number, sizeof number, i == 0 ? "%.3f" : ",%.3f", values[i]);
        text += number;
    }
    return text;
}

} // namespace

int wmain(int, wchar_t**) {
    const LARGE_INTEGER started = Now();
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return kComUnavailable;
    }
    const double enter = Milliseconds(started, Now());

    double create[kActivations] = {};
    double initialize[kActivations] = {};
    double release[kActivations] = {};
    HRESULT failure = S_OK;
    for (int i = 0; i < kActivations && SUCCEEDED(failure); ++i) {
        quillet::ComPtr<IStreamingClient> client;
        LARGE_INTEGER step = Now();
        failure = quillet::CreateLocalServerObject(CLSID_StreamingClient, IID_IStreamingClient, client);
        create[i] = Milliseconds(step, Now());
        if (FAILED(failure)) {
            break;
        }
        step = Now();
        failure = client->Initialize(GetCurrentProcessId());
        initialize[i] = Milliseconds(step, Now());
        step = Now();
        client.reset();
        release[i] = Milliseconds(step, Now());
    }
    CoUninitialize();
    if (FAILED(failure)) {
        return static_cast<int>(failure);
    }

    char head[64];
    std::snprintf(head, sizeof head, "enter=%.3f create=", enter);
    const std::string line =
        head + Joined(create) + " initialize=" + Joined(initialize) + " release=" + Joined(release) + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written,
              nullptr);
    return 0;
}
