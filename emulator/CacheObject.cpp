#include "CacheObject.h"

#include "LocalCopy.h"

namespace quillet::emulator {

CacheObject::CacheObject() : ServiceObject(IID_IStreamingCache, L"IStreamingCache") {}

HRESULT CacheObject::GetCacheLocation(LONG reserved, VARIANT* settings) {
    if (settings == nullptr) {
        return E_POINTER;
    }
    VariantInit(settings);
    CallInfo call = Call(L"GetCacheLocation");
    call.args.push_back(static_cast<long long>(reserved));
    ReplyTarget target{settings, nullptr, {}};
    return Run(
        call,
        [&](ServiceModel& model) {
            model.CacheSettingsReply(target.reply);
            return S_OK;
        },
        &target);
}

HRESULT CacheObject::SetCacheSettings(VARIANT settings) {
    CallInfo call = Call(L"SetCacheSettings");
    call.args.push_back(VariantArgument(settings));
    return Run(call, [&](ServiceModel& model) { return model.SetCacheSettings(settings); });
}

HRESULT CacheObject::ClearCache() {
    CallInfo call = Call(L"ClearCache");
    return Run(call, [](ServiceModel& model) { return model.ClearCache(); });
}

HRESULT CacheObject::AddMultiSourceFile(BSTR appGuid, BSTR sourcePath, BSTR destinationPath,
                                        VARIANT_BOOL overwriteExisting) {
    CallInfo call = Call(L"AddMultiSourceFile");
    call.args.push_back(BstrArgument(appGuid));
    call.args.push_back(BstrArgument(sourcePath));
    call.args.push_back(BstrArgument(destinationPath));
    call.args.push_back(static_cast<int>(overwriteExisting));
    return Run(call, [&](ServiceModel& model) {
        const bool overwrite = overwriteExisting != VARIANT_FALSE;
        MultisourcePlan plan;
        HRESULT hr = model.PlanMultisourceFile(TextOf(appGuid), TextOf(sourcePath), TextOf(destinationPath),
                                               overwrite, plan);
        if (FAILED(hr) || !plan.copy) {
            return SUCCEEDED(hr) ? model.AddMultisourceFile(plan, {}) : hr;
        }
        // The copy may take long: other clients are answered meanwhile. What it found may have changed
        // by then, so the request is checked again before the copy takes its place.
        std::wstring temporary;
        if (hr = Service::Instance().Outside(
                [&] { return CopyToTemporary(plan.source, plan.localPath, temporary); });
            FAILED(hr)) {
            DeleteFileW(temporary.c_str());
            return hr;
        }
        MultisourcePlan again;
        hr = model.PlanMultisourceFile(TextOf(appGuid), TextOf(sourcePath), TextOf(destinationPath),
                                       overwrite, again);
        if (SUCCEEDED(hr) && (!again.copy || again.localPath != plan.localPath)) {
            hr = kApplicationRunning; // the cache moved meanwhile
        }
        if (FAILED(hr)) {
            DeleteFileW(temporary.c_str());
            return hr;
        }
        return model.AddMultisourceFile(again, temporary);
    });
}

HRESULT CacheObject::DeleteMultiSourceFile(BSTR appGuid) {
    CallInfo call = Call(L"DeleteMultiSourceFile");
    call.args.push_back(BstrArgument(appGuid));
    return Run(call, [&](ServiceModel& model) { return model.DeleteMultisourceFile(TextOf(appGuid)); });
}

HRESULT CacheObject::GetMultiSourceFileInfo(BSTR appGuid, VARIANT* info) {
    if (info == nullptr) {
        return E_POINTER;
    }
    VariantInit(info);
    CallInfo call = Call(L"GetMultiSourceFileInfo");
    call.args.push_back(BstrArgument(appGuid));
    ReplyTarget target{info, nullptr, {}};
    return Run(
        call, [&](ServiceModel& model) { return model.MultisourceFileInfo(TextOf(appGuid), target.reply); },
        &target);
}

HRESULT CacheObject::GetMultiSourceFileIdList(VARIANT_BOOL finishedOnly, LONG* count, VARIANT* ids) {
    if (count == nullptr || ids == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    VariantInit(ids);
    CallInfo call = Call(L"GetMultiSourceFileIdList");
    call.args.push_back(static_cast<int>(finishedOnly));
    ReplyTarget target{ids, count, {}};
    return Run(
        call,
        [&](ServiceModel& model) {
            model.MultisourceFileIds(finishedOnly != VARIANT_FALSE, target.reply);
            return S_OK;
        },
        &target);
}

} // namespace quillet::emulator
