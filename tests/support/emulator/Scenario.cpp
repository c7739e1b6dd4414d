#include "Scenario.h"

#include "EmulatorControl.h"
#include "win32/Utf8.h"

#include <cstdio>

namespace quillet::testing {

Scenario& Scenario::Client(int state) {
    m_client.Set("state", state);
    return *this;
}

Scenario& Scenario::Admin(bool isAdmin) {
    m_client.Set("isAdmin", isAdmin);
    return *this;
}

Scenario& Scenario::App(std::wstring_view guid, std::string_view name, long long state, int stopPolls,
                        bool requiresReboot) {
    json::Value app = json::Value::MakeObject();
    app.Set("guid", ToUtf8(guid));
    app.Set("name", name);
    app.Set("state", state);
    app.Set("stopPolls", stopPolls);
    app.Set("requiresReboot", requiresReboot);
    m_applications.Append(std::move(app));
    return *this;
}

Scenario& Scenario::App(std::wstring_view guid, std::wstring_view name, long long state) {
    return App(guid, ToUtf8(name), state);
}

Scenario& Scenario::Cache(std::wstring_view location, int sizeMB) {
    m_cache = json::Value::MakeObject();
    m_cache.Set("location", ToUtf8(location));
    m_cache.Set("sizeMB", sizeMB);
    return *this;
}

Scenario& Scenario::Multisource(std::wstring_view appGuid, std::wstring_view sourcePath,
                                std::wstring_view localPath) {
    json::Value entry = json::Value::MakeObject();
    entry.Set("appGuid", ToUtf8(appGuid));
    entry.Set("sourcePath", ToUtf8(sourcePath));
    entry.Set("localPath", ToUtf8(localPath));
    m_multisource.Append(std::move(entry));
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
    json::Value fault = json::Value::MakeObject();
    fault.Set("method", method);
    fault.Set("action", action);
    fault.Set("hr", text);
    fault.Set("skip", skip);
    fault.Set("times", times);
    fault.Set("guid", guid.empty() ? json::Value() : json::Value(ToUtf8(guid)));
    m_faults.Append(std::move(fault));
    return *this;
}

Scenario& Scenario::Reply(std::string_view method, std::string_view shape, int times) {
    json::Value reply = json::Value::MakeObject();
    reply.Set("method", method);
    reply.Set("shape", shape);
    reply.Set("times", times);
    m_replies.Append(std::move(reply));
    return *this;
}

std::string Scenario::Json() const {
    json::Value document = json::Value::MakeObject();
    document.Set("client", m_client);
    document.Set("applications", m_applications);
    if (m_cache.IsObject()) {
        document.Set("cache", m_cache);
    }
    document.Set("multisource", m_multisource);
    document.Set("faults", m_faults);
    document.Set("replies", m_replies);
    return json::WriteCompact(document);
}

void Scenario::Write() const {
    emulator::WriteScenario(Json());
}

} // namespace quillet::testing
