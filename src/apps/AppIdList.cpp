#include "AppIdList.h"

#include "client/ClientControl.h"
#include "output/Console.h"
#include "output/ServiceText.h"
#include "output/Trace.h"
#include "service/Bstr.h"
#include "service/ServiceContract.h"
#include "service/ServiceObject.h"
#include "service/VariantSafeArray.h"

namespace quillet {

namespace {

constexpr wchar_t kCreateFailedTrace[] = L"Failed to get Application List .\n";
constexpr wchar_t kListFailedTrace[] = L"Failed to call COM API to get Application List [%d].\n";
constexpr wchar_t kListHeader[] = L"\nAppIdList: \n";
constexpr wchar_t kListLine[] = L"%d - %s\n";

// Appends the ids that the service lists to ids. S_OK also for an empty list; otherwise the HRESULT of the
// failing step (E_FAIL when the client cannot be started, DISP_E_TYPEMISMATCH when an element holds no id).
HRESULT FetchAppIds(std::vector<std::wstring>& ids) {
    if (!EnsureClientStarted()) {
        TracePrint(kCannotStartClientTrace);
        return E_FAIL;
    }
    // Only a failed creation is traced.
    ApplicationObject app(Closing::Uninitialize);
    HRESULT hr = app.Open(TracePrint, kCreateFailedTrace);
    if (FAILED(hr)) {
        return hr;
    }
    LONG count = 0;
    CVariantSafeArray reply;
    hr = app->GetApplicationList(kAllApplications, &count, reply.Out());
    if (FAILED(hr)) {
        TracePrint(kListFailedTrace, TraceCode(hr));
        return hr;
    }
    if (count > 0) {
        reply.RequireArray();
    }
    for (LONG index = 0; index < count; ++index) {
        VARIANT element;
        reply.GetElement(index, element);
        auto id = StringOf(element);
        // A list with an id that cannot be read is no list of the service's applications: acting on
        // the readable part would make "all" mean fewer than all.
        if (!id) {
            return DISP_E_TYPEMISMATCH;
        }
        ids.push_back(std::move(*id));
    }
    return S_OK;
}

} // namespace

bool GetAppIdList(std::vector<std::wstring>& ids) {
    return SUCCEEDED(FetchAppIds(ids)) && !ids.empty();
}

HRESULT PrintAppIdList() {
    std::vector<std::wstring> ids;
    const HRESULT hr = FetchAppIds(ids);
    if (FAILED(hr) || ids.empty()) {
        return hr;
    }
    ConsolePrint(kListHeader);
    int number = 1;
    for (const std::wstring& id : ids) {
        ConsolePrint(kListLine, number++, ServiceText(id).c_str());
    }
    return S_OK;
}

} // namespace quillet
