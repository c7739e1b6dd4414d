#include "CacheService.h"

#include "output/Console.h"
#include "output/Outcome.h"

namespace quillet {

namespace {

constexpr wchar_t kInitializeFailedMessage[] = L"Error: failed to intialize IStreamingCache object.\n";

} // namespace

HRESULT OpenCacheService(ComPtr<IStreamingCache>& cache) {
    HRESULT hr = CreateLocalServerObject(CLSID_StreamingCache, IID_IStreamingCache, cache);
    if (FAILED(hr)) {
        ConsolePrint(kCoCreateInstanceFailedMessage);
        return hr;
    }
    hr = cache->Initialize(GetCurrentProcessId());
    if (FAILED(hr)) {
        ConsolePrint(kInitializeFailedMessage);
        cache.reset();
    }
    return hr;
}

} // namespace quillet
