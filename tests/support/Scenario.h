#pragma once

// The emulator's state before a run, built as its state.json (emulator/README.md): client, applications,
// cache, multisource entries, faults and reply shapes. What is left out takes the emulator's default.

#include <windows.h>

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace quillet::testing {

// What a fault rule says beyond its method and HRESULT: it acts after skip matching calls, times times (-1:
// always), for one application's guid if given, and fails, hangs or crashes.
struct FaultOptions {
    int skip = 0;
    int times = 1;
    std::wstring_view guid = {};
    std::string_view action = "fail";
};

// An application's stop: stopPolls status queries still report it running (-1: it never stops).
struct AppOptions {
    int stopPolls = 0;
    bool requiresReboot = false;
};

class Scenario {
public:
    Scenario& Client(int state);
    Scenario& Admin(bool isAdmin);
    Scenario& App(std::wstring_view guid, std::wstring_view name, long long state,
                  const AppOptions& options = {});
    Scenario& Cache(std::wstring_view location, int sizeMB, int usedMB = 0);
    // more: further fields of the entry, e.g. {{"localCopy", true}, {"finished", false}, {"size", 5}}.
    Scenario& Multisource(std::wstring_view appGuid, std::wstring_view sourcePath,
                          std::wstring_view localPath,
                          const nlohmann::ordered_json& more = nlohmann::ordered_json::object());
    // A call of method ("StartClient", "IStreamingCache.CreateInstance") that acts with hr.
    Scenario& Fault(std::string_view method, DWORD hr, const FaultOptions& options = {});
    // The emulator dies inside the call, after skip calls of method.
    Scenario& Crash(std::string_view method, int skip = 0);
    Scenario& Reply(std::string_view method, std::string_view shape, int times = -1);
    // A field that no builder above makes, e.g. what the service records as its copies in flight.
    Scenario& Set(const std::string& field, nlohmann::ordered_json value) {
        m_state[field] = std::move(value);
        return *this;
    }

    void Write() const; // replaces state.json

private:
    nlohmann::ordered_json m_state = nlohmann::ordered_json::object();
};

} // namespace quillet::testing
