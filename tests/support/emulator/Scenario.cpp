#include "Scenario.h"

#include "EmulatorControl.h"
#include "win32/Utf8.h"

#include <cstdio>

namespace quillet::testing {

Scenario& Scenario::Client(int state) {
    m_client["state"] = state;
    return *this;
}

Scenario& Scenario::Admin(bool isAdmin) {
    m_client["isAdmin"] = isAdmin;
    return *this;
}

Scenario& Scenario::App(std::wstring_view guid, std::string_view name, long long state, int stopPolls,
                        bool requiresReboot) {
    m_applications.push_back({{"guid", ToUtf8(guid)},
                              {"name", name},
                              {"state", state},
                              {"stopPolls", stopPolls},
                              {"requiresReboot", requiresReboot}});
    return *this;
}

Scenario& Scenario::App(std::wstring_view guid, std::wstring_view name, long long state) {
    return App(guid, ToUtf8(name), state);
}

Scenario& Scenario::Cache(std::wstring_view location, int sizeMB) {
    m_cache = {{"location", ToUtf8(location)}, {"sizeMB", sizeMB}};
    return *this;
}

Scenario& Scenario::Multisource(std::wstring_view appGuid, std::wstring_view sourcePath,
                                std::wstring_view localPath) {
    m_multisource.push_back(
        {{"appGuid", ToUtf8(appGuid)}, {"sourcePath", ToUtf8(sourcePath)}, {"localPath", ToUtf8(localPath)}});
    return *this;
}

Scenario& Scenario::Fault(std::string_view method, DWORD hr, int skip, int times, std::wstring_view guid) {
    return AddFault(method, "fail", hr, skip, times, guid);
}

Scenario& Scenario::Crash(std::string_view method, int skip) {
    // The dying emulator's exit code; the caller sees the broken call, never this.
    return AddFault(method, "crash", 0x8000FFFF, skip, 1, {});
}

Scenario& Scenario::AddFault(std::string_view method, std::string_view action, DWORD hr, int skip, int times,
                             std::wstring_view guid) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    m_faults.push_back(
        {{"method", method},
         {"action", action},
         {"hr", text},
         {"skip", skip},
         {"times", times},
         {"guid", guid.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(ToUtf8(guid))}});
    return *this;
}

Scenario& Scenario::Reply(std::string_view method, std::string_view shape, int times) {
    m_replies.push_back({{"method", method}, {"shape", shape}, {"times", times}});
    return *this;
}

std::string Scenario::Json() const {
    nlohmann::ordered_json document = {{"client", m_client}, {"applications", m_applications}};
    if (m_cache.is_object()) {
        document["cache"] = m_cache;
    }
    document["multisource"] = m_multisource;
    document["faults"] = m_faults;
    document["replies"] = m_replies;
    return document.dump();
}

void Scenario::Write() const {
    emulator::WriteScenario(Json());
}

} // namespace quillet::testing
