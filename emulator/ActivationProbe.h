#pragma once

#include <windows.h>

namespace quillet::emulator {

// Whether a client can activate the service now: gets the StreamingClient class object from the local
// server, as CoCreateInstance does before it creates an object, and creates none, so the journal gets no
// line. S_OK, the activation's failure, or 0x800705B4 (ERROR_TIMEOUT) when it has not ended within
// timeoutMs.
HRESULT ProbeActivation(DWORD timeoutMs);

} // namespace quillet::emulator
