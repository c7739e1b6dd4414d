#include "Multisource.h"

#include "MultisourcePrinting.h"
#include "output/Console.h"
#include "output/Outcome.h"
#include "service/Bstr.h"
#include "service/ServiceObject.h"

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

// Opens the cache object for one request and announces it; the failing HRESULT when it cannot be opened.
HRESULT Begin(CacheObject& cache, const wchar_t* progress) {
    const HRESULT hr =
        cache.Open(ConsolePrint, kCoCreateInstanceFailedMessage, kCacheInitializeFailedMessage);
    if (SUCCEEDED(hr)) {
        ConsolePrint(progress);
    }
    return hr;
}

// Reports the outcome of the service call: "Success." or "Failed.\n".
bool ReportOutcome(HRESULT hr) {
    ConsolePrint(SUCCEEDED(hr) ? kSuccessMessage : kFailedLine);
    return SUCCEEDED(hr);
}

} // namespace

HRESULT MultisourceAdd(std::wstring_view appGuid, std::wstring_view sourcePath,
                       std::wstring_view destinationPath, int32_t overwriteExisting) {
    CacheObject cache(Closing::Uninitialize);
    HRESULT hr = Begin(cache, kAddingProgress);
    if (FAILED(hr)) {
        return hr;
    }
    const UniqueBstr guid = UniqueBstr::Copy(appGuid);
    const UniqueBstr source = UniqueBstr::Copy(sourcePath);
    const UniqueBstr destination = UniqueBstr::Copy(destinationPath);
    hr = cache->AddMultiSourceFile(guid.get(), source.get(), destination.get(),
                                   AsVariantBool(overwriteExisting));
    ReportOutcome(hr);
    return hr;
}

HRESULT MultisourceDelete(std::wstring_view appGuid) {
    CacheObject cache(Closing::Uninitialize);
    HRESULT hr = Begin(cache, kDeletingProgress);
    if (FAILED(hr)) {
        return hr;
    }
    const UniqueBstr guid = UniqueBstr::Copy(appGuid);
    hr = cache->DeleteMultiSourceFile(guid.get());
    ReportOutcome(hr);
    return hr;
}

HRESULT MultisourceGetInfo(std::wstring_view appGuid) {
    CacheObject cache(Closing::Uninitialize);
    HRESULT hr = Begin(cache, kGettingInfoProgress);
    if (FAILED(hr)) {
        return hr;
    }
    const UniqueBstr guid = UniqueBstr::Copy(appGuid);
    CVariantSafeArray info;
    hr = cache->GetMultiSourceFileInfo(guid.get(), info.Out());
    if (ReportOutcome(hr)) {
        PrintMultiSourceFileInfo(info);
    }
    return hr;
}

HRESULT MultisourceGetIdList(int32_t finishedOnly) {
    CacheObject cache(Closing::Uninitialize);
    HRESULT hr = Begin(cache, kGettingIdListProgress);
    if (FAILED(hr)) {
        return hr;
    }
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
