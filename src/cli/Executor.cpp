#include "Executor.h"

#include "ApplicationParser.h"
#include "CacheParser.h"
#include "ClientParser.h"
#include "Help.h"
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

} // namespace quillet
