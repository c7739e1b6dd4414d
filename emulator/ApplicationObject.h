#pragma once

#include "ServiceObject.h"
#include "StreamingService.h"

namespace quillet::emulator {

// IStreamingApplication: the applications and their state ladder.
class ApplicationObject final : public ServiceObject<IStreamingApplication> {
public:
    ApplicationObject();

    HRESULT STDMETHODCALLTYPE GetApplicationList(LONG filter, LONG* count, VARIANT* list) override;
    HRESULT STDMETHODCALLTYPE GetApplicationProperties(BSTR appGuid, LONG propertyMask,
                                                       VARIANT* properties) override;
    HRESULT STDMETHODCALLTYPE AddApplication(BSTR source, VARIANT_BOOL isUrl, BSTR* appName,
                                             BSTR* appGuid) override;
    HRESULT STDMETHODCALLTYPE RemoveApplication(BSTR appGuid) override;
    HRESULT STDMETHODCALLTYPE LoadApplication(BSTR appGuid) override;
    HRESULT STDMETHODCALLTYPE UnloadApplication(BSTR appGuid) override;
    HRESULT STDMETHODCALLTYPE MountApplication(BSTR appGuid) override;
    HRESULT STDMETHODCALLTYPE UnmountApplication(BSTR appGuid) override;
    HRESULT STDMETHODCALLTYPE StartApplication(BSTR appGuid) override;
    HRESULT STDMETHODCALLTYPE StopApplication(BSTR appGuid) override;
    HRESULT STDMETHODCALLTYPE StartApplicationInDesktop(BSTR appGuid, BSTR desktop) override;
    HRESULT STDMETHODCALLTYPE StartApplicationWithParameters(BSTR appGuid, BSTR parameters,
                                                             BSTR reserved) override;
    HRESULT STDMETHODCALLTYPE RunApplicationCommand(BSTR appGuid, BSTR exePath, BSTR workingDirectory,
                                                    BSTR parameters, BSTR reserved1, BSTR reserved2) override;

private:
    HRESULT Ladder(const wchar_t* method, LadderStep step, std::initializer_list<BSTR> arguments);
};

} // namespace quillet::emulator
