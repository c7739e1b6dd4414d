#include "AppCommands.h"

#include "AppIdList.h"
#include "AppState.h"
#include "cli/ApplicationParser.h"
#include "cli/Executor.h"
#include "client/ClientControl.h"
#include "output/Console.h"
#include "output/Outcome.h"
#include "output/ServiceText.h"

#include <vector>

namespace quillet {

namespace {

constexpr wchar_t kAppDoesNotExistMessage[] = L"Error: application does not exist.\n";
// The stop command's text lacks a "to"; scripts match it as it is.
constexpr wchar_t kStopCannotStartClientMessage[] =
    L"Error: cannot start IStreamingClient execute application command.\n";
constexpr wchar_t kRemovingProgress[] = L"Removing application [%s]... ";
constexpr wchar_t kStartingProgress[] = L"Starting application [%s]... ";
constexpr wchar_t kStoppingProgress[] = L"Stopping application [%s]... ";
constexpr wchar_t kRunningCommandProgress[] = L"Running command for application [%s]... ";
constexpr wchar_t kNothingToRemoveMessage[] =
    L"Unable to remove applications, as there are no applications to remove.\n";
constexpr wchar_t kNothingToStopMessage[] =
    L"Unable to stop applications, as there are no applications to stop.\n";

// What distinguishes one single-application command from another.
struct AppCommand {
    const wchar_t* cannotStartClientMessage;
    const wchar_t* progress;
    uint32_t targetState;
    bool stepDown;
};

constexpr AppCommand kRemove{kCannotStartClientMessage, kRemovingProgress, APP_STATE_NONE, true};
constexpr AppCommand kStart{kCannotStartClientMessage, kStartingProgress, APP_STATE_RUNNING, false};
constexpr AppCommand kStop{kStopCannotStartClientMessage, kStoppingProgress, APP_STATE_MOUNTED, true};
constexpr AppCommand kRunCommand{kCannotStartClientMessage, kRunningCommandProgress, APP_STATE_MOUNTED,
                                 false};

HRESULT RunSingleAppCommand(const AppCommand& command, const std::wstring& appGuid, const std::wstring& text1,
                            const std::wstring& text2, const std::wstring& text3) {
    if (!EnsureClientStarted()) {
        ConsolePrint(command.cannotStartClientMessage);
        return E_FAIL;
    }
    if (QueryAppStatus(appGuid) == APP_STATE_NONE) {
        ConsolePrint(kAppDoesNotExistMessage);
        return E_FAIL;
    }
    // The progress text needs something to name the application by; the guid may come from the service.
    const std::wstring name = ServiceText(QueryAppName(appGuid).value_or(appGuid));
    ConsolePrint(command.progress, name.c_str());
    const HRESULT hr = ModifyAppState(appGuid, command.targetState, command.stepDown, text1, text2, text3);
    PrintOutcome(hr);
    return hr;
}

// remove all, stop all: every listed application in turn, up to the first failure.
HRESULT ForEveryApp(HRESULT (*operation)(const std::wstring&), const wchar_t* nothingToDoMessage) {
    std::vector<std::wstring> ids;
    if (!GetAppIdList(ids)) {
        ConsolePrint(nothingToDoMessage);
        return S_OK;
    }
    HRESULT hr = S_OK;
    for (const std::wstring& id : ids) {
        hr = operation(id);
        if (FAILED(hr)) {
            break;
        }
    }
    return hr;
}

} // namespace

HRESULT RemoveApp(const std::wstring& appGuid) {
    return RunSingleAppCommand(kRemove, appGuid, {}, {}, {});
}

HRESULT StartApp(const std::wstring& appGuid, const std::wstring& launchParameters) {
    return RunSingleAppCommand(kStart, appGuid, launchParameters, {}, {});
}

HRESULT StopApp(const std::wstring& appGuid) {
    return RunSingleAppCommand(kStop, appGuid, {}, {}, {});
}

HRESULT RunAppCommand(const std::wstring& appGuid, const std::wstring& executablePath,
                      const std::wstring& workingDirectory, const std::wstring& commandParameters) {
    return RunSingleAppCommand(kRunCommand, appGuid, executablePath, workingDirectory, commandParameters);
}

void SExecutor::ExecuteRemove(const SApplicationParser& parser) {
    m_result =
        parser.m_all != 0 ? ForEveryApp(RemoveApp, kNothingToRemoveMessage) : RemoveApp(parser.GetAppGuid());
}

void SExecutor::ExecuteStop(const SApplicationParser& parser) {
    m_result = parser.m_all != 0 ? ForEveryApp(StopApp, kNothingToStopMessage) : StopApp(parser.GetAppGuid());
}

void SExecutor::ExecuteRunCmd(const SApplicationParser& parser) {
    m_result = RunAppCommand(parser.GetAppGuid(), parser.GetExecutablePath(), parser.GetWorkingDirectory(),
                             parser.GetParameters());
}

} // namespace quillet
