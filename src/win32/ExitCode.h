#pragma once

#include <windows.h>

#include <new>

namespace quillet {

// A program's work as its exit code: an exception that escapes the work ends the program with an HRESULT
// that says so, never through std::terminate.
template <class Work> int ExitCodeOf(Work&& work) noexcept {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

} // namespace quillet
