#include "Scenario.h"

#include "Emulator.h"
#include "win32/Utf8.h"

namespace quillet::testing {

using nlohmann::ordered_json;

Scenario& Scenario::Client(int state) {
    m_state["client"]["state"] = state;
    return *this;
}

Scenario& Scenario::Admin(bool isAdmin) {
    m_state["client"]["isAdmin"] = isAdmin;
    return *this;
}

Scenario& Scenario::App(std::wstring_view guid, std::wstring_view name, long long state,
                        const AppOptions& options) {
    m_state["applications"].push_back({{"guid", ToUtf8(guid)},
                                       {"name", ToUtf8(name)},
                                       {"state", state},
                                       {"stopPolls", options.stopPolls},
                                       {"requiresReboot", options.requiresReboot}});
    return *this;
}

Scenario& Scenario::Cache(std::wstring_view location, int sizeMB, int usedMB) {
    m_state["cache"] = {{"location", ToUtf8(location)}, {"sizeMB", sizeMB}, {"usedMB", usedMB}};
    return *this;
}

Scenario& Scenario::Multisource(std::wstring_view appGuid, std::wstring_view sourcePath,
                                std::wstring_view localPath, const ordered_json& more) {
    ordered_json entry = {
        {"appGuid", ToUtf8(appGuid)}, {"sourcePath", ToUtf8(sourcePath)}, {"localPath", ToUtf8(localPath)}};
    entry.update(more);
    m_state["multisource"].push_back(entry);
    return *this;
}

Scenario& Scenario::Fault(std::string_view method, DWORD hr, const FaultOptions& options) {
    m_state["faults"].push_back(
        {{"method", method},
         {"action", options.action},
         {"hr", hr},
         {"skip", options.skip},
         {"times", options.times},
         {"guid", options.guid.empty() ? ordered_json() : ordered_json(ToUtf8(options.guid))}});
    return *this;
}

Scenario& Scenario::Crash(std::string_view method, int skip) {
    // The dying emulator's exit code; the caller sees the broken call, never this.
    return Fault(method, 0x8000FFFF, {.skip = skip, .action = "crash"});
}

Scenario& Scenario::Reply(std::string_view method, std::string_view shape, int times) {
    m_state["replies"].push_back({{"method", method}, {"shape", shape}, {"times", times}});
    return *this;
}

void Scenario::Write() const {
    emulator::WriteScenario(m_state.dump());
}

} // namespace quillet::testing
