// ActivationProbe: what a fresh process pays for its first activations of a service object. It enters a
// single-threaded apartment, then three times creates an IStreamingClient object in the local server,
// initialises it and releases it, timing each step, and prints one line of milliseconds:
//   enter=<CoInitializeEx> create=<1>,<2>,<3> initialize=<1>,<2>,<3> release=<1>,<2>,<3>
// The benchmark compares the first activation with the later ones and with the driver's warm activation.

#include "StreamingService.h"
#include "service/ComPtr.h"
#include "win32/Stopwatch.h"

#include <windows.h>

#include <cstdio>

namespace {

constexpr int kActivations = 3;
constexpr int kComUnavailable = 1603;

} // namespace

int wmain(int, wchar_t**) {
    quillet::Stopwatch step;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return kComUnavailable;
    }
    const double enter = step.ElapsedMs();

    double create[kActivations] = {};
    double initialize[kActivations] = {};
    double release[kActivations] = {};
    HRESULT failure = S_OK;
    for (int i = 0; i < kActivations && SUCCEEDED(failure); ++i) {
        quillet::ComPtr<IStreamingClient> client;
        step.Restart();
        failure = quillet::CreateLocalServerObject(CLSID_StreamingClient, IID_IStreamingClient, client);
        create[i] = step.ElapsedMs();
        if (FAILED(failure)) {
            break;
        }
        step.Restart();
        failure = client->Initialize(GetCurrentProcessId());
        initialize[i] = step.ElapsedMs();
        step.Restart();
        client.reset();
        release[i] = step.ElapsedMs();
    }
    CoUninitialize();
    if (FAILED(failure)) {
        return static_cast<int>(failure);
    }

    std::printf("enter=%.3f create=%.3f,%.3f,%.3f initialize=%.3f,%.3f,%.3f release=%.3f,%.3f,%.3f\n", enter,
                create[0], create[1], create[2], initialize[0], initialize[1], initialize[2], release[0],
                release[1], release[2]);
    return 0;
}
