#pragma once

#include <windows.h>

namespace quillet::bench {

// Measurements that the driver makes in its own process, inside its single-threaded apartment: against
// the resident emulator, and of the platform calls that Quillet's costs rest on. Each returns
// milliseconds, or a negative number when a call failed.

enum class ServiceClass { Application, Client, Cache };

// One bare activation: CoCreateInstance in the local server, Initialize with the process id, Release;
// the total and its three steps.
struct ActivationTiming {
    double total = -1;
    double create = -1;
    double initialize = -1;
    double release = -1;
    HRESULT hr = S_OK; // of the step that failed, when one did
};
ActivationTiming TimeActivation(ServiceClass serviceClass);

// Round trips on an object that exists already: a service call (GetClientState, which the emulator
// checks its state for and journals) and a call that the emulator answers without any work of its own
// (IDispatch::GetTypeInfoCount), alternately, pairs times on one object: the median of each. Their
// difference is the emulator's own time per call.
struct CallTiming {
    double serviceCall = -1;
    double bareCall = -1;
};
CallTiming TimeCalls(int pairs);

// One trace line as Quillet writes it (OutputDebugStringW), with nobody listening; the mean of count lines.
double TimeTraceLine(int count);

// Writing count lines of an id list into a pipe that another thread drains: one write per line, and the
// same bytes in one write.
struct PipeWriteTiming {
    double perLine = -1;
    double inOnePiece = -1;
};
PipeWriteTiming TimePipeWrites(int count);

// Makes the emulator read its state.json now, with a call that changes nothing, so that the next sample
// does not pay for the reading of the scenario written just before it.
HRESULT PrimeEmulator();

} // namespace quillet::bench
