#include "Executor.h"

#include "ApplicationParser.h"
#include "CacheParser.h"
#include "ClientParser.h"
#include "Help.h"
#include "apps/AddApp.h"
#include "apps/AppCommands.h"
#include "apps/AppIdList.h"
#include "cache/CacheClear.h"
#include "cache/CacheSettings.h"
#include "cache/Multisource.h"
#include "client/ClientCommands.h"
#include "output/Console.h"

#include <objbase.h>

namespace quillet {

namespace {

// Leaves the apartment on every path out of Execute, an exception included.
class ApartmentScope {
public:
    ApartmentScope() = default;
    ApartmentScope(const ApartmentScope&) = delete;
    ApartmentScope& operator=(const ApartmentScope&) = delete;
    ~ApartmentScope() { CoUninitialize(); }
};

HRESULT RunMultisource(const MultisourceParams& params) {
    switch (params.operation) {
    case MS_ADD:
        return MultisourceAdd(params.appGuid, params.sourcePath, params.destinationPath, params.flag);
    case MS_DELETE:
        return MultisourceDelete(params.appGuid);
    case MS_GET_INFO:
        return MultisourceGetInfo(params.appGuid);
    case MS_GET_ID_LIST:
        return MultisourceGetIdList(params.flag);
    default:
        // The parser accepts no other operation.
        return E_UNEXPECTED;
    }
}

} // namespace

HRESULT SExecutor::Execute(int count, const wchar_t* const* args) {
    // S_FALSE (the thread is in this apartment already) is success; another apartment is not.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return kComUnavailableExitCode;
    }
    const ApartmentScope apartment;

    if (!Parse(count, args)) {
        return E_INVALIDARG;
    }
    if (m_component == COMPONENT_HELP) {
        PrintHelp();
        return S_OK;
    }
    if (count <= 1 || args[1] == nullptr) {
        ConsolePrint(kIncorrectNumberMessage);
        return E_INVALIDARG;
    }

    // The command parser's entry 0 is the command word; its count includes it.
    const int commandCount = count - 1;
    const wchar_t* const* commandArgs = args + 1;
    switch (m_component) {
    case COMPONENT_APPLICATION: {
        SApplicationParser parser;
        if (!parser.Parse(commandCount, commandArgs)) {
            return E_INVALIDARG;
        }
        RunApplicationCommand(parser);
        break;
    }
    case COMPONENT_CACHE: {
        SCacheParser parser;
        if (!parser.Parse(commandCount, commandArgs)) {
            return E_INVALIDARG;
        }
        RunCacheCommand(parser);
        break;
    }
    case COMPONENT_CLIENT: {
        SClientParser parser;
        if (!parser.Parse(commandCount, commandArgs)) {
            return E_INVALIDARG;
        }
        RunClientCommand(parser);
        break;
    }
    default:
        return E_INVALIDARG;
    }
    return m_result;
}

void SExecutor::RunApplicationCommand(const SApplicationParser& parser) {
    switch (parser.m_command) {
    case CMD_APP_ADD:
        m_result = AddApp(parser.GetTokenSource(), parser.m_isUrl != 0 ? VARIANT_TRUE : VARIANT_FALSE);
        break;
    case CMD_APP_REMOVE:
        ExecuteRemove(parser);
        break;
    case CMD_APP_START:
        m_result = StartApp(parser.GetAppGuid(), parser.GetParameters());
        break;
    case CMD_APP_RUN_CMD:
        ExecuteRunCmd(parser);
        break;
    case CMD_APP_STOP:
        ExecuteStop(parser);
        break;
    case CMD_APP_GET_ID_LIST:
        m_result = PrintAppIdList();
        break;
    default:
        // A parser that accepted the words always names one of the commands above.
        m_result = E_UNEXPECTED;
        break;
    }
}

void SExecutor::RunCacheCommand(const SCacheParser& parser) {
    switch (parser.m_command) {
    case CMD_CACHE_SIZE:
        m_result = parser.m_hasValue != 0 ? ChangeCacheSize(parser.m_size) : ShowCacheSize();
        break;
    case CMD_CACHE_LOCATION:
        m_result = parser.m_hasValue != 0 ? ChangeCacheLocation(parser.m_location) : ShowCacheLocation();
        break;
    case CMD_CACHE_CLEAR:
        m_result = CacheClear();
        break;
    case CMD_CACHE_MULTISOURCE:
        m_result = RunMultisource(parser.m_multisource);
        break;
    default:
        // The parser accepts no other command.
        m_result = E_UNEXPECTED;
        break;
    }
}

void SExecutor::RunClientCommand(const SClientParser& parser) {
    switch (parser.m_command) {
    case CMD_CLIENT_START:
        m_result = ClientStart();
        break;
    case CMD_CLIENT_STOP:
        m_result = ClientStop();
        break;
    default:
        // The parser accepts no other command.
        m_result = E_UNEXPECTED;
        break;
    }
}

} // namespace quillet
