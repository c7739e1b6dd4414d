#include "CacheSettings.h"

#include "client/ClientControl.h"
#include "output/Console.h"
#include "output/Outcome.h"
#include "service/Bstr.h"
#include "service/ReplyText.h"
#include "service/ServiceContract.h"
#include "service/ServiceObject.h"

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

// Opens the cache object, reads the settings array and hands both to use, whose result is returned with
// GetCacheLocation's HRESULT as its last argument. A failure on the way is printed and its HRESULT returned.
template <class Use> HRESULT WithSettings(Use use) {
    CacheObject cache(Closing::ReleaseOnly);
    CVariantSafeArray settings;
    HRESULT hr = cache.Open(ConsolePrint, kCoCreateInstanceFailedMessage, kCacheInitializeFailedMessage);
    if (FAILED(hr)) {
        return hr;
    }
    hr = cache->GetCacheLocation(0, settings.Out());
    if (FAILED(hr)) {
        ConsolePrint(kGetCacheLocationFailedMessage);
        return hr;
    }
    settings.RequireArray();
    return use(cache, settings, hr);
}

// For administrators only: announces the change once the settings are read, makes it, hands the whole
// array back and completes the progress line with the outcome.
template <class Change> HRESULT ChangeSettings(const wchar_t* progress, Change change) {
    if (!QueryUserIsAdmin()) {
        ConsolePrint(kNotAdministratorMessage);
        return E_FAIL;
    }
    return WithSettings([&](CacheObject& cache, CVariantSafeArray& settings, HRESULT) {
        ConsolePrint(progress);
        change(settings);
        const HRESULT hr = cache->SetCacheSettings(settings.ByValue());
        PrintOutcome(hr);
        return hr;
    });
}

} // namespace

HRESULT ShowCacheSize() {
    return WithSettings([](CacheObject&, CVariantSafeArray& settings, HRESULT hr) {
        VARIANT size;
        settings.GetElement(kCacheSizeElement, size);
        ConsolePrint(kSizeFormat, size.lVal);
        return hr;
    });
}

HRESULT ShowCacheLocation() {
    return WithSettings([](CacheObject&, CVariantSafeArray& settings, HRESULT hr) {
        CReplyText text(settings);
        ConsolePrint(kLocationFormat, text.At(kCacheLocationElement).c_str());
        text.RequireAllRead();
        return hr;
    });
}

HRESULT ChangeCacheSize(int32_t sizeMB) {
    return ChangeSettings(kChangingSizeProgress, [&](CVariantSafeArray& settings) {
        VARIANT size;
        VariantInit(&size);
        size.vt = VT_I4;
        size.lVal = sizeMB;
        settings.PutElement(kCacheSizeElement, size);
    });
}

HRESULT ChangeCacheLocation(std::wstring_view path) {
    return ChangeSettings(kChangingLocationProgress, [&](CVariantSafeArray& settings) {
        // Element 2 mirrors the location's first character (its drive letter) and goes in before the
        // location itself; only the low 8 bits of that character fit.
        VARIANT initial;
        VariantInit(&initial);
        initial.vt = VT_I1;
        initial.cVal = static_cast<CHAR>(path.empty() ? 0 : (path.front() & 0xFF));
        settings.PutElement(kCacheLocationInitialElement, initial);

        const UniqueBstr location = UniqueBstr::Copy(path);
        VARIANT text;
        VariantInit(&text);
        text.vt = VT_BSTR;
        text.bstrVal = location.get();
        // The array keeps a copy of its own; ours is freed when location goes.
        settings.PutElement(kCacheLocationElement, text);
    });
}

} // namespace quillet
