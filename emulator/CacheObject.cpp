#include "CacheObject.h"

#include "LocalCopy.h"
#include "Refusals.h"

namespace quillet::emulator {

CacheObject::CacheObject() : ServiceObject(IID_IStreamingCache, L"IStreamingCache") {}

HRESULT CacheObject::GetCacheLocation(LONG reserved, VARIANT* settings) {
    return Query(L"GetCacheLocation", {reserved}, settings, [](ServiceModel& model, Reply& reply) {
        model.CacheSettingsReply(reply);
        return S_OK;
    });
}

HRESULT CacheObject::SetCacheSettings(VARIANT settings) {
    return Run(L"SetCacheSettings", {VariantArgument(settings)},
               [&](ServiceModel& model) { return model.SetCacheSettings(settings); });
}

HRESULT CacheObject::ClearCache() {
    return Run(L"ClearCache", {}, [](ServiceModel& model) { return model.ClearCache(); });
}

HRESULT CacheObject::AddMultiSourceFile(BSTR appGuid, BSTR sourcePath, BSTR destinationPath,
                                        VARIANT_BOOL overwriteExisting) {
    Arguments args = Strings({appGuid, sourcePath, destinationPath});
    args.push_back(overwriteExisting);
    // Outside the service's lock: a source on a share that does not answer holds up no other call.
    const MultisourceSource source = MultisourceSource::Look(TextOf(sourcePath));
    return Run(L"AddMultiSourceFile", std::move(args), [&](ServiceModel& model) {
        const auto planInto = [&](MultisourcePlan& plan) {
            return model.PlanMultisourceFile(TextOf(appGuid), source, TextOf(destinationPath),
                                             overwriteExisting != VARIANT_FALSE, plan);
        };
        MultisourcePlan plan;
        HRESULT hr = planInto(plan);
        if (plan.staleClaim) {
            model.DropClaim(plan.appGuid); // the file in the way is not the copy this entry made
        }
        if (FAILED(hr) || !plan.copy) {
            return SUCCEEDED(hr) ? model.AddMultisourceFile(plan, nullptr) : hr;
        }
        // The copy's file is recorded before any data goes into it, so that the next start after a crash
        // removes what it left.
        LocalCopy copy;
        FileIdentity file;
        hr = copy.Create(plan.localPath, file);
        if (SUCCEEDED(hr)) {
            model.Change().copiesInFlight.push_back({copy.TemporaryPath(), file, GetCurrentProcessId()});
            hr = Service::Instance().SaveNow();
        }
        if (FAILED(hr)) {
            return hr;
        }
        // The copy may take long: other clients are answered meanwhile. What it found may have changed
        // by then, so the request is checked again before the copy takes its place.
        hr = Service::Instance().Outside(
            [&](HANDLE stopping) { return copy.CopyFrom(plan.source, stopping); });
        // The record goes with the call's change; the copy, when it is not placed, with the object.
        std::erase_if(model.Change().copiesInFlight,
                      [&](const CopyInFlight& record) { return record.path == copy.TemporaryPath(); });
        MultisourcePlan again;
        if (SUCCEEDED(hr)) {
            hr = planInto(again);
        }
        if (SUCCEEDED(hr) && (!again.copy || again.localPath != plan.localPath)) {
            hr = kApplicationRunning; // the cache moved meanwhile
        }
        return SUCCEEDED(hr) ? model.AddMultisourceFile(again, &copy) : hr;
    });
}

HRESULT CacheObject::DeleteMultiSourceFile(BSTR appGuid) {
    return Run(L"DeleteMultiSourceFile", {BstrArgument(appGuid)},
               [&](ServiceModel& model) { return model.DeleteMultisourceFile(TextOf(appGuid)); });
}

HRESULT CacheObject::GetMultiSourceFileInfo(BSTR appGuid, VARIANT* info) {
    return Query(
        L"GetMultiSourceFileInfo", {BstrArgument(appGuid)}, info,
        [&](ServiceModel& model, Reply& reply) { return model.MultisourceFileInfo(TextOf(appGuid), reply); });
}

HRESULT CacheObject::GetMultiSourceFileIdList(VARIANT_BOOL finishedOnly, LONG* count, VARIANT* ids) {
    return List(L"GetMultiSourceFileIdList", {finishedOnly}, count, ids,
                [&](ServiceModel& model, Reply& reply) {
                    model.MultisourceFileIds(finishedOnly != VARIANT_FALSE, reply);
                    return S_OK;
                });
}

} // namespace quillet::emulator
