#include "Multisource.h"

#include "CacheService.h"
#include "MultisourcePrinting.h"
#include "output/Console.h"
#include "output/Outcome.h"
#include "service/Bstr.h"

namespace quillet {

namespace {

constexpr wchar_t kAddingProgress[] = L"Adding multisource file...";
constexpr wchar_t kDeletingProgress[] = L"Deleting multisource file...";
constexpr wchar_t kGettingInfoProgress[] = L"Getting multisource file info...";
constexpr wchar_t kGettingIdListProgress[] = L"Getting multisource file id list...";
// No line end: a query's printer opens its answer with one, and add and delete end here.
constexpr wchar_t kSuccessMessage[] = L"Success.";

VARIANT_BOOL AsVariantBool(int32_t flag) {
    return flag != 0 ? VARIANT_TRUE : VARIANT_FALSE;
}

// Calls Uninitialize on the cache object when the request is over, also when reading the answer raised.
class UninitializeOnExit {
public:
    explicit UninitializeOnExit(IStreamingCache& cache) : m_cache(cache) {}
    UninitializeOnExit(const UninitializeOnExit&) = delete;
    UninitializeOnExit& operator=(const UninitializeOnExit&) = delete;
    ~UninitializeOnExit() { static_cast<void>(m_cache.Uninitialize()); }

private:
    IStreamingCache& m_cache;
};

// Reports the outcome of the service call: "Success." or "Failed.\n".
bool ReportOutcome(HRESULT hr) {
    ConsolePrint(SUCCEEDED(hr) ? kSuccessMessage : kFailedLine);
    return SUCCEEDED(hr);
}

} // namespace

HRESULT MultisourceAdd(std::wstring_view appGuid, std::wstring_view sourcePath,
                       std::wstring_view destinationPath, int32_t overwriteExisting) {
    ComPtr<IStreamingCache> cache;
    HRESULT hr = OpenCacheService(cache);
    if (FAILED(hr)) {
        return hr;
    }
    const UninitializeOnExit uninitialize(*cache);
    ConsolePrint(kAddingProgress);
    const UniqueBstr guid = UniqueBstr::Copy(appGuid);
    const UniqueBstr source = UniqueBstr::Copy(sourcePath);
    const UniqueBstr destination = UniqueBstr::Copy(destinationPath);
    hr = cache->AddMultiSourceFile(guid.get(), source.get(), destination.get(),
                                   AsVariantBool(overwriteExisting));
    ReportOutcome(hr);
    return hr;
}

HRESULT MultisourceDelete(std::wstring_view appGuid) {
    ComPtr<IStreamingCache> cache;
    HRESULT hr = OpenCacheService(cache);
    if (FAILED(hr)) {
        return hr;
    }
    const UninitializeOnExit uninitialize(*cache);
    ConsolePrint(kDeletingProgress);
    const UniqueBstr guid = UniqueBstr::Copy(appGuid);
    hr = cache->DeleteMultiSourceFile(guid.get());
    ReportOutcome(hr);
    return hr;
}

HRESULT MultisourceGetInfo(std::wstring_view appGuid) {
    ComPtr<IStreamingCache> cache;
    HRESULT hr = OpenCacheService(cache);
    if (FAILED(hr)) {
        return hr;
    }
    const UninitializeOnExit uninitialize(*cache);
    ConsolePrint(kGettingInfoProgress);
    const UniqueBstr guid = UniqueBstr::Copy(appGuid);
    CVariantSafeArray info;
    hr = cache->GetMultiSourceFileInfo(guid.get(), info.Out());
    if (ReportOutcome(hr)) {
        PrintMultiSourceFileInfo(info);
    }
    return hr;
}

HRESULT MultisourceGetIdList(int32_t finishedOnly) {
    ComPtr<IStreamingCache> cache;
    HRESULT hr = OpenCacheService(cache);
    if (FAILED(hr)) {
        return hr;
    }
    const UninitializeOnExit uninitialize(*cache);
    ConsolePrint(kGettingIdListProgress);
    CVariantSafeArray ids;
    // The service reports a count as well; the array's bounds alone decide what is printed.
    LONG count = 0;
    hr = cache->GetMultiSourceFileIdList(AsVariantBool(finishedOnly), &count, ids.Out());
    if (ReportOutcome(hr)) {
        PrintMultiSourceFileIdList(ids);
    }
    return hr;
}

} // namespace quillet
