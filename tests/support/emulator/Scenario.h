#pragma once

// The emulator's state before a run: client, applications, cache, multisource entries, faults and reply
// shapes, written as its state.json (see emulator/README.md). Fields left out take the emulator's defaults.

#include "win32/Utf8.h"

#include <windows.h>

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

namespace quillet::testing {

class Scenario {
public:
    Scenario& Client(int state);
    Scenario& Admin(bool isAdmin);
    Scenario& App(std::wstring_view guid, std::string_view name, long long state, int stopPolls = 0,
                  bool requiresReboot = false);
    Scenario& App(std::wstring_view guid, std::wstring_view name, long long state);
    Scenario& Cache(std::wstring_view location, int sizeMB);
    Scenario& Multisource(std::wstring_view appGuid, std::wstring_view sourcePath,
                          std::wstring_view localPath);
    // A call of method that fails with hr; times -1 acts on every matching call; guid narrows it to calls
    // for that application.
    Scenario& Fault(std::string_view method, DWORD hr, int skip = 0, int times = 1,
                    std::wstring_view guid = {});
    // The emulator dies inside the call, after skip calls of method.
    Scenario& Crash(std::string_view method, int skip = 0);
    Scenario& Reply(std::string_view method, std::string_view shape, int times = -1);

    std::string Json() const;
    void Write() const;

private:
    Scenario& AddFault(std::string_view method, std::string_view action, DWORD hr, int skip, int times,
                       std::wstring_view guid);

    nlohmann::ordered_json m_client = nlohmann::ordered_json::object();
    nlohmann::ordered_json m_applications = nlohmann::ordered_json::array();
    nlohmann::ordered_json m_cache;
    nlohmann::ordered_json m_multisource = nlohmann::ordered_json::array();
    nlohmann::ordered_json m_faults = nlohmann::ordered_json::array();
    nlohmann::ordered_json m_replies = nlohmann::ordered_json::array();
};

} // namespace quillet::testing
