// ActivationProbe: what a fresh process pays for its first activations of a service object. It enters a
// single-threaded apartment, then three times creates an IStreamingClient object in the local server,
// initialises it and releases it, timing each step, and prints one line of JSON, in milliseconds:
//   {"enter":<CoInitializeEx>,"create":[<1>,<2>,<3>],"initialize":[...],"release":[...]}
// The report compares the first activation with the later ones and with the driver's warm activation.

#include "ServiceProbe.h"
#include "win32/Stopwatch.h"

#include <windows.h>
#include <objbase.h>

#include <nlohmann/json.hpp>

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

    nlohmann::ordered_json report = {{"enter", enter}};
    for (const auto& [name, step] : {std::pair{"create", &ActivationTiming::create},
                                     std::pair{"initialize", &ActivationTiming::initialize},
                                     std::pair{"release", &ActivationTiming::release}}) {
        report[name] = {runs[0].*step, runs[1].*step, runs[2].*step};
    }
    std::puts(report.dump().c_str());
    return 0;
}
