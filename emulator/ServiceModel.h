#pragma once

#include "Reply.h"
#include "ServiceState.h"

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <string_view>
#include <unordered_map>

namespace quillet::emulator {

enum class LadderStep { Load, Mount, Start, Stop, Unmount, Unload, Remove };

// The emulated service's state and its rules: every operation checks what a real service would check,
// changes the state, and marks it changed so that the caller persists it. No COM, no files but the
// multisource copies and the folder checks of the cache.
class ServiceModel {
public:
    explicit ServiceModel(std::wstring defaultCacheFolder);

    const ServiceState& State() const { return m_state; }
    ServiceState& MutableState();                     // marks the state changed
    ServiceState& UnmarkedState() { return m_state; } // the caller marks what it changes
    void Replace(ServiceState state);
    const std::wstring& DefaultCacheFolder() const { return m_defaultCacheFolder; }

    bool Changed() const { return m_changed; }
    void MarkChanged() { m_changed = true; }
    void ClearChanged() { m_changed = false; }

    // Client.
    HRESULT StartClient();
    HRESULT StopClient();
    HRESULT InitApplications();
    HRESULT UninitApplications();
    LONG ClientState() const { return m_state.client.state; }

    // Applications.
    HRESULT RequireInitializedApplications() const;
    void ListApplications(LONG filter, Reply& reply) const;
    HRESULT ApplicationProperties(std::wstring_view guid, LONG mask, Reply& reply);
    HRESULT AddApplication(std::string_view token, std::wstring& name, std::wstring& guid);
    HRESULT Step(std::wstring_view guid, LadderStep step);
    HRESULT RunCommand(std::wstring_view guid, std::wstring_view exePath);

    // Cache.
    void CacheSettingsReply(Reply& reply) const;
    HRESULT SetCacheSettings(const VARIANT& settings);
    HRESULT ClearCache();

    // Multisource.
    HRESULT AddMultisourceFile(std::wstring_view appGuid, std::wstring_view sourcePath,
                               std::wstring_view destinationPath, bool overwrite);
    HRESULT DeleteMultisourceFile(std::wstring_view appGuid);
    HRESULT MultisourceFileInfo(std::wstring_view appGuid, Reply& reply) const;
    void MultisourceFileIds(bool finishedOnly, Reply& reply) const;

    // The case-insensitive key under which a guid is found.
    static std::wstring Key(std::wstring_view guid);

private:
    Application* FindApplication(std::wstring_view guid);
    MultisourceEntry* FindMultisource(std::wstring_view appGuid);
    void RemoveMultisource(std::wstring_view appGuid);
    bool AnyApplicationRunning() const;
    void Reindex();

    ServiceState m_state;
    std::wstring m_defaultCacheFolder;
    std::unordered_map<std::wstring, size_t> m_index;
    bool m_changed = false;
};

// OLE automation date of the current local time.
double NowAsOleDate();

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, from a guid with or without braces; none when
// the text is no guid.
bool CanonicalGuid(std::wstring_view text, std::wstring& canonical);

} // namespace quillet::emulator
