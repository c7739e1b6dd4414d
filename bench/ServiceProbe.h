#pragma once

#include <windows.h>

namespace quillet::bench {

// Measurements that the driver makes in its own process, inside its single-threaded apartment, against
// the resident emulator. Each returns milliseconds, or a negative number when a call failed.

enum class ServiceClass { Application, Client, Cache };

// One bare activation: CoCreateInstance in the local server, Initialize with the process id, Release.
double TimeActivation(ServiceClass serviceClass);

// One round trip on an object that exists already (GetClientState on a client object).
double TimeCall();

// One trace line as Quillet writes it (OutputDebugStringW), with nobody listening; the mean of count lines.
double TimeTraceLine(int count);

// Makes the emulator read its state.json now, with a call that changes nothing, so that the next sample
// does not pay for the reading of the scenario written just before it.
HRESULT PrimeEmulator();

} // namespace quillet::bench
