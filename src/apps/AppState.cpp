#include "AppState.h"

#include "client/ClientControl.h"
#include "output/Console.h"
#include "output/Outcome.h"
#include "output/Trace.h"
#include "service/Bstr.h"
#include "service/ServiceObject.h"
#include "service/VariantSafeArray.h"

namespace quillet {

namespace {

constexpr wchar_t kQueryStatusTrace[] = L"Querying app =<%s> returns with status %d.";
constexpr wchar_t kInitializeFailedMessage[] = L"Error: failed to initialize IStreamingApplication object.\n";
constexpr wchar_t kStatusFailedTrace[] = L"Cannot obtain Application <%s> status from COM [%d].\n";
constexpr wchar_t kLoadFailedTrace[] = L"Failed to load Application <%s> [%d].\n";
constexpr wchar_t kMountFailedTrace[] = L"Failed to mount Application <%s> [%d].\n";
constexpr wchar_t kRunCommandFailedTrace[] = L"Failed to run command on Application <%s> with exe path <%s>, "
                                             L"working dir <%s>, parameters <%s> [%d].\n";
constexpr wchar_t kStartWithParametersFailedTrace[] =
    L"Failed to start Application <%s> with parameters <%s> [%d].\n";
constexpr wchar_t kStartFailedTrace[] = L"Failed to start Application <%s> [%d].\n";
constexpr wchar_t kStopFailedTrace[] = L"Failed to stop Application <%s> [%d].\n";
constexpr wchar_t kUnmountFailedTrace[] = L"Failed to unmount Application <%s> [%d].\n";
constexpr wchar_t kUnloadFailedTrace[] = L"Failed to unload Application <%s> [%d].\n";
constexpr wchar_t kRemoveFailedTrace[] = L"Failed to remove Application <%s> [%d].\n";
constexpr wchar_t kModifiedTrace[] = L"Modifying app =<%s> from [%d] to [%d] succeeded.\n";

// The stop wait: the service may take a while to bring a running application down.
constexpr int kStopWaitPasses = 10;
constexpr DWORD kStopWaitPauseMs = 500;

// Asks for one property; false when the object cannot be opened or the query fails.
bool QueryProperty(const std::wstring& appId, LONG mask, CVariantSafeArray& reply) {
    ApplicationObject app(Closing::Uninitialize);
    return SUCCEEDED(app.Open()) &&
           SUCCEEDED(app->GetApplicationProperties(UniqueBstr::Copy(appId).get(), mask, reply.Out()));
}

} // namespace

LONG QueryAppStatus(const std::wstring& appId) {
    CVariantSafeArray reply;
    if (!QueryProperty(appId, APP_PROPERTY_STATE, reply)) {
        return APP_STATE_NONE;
    }
    reply.RequireArray();
    VARIANT element;
    reply.GetElement(kStateElement, element);
    const LONG state = element.lVal;
    TracePrint(kQueryStatusTrace, appId.c_str(), state);
    return state;
}

std::optional<std::wstring> QueryAppName(const std::wstring& appId) {
    CVariantSafeArray reply;
    if (!QueryProperty(appId, APP_PROPERTY_NAME, reply)) {
        return std::nullopt;
    }
    reply.RequireArray();
    VARIANT element;
    reply.GetElement(kNameElement, element);
    return StringOf(element);
}

HRESULT ModifyAppState(const std::wstring& appId, uint32_t targetState, bool stepDown,
                       const std::wstring& text1, const std::wstring& text2, const std::wstring& text3) {
    if (targetState == 0 && !stepDown) {
        return S_OK;
    }
    if (!EnsureClientStarted()) {
        ConsolePrint(kCannotStartClientMessage);
        return E_FAIL;
    }
    ApplicationObject app(Closing::Uninitialize);
    HRESULT hr = app.Open(ConsolePrint, kCoCreateInstanceFailedMessage, kInitializeFailedMessage);
    if (FAILED(hr)) {
        return hr;
    }

    const wchar_t* id = appId.c_str();
    // Each call gets its own BSTR, made just before it and freed right after it.
    const auto bstr = [](const std::wstring& text) { return UniqueBstr::Copy(text); };
    const std::wstring kNoText;
    // Keeps the result of a step's call; a failure is traced with the id and ends the ladder.
    const auto failed = [&](HRESULT result, const wchar_t* trace) {
        hr = result;
        if (FAILED(hr)) {
            TracePrint(trace, id, TraceCode(hr));
        }
        return FAILED(hr);
    };

    // The state is read once; every step below decides on this value, even after earlier steps have
    // changed the real state.
    LONG current = APP_STATE_NONE;
    {
        CVariantSafeArray reply;
        if (failed(app->GetApplicationProperties(bstr(appId).get(), APP_PROPERTY_STATE, reply.Out()),
                   kStatusFailedTrace)) {
            return hr;
        }
        reply.RequireArray();
        VARIANT element;
        reply.GetElement(kStateElement, element);
        current = element.lVal;
    }
    const auto below = [&](LONG threshold) { return current < threshold; };
    const auto targetAtLeast = [&](LONG threshold) {
        return targetState >= static_cast<uint32_t>(threshold);
    };

    if (below(APP_STATE_LOADED) && targetAtLeast(APP_STATE_LOADED) &&
        failed(app->LoadApplication(bstr(appId).get()), kLoadFailedTrace)) {
        return hr;
    }
    if (targetAtLeast(APP_STATE_MOUNTED) && below(APP_STATE_MOUNTED) &&
        failed(app->MountApplication(bstr(appId).get()), kMountFailedTrace)) {
        return hr;
    }
    if (targetState == static_cast<uint32_t>(APP_STATE_MOUNTED) && !text1.empty()) {
        hr = app->RunApplicationCommand(bstr(appId).get(), bstr(text1).get(), bstr(text2).get(),
                                        bstr(text3).get(), bstr(kNoText).get(), bstr(kNoText).get());
        if (FAILED(hr)) {
            TracePrint(kRunCommandFailedTrace, id, text1.c_str(), text2.c_str(), text3.c_str(),
                       TraceCode(hr));
            return hr;
        }
    }
    // A running application is started again.
    if (current <= APP_STATE_RUNNING && targetAtLeast(APP_STATE_RUNNING)) {
        if (!text1.empty()) {
            hr = app->StartApplicationWithParameters(bstr(appId).get(), bstr(text1).get(),
                                                     bstr(kNoText).get());
            if (FAILED(hr)) {
                TracePrint(kStartWithParametersFailedTrace, id, text1.c_str(), TraceCode(hr));
                return hr;
            }
        } else if (failed(app->StartApplication(bstr(appId).get()), kStartFailedTrace)) {
            return hr;
        }
    }
    if (stepDown) {
        if (current == APP_STATE_RUNNING && !targetAtLeast(APP_STATE_RUNNING)) {
            if (failed(app->StopApplication(bstr(appId).get()), kStopFailedTrace)) {
                return hr;
            }
            // A stop that is still under way after the last pass is no failure: the steps below go on.
            for (int pass = 0; pass < kStopWaitPasses; ++pass) {
                if (QueryAppStatus(appId) != APP_STATE_RUNNING) {
                    break;
                }
                static_cast<void>(app->StopApplication(bstr(appId).get()));
                Sleep(kStopWaitPauseMs);
            }
        }
        if (!below(APP_STATE_MOUNTED) && !targetAtLeast(APP_STATE_MOUNTED) &&
            failed(app->UnmountApplication(bstr(appId).get()), kUnmountFailedTrace)) {
            return hr;
        }
        if (!below(APP_STATE_LOADED) && !targetAtLeast(APP_STATE_LOADED) &&
            failed(app->UnloadApplication(bstr(appId).get()), kUnloadFailedTrace)) {
            return hr;
        }
        if (!below(APP_STATE_ADDED) && targetState == 0 &&
            failed(app->RemoveApplication(bstr(appId).get()), kRemoveFailedTrace)) {
            return hr;
        }
    }
    TracePrint(kModifiedTrace, id, current, static_cast<int>(targetState));
    return hr;
}

} // namespace quillet
