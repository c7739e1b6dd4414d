// ActivationProbe: what a fresh process pays for its first activations of a service object. It enters a
// single-threaded apartment, then three times creates an IStreamingClient object in the local server,
// initialises it and releases it, timing each step, and prints one line of milliseconds:
//   enter=<CoInitializeEx> create=<1>,<2>,<3> initialize=<1>,<2>,<3> release=<1>,<2>,<3>
// The benchmark compares the first activation with the later ones and with the driver's warm activation.

#include "ServiceProbe.h"
#include "win32/Stopwatch.h"

#include <windows.h>
#include <objbase.h>

#include <cstdio>

namespace {

constexpr int kComUnavailable = 1603;

} // namespace

int wmain(int, wchar_t**) {
    using namespace quillet::bench;
    const quillet::Stopwatch entering;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return kComUnavailable;
    }
    const double enter = entering.ElapsedMs();
    ActivationTiming runs[3];
    HRESULT failure = S_OK;
    for (ActivationTiming& run : runs) {
        run = TimeActivation(ServiceClass::Client);
        if (FAILED(run.hr)) {
            failure = run.hr;
            break;
        }
    }
    CoUninitialize();
    if (FAILED(failure)) {
        return static_cast<int>(failure);
    }

    std::printf("enter=%.3f create=%.3f,%.3f,%.3f initialize=%.3f,%.3f,%.3f release=%.3f,%.3f,%.3f\n", enter,
                runs[0].create, runs[1].create, runs[2].create, runs[0].initialize, runs[1].initialize,
                runs[2].initialize, runs[0].release, runs[1].release, runs[2].release);
    return 0;
}
