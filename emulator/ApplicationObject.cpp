#include "ApplicationObject.h"

#include "TokenSource.h"

namespace quillet::emulator {

ApplicationObject::ApplicationObject() : ServiceObject(IID_IStreamingApplication, L"IStreamingApplication") {}

HRESULT ApplicationObject::GetApplicationList(LONG filter, LONG* count, VARIANT* list) {
    return List(L"GetApplicationList", {filter}, count, list, [&](ServiceModel& model, Reply& reply) {
        model.ListApplications(filter, reply);
        return S_OK;
    });
}

HRESULT ApplicationObject::GetApplicationProperties(BSTR appGuid, LONG propertyMask, VARIANT* properties) {
    return Query(L"GetApplicationProperties", {BstrArgument(appGuid), propertyMask}, properties,
                 [&](ServiceModel& model, Reply& reply) {
                     return model.ApplicationProperties(TextOf(appGuid), propertyMask, reply);
                 });
}

HRESULT ApplicationObject::AddApplication(BSTR source, VARIANT_BOOL isUrl, BSTR* appName, BSTR* appGuid) {
    if (appName == nullptr || appGuid == nullptr) {
        return E_POINTER;
    }
    *appName = nullptr;
    *appGuid = nullptr;
    std::wstring name;
    std::wstring guid;
    const HRESULT hr = Run(L"AddApplication", {BstrArgument(source), isUrl}, [&](ServiceModel& model) {
        if (HRESULT checked = model.RequireInitializedApplications(); FAILED(checked)) {
            return checked;
        }
        // Reading and parsing the token may take long: other clients are answered meanwhile.
        Token token;
        HRESULT read = Service::Instance().Outside([&](HANDLE stopping) {
            std::string text;
            HRESULT fetched = isUrl != VARIANT_FALSE ? FetchToken(TextOf(source), text, stopping)
                                                     : ReadTokenFile(TextOf(source), text);
            return SUCCEEDED(fetched) ? ServiceModel::ParseToken(text, token) : fetched;
        });
        if (FAILED(read)) {
            return read;
        }
        name = token.name;
        return model.AddApplication(token, guid);
    });
    if (SUCCEEDED(hr)) {
        *appName = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
        *appGuid = SysAllocStringLen(guid.data(), static_cast<UINT>(guid.size()));
    }
    return hr;
}

// The guid comes first in arguments.
HRESULT ApplicationObject::Ladder(const wchar_t* method, LadderStep step,
                                  std::initializer_list<BSTR> arguments) {
    const BSTR appGuid = *arguments.begin();
    return Run(method, Strings(arguments),
               [&](ServiceModel& model) { return model.Step(TextOf(appGuid), step); });
}

HRESULT ApplicationObject::RemoveApplication(BSTR appGuid) {
    return Ladder(L"RemoveApplication", LadderStep::Remove, {appGuid});
}

HRESULT ApplicationObject::LoadApplication(BSTR appGuid) {
    return Ladder(L"LoadApplication", LadderStep::Load, {appGuid});
}

HRESULT ApplicationObject::UnloadApplication(BSTR appGuid) {
    return Ladder(L"UnloadApplication", LadderStep::Unload, {appGuid});
}

HRESULT ApplicationObject::MountApplication(BSTR appGuid) {
    return Ladder(L"MountApplication", LadderStep::Mount, {appGuid});
}

HRESULT ApplicationObject::UnmountApplication(BSTR appGuid) {
    return Ladder(L"UnmountApplication", LadderStep::Unmount, {appGuid});
}

HRESULT ApplicationObject::StartApplication(BSTR appGuid) {
    return Ladder(L"StartApplication", LadderStep::Start, {appGuid});
}

HRESULT ApplicationObject::StopApplication(BSTR appGuid) {
    return Ladder(L"StopApplication", LadderStep::Stop, {appGuid});
}

HRESULT ApplicationObject::StartApplicationInDesktop(BSTR appGuid, BSTR desktop) {
    return Ladder(L"StartApplicationInDesktop", LadderStep::Start, {appGuid, desktop});
}

HRESULT ApplicationObject::StartApplicationWithParameters(BSTR appGuid, BSTR parameters, BSTR reserved) {
    return Ladder(L"StartApplicationWithParameters", LadderStep::Start, {appGuid, parameters, reserved});
}

HRESULT ApplicationObject::RunApplicationCommand(BSTR appGuid, BSTR exePath, BSTR workingDirectory,
                                                 BSTR parameters, BSTR reserved1, BSTR reserved2) {
    return Run(L"RunApplicationCommand",
               Strings({appGuid, exePath, workingDirectory, parameters, reserved1, reserved2}),
               [&](ServiceModel& model) { return model.RunCommand(TextOf(appGuid), TextOf(exePath)); });
}

} // namespace quillet::emulator
