#pragma once

#include "ServiceObject.h"
#include "StreamingService.h"

namespace quillet::emulator {

// IStreamingClient: the streaming client's state and the administrator query.
class ClientObject final : public ServiceObject<IStreamingClient> {
public:
    ClientObject();

    HRESULT STDMETHODCALLTYPE GetClientState(LONG* state) override;
    HRESULT STDMETHODCALLTYPE StartClient() override;
    HRESULT STDMETHODCALLTYPE StopClient() override;
    HRESULT STDMETHODCALLTYPE InitApplications() override;
    HRESULT STDMETHODCALLTYPE UninitApplications() override;
    HRESULT STDMETHODCALLTYPE IsUserAdministrator(VARIANT_BOOL* isAdmin) override;
};

// Whether the user on whose behalf the current call runs is an administrator.
bool CallerIsAdministrator();

} // namespace quillet::emulator
