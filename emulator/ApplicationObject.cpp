#include "ApplicationObject.h"

#include "TokenSource.h"

namespace quillet::emulator {

ApplicationObject::ApplicationObject() : ServiceObject(IID_IStreamingApplication, L"IStreamingApplication") {}

HRESULT ApplicationObject::GetApplicationList(LONG filter, LONG* count, VARIANT* list) {
    if (count == nullptr || list == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    VariantInit(list);
    CallInfo call = Call(L"GetApplicationList");
    call.args.push_back(static_cast<long long>(filter));
    ReplyTarget target{list, count, {}};
    return Run(
        call,
        [&](ServiceModel& model) {
            model.ListApplications(filter, target.reply);
            return S_OK;
        },
        &target);
}

HRESULT ApplicationObject::GetApplicationProperties(BSTR appGuid, LONG propertyMask, VARIANT* properties) {
    if (properties == nullptr) {
        return E_POINTER;
    }
    VariantInit(properties);
    CallInfo call = Call(L"GetApplicationProperties");
    call.args.push_back(BstrArgument(appGuid));
    call.args.push_back(static_cast<long long>(propertyMask));
    ReplyTarget target{properties, nullptr, {}};
    return Run(
        call,
        [&](ServiceModel& model) {
            return model.ApplicationProperties(TextOf(appGuid), propertyMask, target.reply);
        },
        &target);
}

HRESULT ApplicationObject::AddApplication(BSTR source, VARIANT_BOOL isUrl, BSTR* appName, BSTR* appGuid) {
    if (appName == nullptr || appGuid == nullptr) {
        return E_POINTER;
    }
    *appName = nullptr;
    *appGuid = nullptr;
    CallInfo call = Call(L"AddApplication");
    call.args.push_back(BstrArgument(source));
    call.args.push_back(static_cast<int>(isUrl));
    std::wstring name;
    std::wstring guid;
    const HRESULT hr = Run(call, [&](ServiceModel& model) {
        if (HRESULT checked = model.RequireInitializedApplications(); FAILED(checked)) {
            return checked;
        }
        // Reading and parsing the token may take long: other clients are answered meanwhile.
        Token token;
        HRESULT read = Service::Instance().Outside([&] {
            std::string text;
            HRESULT fetched = isUrl != VARIANT_FALSE ? FetchToken(TextOf(source), text)
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

HRESULT ApplicationObject::Ladder(const wchar_t* method, BSTR appGuid, LadderStep step,
                                  std::initializer_list<BSTR> more) {
    CallInfo call = Call(method);
    call.args.push_back(BstrArgument(appGuid));
    for (BSTR argument : more) {
        call.args.push_back(BstrArgument(argument));
    }
    return Run(call, [&](ServiceModel& model) { return model.Step(TextOf(appGuid), step); });
}

HRESULT ApplicationObject::RemoveApplication(BSTR appGuid) {
    return Ladder(L"RemoveApplication", appGuid, LadderStep::Remove);
}

HRESULT ApplicationObject::LoadApplication(BSTR appGuid) {
    return Ladder(L"LoadApplication", appGuid, LadderStep::Load);
}

HRESULT ApplicationObject::UnloadApplication(BSTR appGuid) {
    return Ladder(L"UnloadApplication", appGuid, LadderStep::Unload);
}

HRESULT ApplicationObject::MountApplication(BSTR appGuid) {
    return Ladder(L"MountApplication", appGuid, LadderStep::Mount);
}

HRESULT ApplicationObject::UnmountApplication(BSTR appGuid) {
    return Ladder(L"UnmountApplication", appGuid, LadderStep::Unmount);
}

HRESULT ApplicationObject::StartApplication(BSTR appGuid) {
    return Ladder(L"StartApplication", appGuid, LadderStep::Start);
}

HRESULT ApplicationObject::StopApplication(BSTR appGuid) {
    return Ladder(L"StopApplication", appGuid, LadderStep::Stop);
}

HRESULT ApplicationObject::StartApplicationInDesktop(BSTR appGuid, BSTR desktop) {
    return Ladder(L"StartApplicationInDesktop", appGuid, LadderStep::Start, {desktop});
}

HRESULT ApplicationObject::StartApplicationWithParameters(BSTR appGuid, BSTR parameters, BSTR reserved) {
    return Ladder(L"StartApplicationWithParameters", appGuid, LadderStep::Start, {parameters, reserved});
}

HRESULT ApplicationObject::RunApplicationCommand(BSTR appGuid, BSTR exePath, BSTR workingDirectory,
                                                 BSTR parameters, BSTR reserved1, BSTR reserved2) {
    CallInfo call = Call(L"RunApplicationCommand");
    for (BSTR argument : {appGuid, exePath, workingDirectory, parameters, reserved1, reserved2}) {
        call.args.push_back(BstrArgument(argument));
    }
    return Run(call, [&](ServiceModel& model) { return model.RunCommand(TextOf(appGuid), TextOf(exePath)); });
}

} // namespace quillet::emulator
