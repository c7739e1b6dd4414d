#include "ClientObject.h"

namespace quillet::emulator {

ClientObject::ClientObject() : ServiceObject(IID_IStreamingClient, L"IStreamingClient") {}

HRESULT ClientObject::GetClientState(LONG* state) {
    if (state == nullptr) {
        return E_POINTER;
    }
    return Run(L"GetClientState", {}, [&](ServiceModel& model) {
        *state = model.ClientState();
        return S_OK;
    });
}

HRESULT ClientObject::StartClient() {
    return Run(L"StartClient", {}, [](ServiceModel& model) { return model.StartClient(); });
}

HRESULT ClientObject::StopClient() {
    return Run(L"StopClient", {}, [](ServiceModel& model) { return model.StopClient(); });
}

HRESULT ClientObject::InitApplications() {
    return Run(L"InitApplications", {}, [](ServiceModel& model) { return model.InitApplications(); });
}

HRESULT ClientObject::UninitApplications() {
    return Run(L"UninitApplications", {}, [](ServiceModel& model) { return model.UninitApplications(); });
}

HRESULT ClientObject::IsUserAdministrator(VARIANT_BOOL* isAdmin) {
    if (isAdmin == nullptr) {
        return E_POINTER;
    }
    *isAdmin = VARIANT_FALSE;
    return Run(L"IsUserAdministrator", {}, [&](ServiceModel& model) {
        const std::optional<bool>& configured = model.State().client.isAdmin;
        bool admin = configured ? *configured : CallerIsAdministrator();
        *isAdmin = admin ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

bool CallerIsAdministrator() {
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size)) {
        return false;
    }
    // The check runs on the caller's token where COM lets the server impersonate it, else on the server's.
    bool impersonating = SUCCEEDED(CoImpersonateClient());
    BOOL member = FALSE;
    const bool administrator = CheckTokenMembership(nullptr, administrators, &member) && member != FALSE;
    if (impersonating) {
        CoRevertToSelf();
    }
    return administrator;
}

} // namespace quillet::emulator
