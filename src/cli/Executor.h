#pragma once

#include "ComponentParser.h"

namespace quillet {

class SApplicationParser;
class SCacheParser;
class SClientParser;

// Exit code when the COM apartment cannot be entered.
inline constexpr HRESULT kComUnavailableExitCode = 1603;

// Runs one command line: enters the apartment, selects the component, lets its parser read the command
// and runs it. The executor is its own component parser.
class SExecutor : public SComponentParser {
public:
    // Returns the exit code: 0, 1603, E_INVALIDARG for a wrong command line, or the command's status.
    HRESULT Execute(int count, const wchar_t* const* args);

    // Application commands that take the parsed command line and store their status in m_result.
    void ExecuteRemove(const SApplicationParser& parser);
    void ExecuteStop(const SApplicationParser& parser);
    void ExecuteRunCmd(const SApplicationParser& parser);

    HRESULT m_result = S_OK;

private:
    // Each runs the command that the component's parser recognised and stores its status in m_result.
    void RunApplicationCommand(const SApplicationParser& parser);
    void RunCacheCommand(const SCacheParser& parser);
    void RunClientCommand(const SClientParser& parser);
};

} // namespace quillet
