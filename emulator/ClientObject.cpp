#include "ClientObject.h"

namespace quillet::emulator {

ClientObject::ClientObject() : ServiceObject(IID_IStreamingClient, L"IStreamingClient") {}

HRESULT ClientObject::GetClientState(LONG* state) {
    if (state == nullptr) {
        return E_POINTER;
    }
    CallInfo call = Call(L"GetClientState");
    return Run(call, [&](ServiceModel& model) {
        *state = model.ClientState();
        return S_OK;
    });
}

HRESULT ClientObject::StartClient() {
    CallInfo call = Call(L"StartClient");
    return Run(call, [](ServiceModel& model) { return model.StartClient(); });
}

HRESULT ClientObject::StopClient() {
    CallInfo call = Call(L"StopClient");
    return Run(call, [](ServiceModel& model) { return model.StopClient(); });
}

HRESULT ClientObject::InitApplications() {
    CallInfo call = Call(L"InitApplications");
    return Run(call, [](ServiceModel& model) { return model.InitApplications(); });
}

HRESULT ClientObject::UninitApplications() {
    CallInfo call = Call(L"UninitApplications");
    return Run(call, [](ServiceModel& model) { return model.UninitApplications(); });
}

HRESULT ClientObject::IsUserAdministrator(VARIANT_BOOL* isAdmin) {
    if (isAdmin == nullptr) {
        return E_POINTER;
    }
    *isAdmin = VARIANT_FALSE;
    CallInfo call = Call(L"IsUserAdministrator");
    return Run(call, [&](ServiceModel& model) {
        const std::optional<bool>& configured = model.State().client.isAdmin;
        bool admin = configured ? *configured : CallerIsAdministrator();
        *isAdmin = admin ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    });
}

bool CallerIsAdministrator() {
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0,
                                  0, 0, 0, 0, &administrators)) {
        return false;
    }
    // The check runs on the caller's token where COM lets the server impersonate it, else on the server's.
    bool impersonating = SUCCEEDED(CoImpersonateClient());
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators, &member)) {
        member = FALSE;
    }
    if (impersonating) {
        CoRevertToSelf();
    }
    FreeSid(administrators);
    return member != FALSE;
}

} // namespace quillet::emulator
