#include "AddApp.h"

#include "AppState.h"
#include "client/ClientControl.h"
#include "output/Console.h"
#include "output/ServiceText.h"
#include "service/Bstr.h"
#include "service/ServiceObject.h"
#include "service/VariantSafeArray.h"

namespace quillet {

namespace {

constexpr wchar_t kCreateFailedMessage[] = L"Error calling CoCreateInstance().\n";
constexpr wchar_t kInitializeFailedMessage[] = L"Error initializing IStreamingApplication object.\n";
constexpr wchar_t kAddingProgress[] = L"Adding application... ";
constexpr wchar_t kAddFailedMessage[] = L"Failed\n";
constexpr wchar_t kAddSucceededMessage[] = L"Success";
constexpr wchar_t kRequiresRebootMessage[] = L" (Requires Reboot)";
constexpr wchar_t kEndOfSuccessLine[] = L".\n";
constexpr wchar_t kAddedApplicationLines[] = L"AppName: [%s]\nAppGuid: [%s]\n";

} // namespace

HRESULT AddApp(const std::wstring& tokenSource, VARIANT_BOOL isUrl) {
    if (!EnsureClientStarted()) {
        ConsolePrint(kCannotStartClientMessage);
        return E_FAIL;
    }
    ApplicationObject app(Closing::Uninitialize);
    HRESULT hr = app.Open(ConsolePrint, kCreateFailedMessage, kInitializeFailedMessage);
    if (FAILED(hr)) {
        return hr;
    }

    ConsolePrint(kAddingProgress);
    UniqueBstr name;
    UniqueBstr guid;
    hr = app->AddApplication(UniqueBstr::Copy(tokenSource).get(), isUrl, name.put(), guid.put());
    if (FAILED(hr)) {
        ConsolePrint(kAddFailedMessage);
        return hr;
    }
    ConsolePrint(kAddSucceededMessage);

    CVariantSafeArray reply;
    hr = app->GetApplicationProperties(guid.get(), APP_PROPERTY_REQUIRES_REBOOT, reply.Out());
    if (SUCCEEDED(hr)) {
        reply.RequireArray();
        VARIANT element;
        reply.GetElement(kRequiresRebootElement, element);
        // Only VARIANT_TRUE itself means a reboot; any other nonzero value is no answer.
        if (element.boolVal == VARIANT_TRUE) {
            ConsolePrint(kRequiresRebootMessage);
        }
    }
    ConsolePrint(kEndOfSuccessLine);
    ConsolePrint(kAddedApplicationLines, ServiceText(name.Text().value_or(std::wstring())).c_str(),
                 ServiceText(guid.Text().value_or(std::wstring())).c_str());
    return hr;
}

} // namespace quillet
