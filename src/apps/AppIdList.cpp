#include "AppIdList.h"

#include "ApplicationSession.h"
#include "ClientControl.h"
#include "output/Console.h"
#include "output/Trace.h"
#include "service/Bstr.h"
#include "service/VariantSafeArray.h"

namespace quillet {

namespace {

constexpr wchar_t kCreateFailedTrace[] = L"Failed to get Application List .\n";
constexpr wchar_t kListFailedTrace[] = L"Failed to call COM API to get Application List [%d].\n";
constexpr wchar_t kListHeader[] = L"\nAppIdList: \n";
constexpr wchar_t kListLine[] = L"%d - %s\n";

// Every application, whatever its state.
constexpr LONG kAllApplications = -1;

bool Fail(HRESULT hr, HRESULT* status) {
    if (status != nullptr) {
        *status = hr;
    }
    return false;
}

} // namespace

bool GetAppIdList(std::vector<std::wstring>& ids, HRESULT* status) {
    if (status != nullptr) {
        *status = S_OK;
    }
    if (!EnsureClientStarted()) {
        TracePrint(kCannotStartClientTrace);
        return Fail(E_FAIL, status);
    }
    CApplicationSession session;
    HRESULT hr = session.Create();
    if (FAILED(hr)) {
        TracePrint(kCreateFailedTrace);
        return Fail(hr, status);
    }
    hr = session.Initialize();
    if (FAILED(hr)) {
        return Fail(hr, status);
    }
    LONG count = 0;
    CVariantSafeArray reply;
    hr = session->GetApplicationList(kAllApplications, &count, reply.Out());
    if (FAILED(hr)) {
        TracePrint(kListFailedTrace, TraceCode(hr));
        return Fail(hr, status);
    }
    if (count <= 0) {
        return false;
    }
    reply.RequireArray();
    for (LONG index = 0; index < count; ++index) {
        VARIANT element;
        reply.GetElement(index, element);
        auto id = StringOf(element);
        // A list with an id that cannot be read is no list of the service's applications: acting on
        // the readable part would make "all" mean fewer than all.
        if (!id) {
            return Fail(DISP_E_TYPEMISMATCH, status);
        }
        ids.push_back(std::move(*id));
    }
    return true;
}

HRESULT PrintAppIdList() {
    std::vector<std::wstring> ids;
    HRESULT status = S_OK;
    if (!GetAppIdList(ids, &status)) {
        return status;
    }
    ConsolePrint(kListHeader);
    int number = 1;
    for (const std::wstring& id : ids) {
        ConsolePrint(kListLine, number++, id.c_str());
    }
    return S_OK;
}

} // namespace quillet
