#include "CacheClear.h"

#include "client/ClientControl.h"
#include "output/Console.h"
#include "output/Outcome.h"
#include "service/ServiceObject.h"

namespace quillet {

namespace {

// Punctuated differently from the text of the cache settings changes; scripts match both.
constexpr wchar_t kNotAdministratorMessage[] =
    L"Error: user is not an administrator. Operation cannot be executed.\n";
constexpr wchar_t kClearRefusedMessage[] =
    L"Invalid operation: Cannot clear cache while working offline or having running apps.\n";
constexpr wchar_t kClearedMessage[] = L"Cache successfully cleared!\n";

} // namespace

HRESULT CacheClear() {
    if (!QueryUserIsAdmin()) {
        ConsolePrint(kNotAdministratorMessage);
        return E_FAIL;
    }
    CacheObject cache(Closing::ReleaseOnly);
    HRESULT hr = cache.Open(ConsolePrint, kCoCreateInstanceFailedMessage, kCacheInitializeFailedMessage);
    if (SUCCEEDED(hr)) {
        hr = cache->ClearCache();
        ConsolePrint(FAILED(hr) ? kClearRefusedMessage : kClearedMessage);
    }
    return hr;
}

} // namespace quillet
