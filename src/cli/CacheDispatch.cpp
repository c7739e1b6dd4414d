#include "CacheParser.h"
#include "Executor.h"

#include "apps/ClientControl.h"
#include "cache/CacheService.h"
#include "cache/CacheSettings.h"
#include "cache/Multisource.h"
#include "output/Console.h"

namespace quillet {

namespace {

// Punctuated differently from the text of the cache settings changes; scripts match both.
constexpr wchar_t kNotAdministratorMessage[] =
    L"Error: user is not an administrator. Operation cannot be executed.\n";
constexpr wchar_t kClearRefusedMessage[] =
    L"Invalid operation: Cannot clear cache while working offline or having running apps.\n";
constexpr wchar_t kClearedMessage[] = L"Cache successfully cleared!\n";

HRESULT RunMultisource(const MultisourceParams& params) {
    switch (params.operation) {
    case MS_ADD:
        return MultisourceAdd(params.appGuid, params.sourcePath, params.destinationPath, params.flag);
    case MS_DELETE:
        return MultisourceDelete(params.appGuid);
    case MS_GET_INFO:
        return MultisourceGetInfo(params.appGuid);
    case MS_GET_ID_LIST:
        return MultisourceGetIdList(params.flag);
    default:
        // The parser accepts no other operation.
        return E_UNEXPECTED;
    }
}

} // namespace

void SExecutor::RunCacheCommand(const SCacheParser& parser) {
    switch (parser.m_command) {
    case CMD_CACHE_SIZE:
        m_result = parser.m_hasValue != 0 ? ChangeCacheSize(parser.m_size) : ShowCacheSize();
        break;
    case CMD_CACHE_LOCATION:
        m_result = parser.m_hasValue != 0 ? ChangeCacheLocation(parser.m_location) : ShowCacheLocation();
        break;
    case CMD_CACHE_CLEAR:
        ExecuteCacheClear();
        break;
    case CMD_CACHE_MULTISOURCE:
        m_result = RunMultisource(parser.m_multisource);
        break;
    default:
        // The parser accepts no other command.
        m_result = E_UNEXPECTED;
        break;
    }
}

void SExecutor::ExecuteCacheClear() {
    if (!QueryUserIsAdmin()) {
        ConsolePrint(kNotAdministratorMessage);
        m_result = E_FAIL;
        return;
    }
    ComPtr<IStreamingCache> cache;
    HRESULT hr = OpenCacheService(cache);
    if (SUCCEEDED(hr)) {
        hr = cache->ClearCache();
        ConsolePrint(FAILED(hr) ? kClearRefusedMessage : kClearedMessage);
    }
    m_result = hr;
}

} // namespace quillet
