#include "CacheSettings.h"

#include "CacheService.h"
#include "apps/ClientControl.h"
#include "output/Console.h"
#include "output/Outcome.h"
#include "service/Bstr.h"
#include "service/ReplyText.h"

namespace quillet {

namespace {

constexpr wchar_t kNotAdministratorMessage[] =
    L"Error: user is not an administrator, operation cannot be executed.\n";
constexpr wchar_t kGetCacheLocationFailedMessage[] =
    L"Error: call to IStreamingCache::GetCacheLocation() failed.\n";
constexpr wchar_t kChangingSizeProgress[] = L"Changing cache size... ";
constexpr wchar_t kChangingLocationProgress[] = L"Changing cache location... ";
constexpr wchar_t kSizeFormat[] = L"%ld\n";
constexpr wchar_t kLocationFormat[] = L"%s\n";

// Positions in the settings array that the service hands out and takes back whole.
constexpr LONG kLocationInitialElement = 2;
constexpr LONG kLocationElement = 3;
constexpr LONG kSizeElement = 4;

// Opens the cache object and reads the settings array. A failure is printed and its HRESULT returned;
// otherwise the result is that of GetCacheLocation, with cache and settings ready.
HRESULT ReadSettings(ComPtr<IStreamingCache>& cache, CVariantSafeArray& settings) {
    HRESULT hr = OpenCacheService(cache);
    if (FAILED(hr)) {
        return hr;
    }
    hr = cache->GetCacheLocation(0, settings.Out());
    if (FAILED(hr)) {
        ConsolePrint(kGetCacheLocationFailedMessage);
        return hr;
    }
    settings.RequireArray();
    return hr;
}

// Hands the whole array back and completes the progress line with the outcome.
HRESULT WriteSettings(IStreamingCache& cache, const CVariantSafeArray& settings) {
    const HRESULT hr = cache.SetCacheSettings(settings.ByValue());
    PrintOutcome(hr);
    return hr;
}

} // namespace

HRESULT ShowCacheSize() {
    ComPtr<IStreamingCache> cache;
    CVariantSafeArray settings;
    const HRESULT hr = ReadSettings(cache, settings);
    if (FAILED(hr)) {
        return hr;
    }
    VARIANT size;
    settings.GetElement(kSizeElement, size);
    ConsolePrint(kSizeFormat, size.lVal);
    return hr;
}

HRESULT ShowCacheLocation() {
    ComPtr<IStreamingCache> cache;
    CVariantSafeArray settings;
    const HRESULT hr = ReadSettings(cache, settings);
    if (FAILED(hr)) {
        return hr;
    }
    CReplyText text(settings);
    ConsolePrint(kLocationFormat, text.At(kLocationElement).c_str());
    text.RequireAllRead();
    return hr;
}

HRESULT ChangeCacheSize(int32_t sizeMB) {
    if (!QueryUserIsAdmin()) {
        ConsolePrint(kNotAdministratorMessage);
        return E_FAIL;
    }
    ComPtr<IStreamingCache> cache;
    CVariantSafeArray settings;
    const HRESULT hr = ReadSettings(cache, settings);
    if (FAILED(hr)) {
        return hr;
    }
    ConsolePrint(kChangingSizeProgress);
    VARIANT size;
    VariantInit(&size);
    size.vt = VT_I4;
    size.lVal = sizeMB;
    settings.PutElement(kSizeElement, size);
    return WriteSettings(*cache, settings);
}

HRESULT ChangeCacheLocation(std::wstring_view path) {
    if (!QueryUserIsAdmin()) {
        ConsolePrint(kNotAdministratorMessage);
        return E_FAIL;
    }
    ComPtr<IStreamingCache> cache;
    CVariantSafeArray settings;
    const HRESULT hr = ReadSettings(cache, settings);
    if (FAILED(hr)) {
        return hr;
    }
    ConsolePrint(kChangingLocationProgress);
    // Element 2 mirrors the location's first character (its drive letter) and goes in before the location
    // itself; only the low 8 bits of that character fit.
    VARIANT initial;
    VariantInit(&initial);
    initial.vt = VT_I1;
    initial.cVal = static_cast<CHAR>(path.empty() ? 0 : (path.front() & 0xFF));
    settings.PutElement(kLocationInitialElement, initial);

    const UniqueBstr location = UniqueBstr::Copy(path);
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = location.get();
    // The array keeps a copy of its own; ours is freed when location goes.
    settings.PutElement(kLocationElement, text);
    return WriteSettings(*cache, settings);
}

} // namespace quillet
