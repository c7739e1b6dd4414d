#include "TypeLibrary.h"

#include "StreamingService.h"
#include "service/ComPtr.h"

#include <mutex>
#include <string>

namespace quillet::emulator {

namespace {

struct CachedInfo {
    const IID* iid;
    quillet::ComPtr<ITypeInfo> info;
};

CachedInfo g_cache[] = {
    {&IID_IStreamingApplication, {}},
    {&IID_IStreamingClient, {}},
    {&IID_IStreamingCache, {}},
};

} // namespace

HRESULT LoadServiceTypeLibrary(ITypeLib** library) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    }
    return LoadTypeLibEx(path, REGKIND_NONE, library);
}

ITypeInfo* ServiceTypeInfo(REFIID iid) {
    // The library is loaded once, by the first call that needs it.
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        quillet::ComPtr<ITypeLib> library;
        if (SUCCEEDED(LoadServiceTypeLibrary(library.put()))) {
            for (CachedInfo& entry : g_cache) {
                library->GetTypeInfoOfGuid(*entry.iid, entry.info.put());
            }
        }
    });
    for (CachedInfo& entry : g_cache) {
        if (IsEqualIID(*entry.iid, iid)) {
            return entry.info.get();
        }
    }
    return nullptr;
}

void ReleaseServiceTypeInfo() {
    for (CachedInfo& entry : g_cache) {
        entry.info.reset();
    }
}

} // namespace quillet::emulator
