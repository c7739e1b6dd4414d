#pragma once

#include <windows.h>

namespace quillet {

// The client start and stop commands: 0, or E_FAIL when the client could not be started or stopped.
// Neither prints anything; the details go to the trace.
HRESULT ClientStart();
HRESULT ClientStop();

} // namespace quillet
