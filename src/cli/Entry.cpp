#include "Entry.h"

#include "Executor.h"
#include "output/Console.h"
#include "service/ComError.h"

#include <new>

namespace quillet {

namespace {

constexpr wchar_t kUnexpectedFailureMessage[] = L"Error: unexpected failure 0x%08X.\n";

// The command's exit code; a failure raised on the way is printed and becomes the exit code.
HRESULT Run(int count, const wchar_t* const* args) noexcept {
    HRESULT failure = E_UNEXPECTED;
    try {
        SExecutor executor;
        return executor.Execute(count, args);
    } catch (const _com_error& error) {
        failure = error.Error();
    } catch (const std::bad_alloc&) {
        failure = E_OUTOFMEMORY;
    } catch (...) {
        failure = E_UNEXPECTED;
    }
    // An exit code of 0 would hide the failure.
    if (SUCCEEDED(failure)) {
        failure = E_UNEXPECTED;
    }
    try {
        ConsolePrint(kUnexpectedFailureMessage, static_cast<unsigned>(failure));
    } catch (...) {
        // Out of memory even for the message: the exit code still tells.
    }
    return failure;
}

} // namespace

HRESULT RunQuillet(int count, const wchar_t* const* args) noexcept {
    // Redirected output leaves in large pieces, the last when the run ends, the failure message included.
    ConsoleBuffering buffering;
    const HRESULT result = Run(count, args);
    // Output that could not be written is no success, whatever the command did.
    const HRESULT written = buffering.Flush();
    return result == S_OK && FAILED(written) ? written : result;
}

} // namespace quillet
