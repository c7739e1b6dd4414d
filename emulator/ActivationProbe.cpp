#include "ActivationProbe.h"

#include "StreamingService.h"
#include "service/ComPtr.h"

#include <objbase.h>

#include <chrono>
#include <future>
#include <thread>

namespace quillet::emulator {

namespace {

constexpr HRESULT kTimedOut = __HRESULT_FROM_WIN32(ERROR_TIMEOUT);

HRESULT GetClassObject() noexcept {
    const HRESULT entered = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(entered)) {
        return entered;
    }
    HRESULT hr = S_OK;
    {
        quillet::ComPtr<IClassFactory> factory;
        hr = CoGetClassObject(CLSID_StreamingClient, CLSCTX_LOCAL_SERVER, nullptr, IID_IClassFactory,
                              reinterpret_cast<void**>(factory.put()));
    }
    CoUninitialize();
    return hr;
}

} // namespace

HRESULT ProbeActivation(DWORD timeoutMs) {
    // An activation has no time limit, and one can hang for good: under Wine, while RPCSS does not serve,
    // it retries without end. It runs on a thread of its own that owns the task, so that one that hangs
    // is left behind at the deadline until the process ends.
    try {
        std::packaged_task<HRESULT()> task(GetClassObject);
        std::future<HRESULT> result = task.get_future();
        std::thread(std::move(task)).detach();
        if (result.wait_for(std::chrono::milliseconds(timeoutMs)) != std::future_status::ready) {
            return kTimedOut;
        }
        return result.get();
    } catch (...) {
        return E_OUTOFMEMORY; // no memory, or no thread, for the attempt
    }
}

} // namespace quillet::emulator
