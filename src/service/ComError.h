#pragma once

#include <windows.h>
#include <comdef.h>

namespace quillet {

// A failed SAFEARRAY, VARIANT or BSTR primitive ends the command with a _com_error carrying its HRESULT;
// the entry point turns it into the exit code.
[[noreturn]] inline void ThrowComError(HRESULT hr) {
    throw _com_error(hr);
}

inline void CheckCom(HRESULT hr) {
    if (FAILED(hr)) {
        ThrowComError(hr);
    }
}

} // namespace quillet
