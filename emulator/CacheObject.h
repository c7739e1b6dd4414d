#pragma once

#include "ServiceObject.h"
#include "StreamingService.h"

namespace quillet::emulator {

// IStreamingCache: cache settings, cache clearing and the multisource files.
class CacheObject final : public ServiceObject<IStreamingCache> {
public:
    CacheObject();

    HRESULT STDMETHODCALLTYPE GetCacheLocation(LONG reserved, VARIANT* settings) override;
    HRESULT STDMETHODCALLTYPE SetCacheSettings(VARIANT settings) override;
    HRESULT STDMETHODCALLTYPE ClearCache() override;
    HRESULT STDMETHODCALLTYPE AddMultiSourceFile(BSTR appGuid, BSTR sourcePath, BSTR destinationPath,
                                                 VARIANT_BOOL overwriteExisting) override;
    HRESULT STDMETHODCALLTYPE DeleteMultiSourceFile(BSTR appGuid) override;
    HRESULT STDMETHODCALLTYPE GetMultiSourceFileInfo(BSTR appGuid, VARIANT* info) override;
    HRESULT STDMETHODCALLTYPE GetMultiSourceFileIdList(VARIANT_BOOL finishedOnly, LONG* count,
                                                       VARIANT* ids) override;
};

} // namespace quillet::emulator
