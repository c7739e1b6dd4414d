#pragma once

#include "LocalCopy.h"
#include "Reply.h"
#include "ServiceState.h"

#include <windows.h>
#include <oaidl.h>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillet::emulator {

enum class LadderStep { Load, Mount, Start, Stop, Unmount, Unload, Remove };

// What a token says, before the application is added.
struct Token {
    std::wstring name;
    std::optional<std::wstring> guid; // canonical; none: the service makes one
    bool requiresReboot = false;
};

// The source of a multisource file as it was found, looked at before the service's lock is taken: a
// source on a share that does not answer then holds up its own call alone.
struct MultisourceSource {
    std::wstring path;
    HRESULT found = S_OK; // or why it cannot be read
    bool folder = false;
    std::int64_t size = 0;

    static MultisourceSource Look(std::wstring_view path);
};

// A multisource copy worked out under the service's lock, made without it, and placed under it again.
struct MultisourcePlan {
    std::wstring appGuid;
    std::wstring source;
    std::wstring localPath;       // the source itself when no copy is made
    bool copy = false;            // localPath is a copy that the emulator makes
    bool replacesOwnCopy = false; // a copy of the entry's own is at localPath and is replaced
    bool staleClaim = false;      // the entry claims the file at localPath, which is not the copy it made
    std::int64_t size = 0;
};

// A file that an entry claimed as the emulator's copy, left where it is because it is not (or no longer)
// the file that the emulator made: the journal says why.
struct Disowned {
    std::wstring path;
    const char* reason;
};

// The emulated service's state and its rules: every operation checks what a real service would check and
// changes the state, which the caller then commits once it is on disk, or rolls back. No COM, no files
// but the multisource copies and the folder checks of the cache.
class ServiceModel {
public:
    explicit ServiceModel(std::wstring defaultCacheFolder);

    const ServiceState& State() const { return m_state; }
    // The state, to change it.
    ServiceState& Change();
    void Replace(ServiceState state);

    bool Changed() const { return m_changed; }
    // The change is on disk: copies that no entry lists any more are deleted.
    void Commit();
    // The change could not be saved: copies placed for it are deleted. The caller reads the state back
    // from the file, which still holds it as it was before.
    void Rollback();

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
    static HRESULT ParseToken(std::string_view text, Token& token);
    HRESULT AddApplication(const Token& token, std::wstring& guid);
    HRESULT Step(std::wstring_view guid, LadderStep step);
    HRESULT RunCommand(std::wstring_view guid, std::wstring_view exePath);

    // Cache.
    void CacheSettingsReply(Reply& reply) const;
    HRESULT SetCacheSettings(const VARIANT& settings);
    HRESULT ClearCache();

    // Multisource: PlanMultisourceFile checks the request and where its copy goes; the copy itself is made
    // elsewhere (LocalCopy.h); AddMultisourceFile places it, from the temporary file, and records the entry.
    HRESULT PlanMultisourceFile(std::wstring_view appGuid, const MultisourceSource& source,
                                std::wstring_view destinationPath, bool overwrite,
                                MultisourcePlan& plan) const;
    HRESULT AddMultisourceFile(const MultisourcePlan& plan, LocalCopy* copy);
    // The entry no longer claims its local file: the file stays, and is never replaced or deleted.
    void DropClaim(std::wstring_view appGuid);
    HRESULT DeleteMultisourceFile(std::wstring_view appGuid);
    HRESULT MultisourceFileInfo(std::wstring_view appGuid, Reply& reply) const;
    void MultisourceFileIds(bool finishedOnly, Reply& reply) const;

    // The case-insensitive key under which a guid is found.
    static std::wstring Key(std::wstring_view guid);

    // The files left since the last call, with the reason, for the journal.
    std::vector<Disowned> TakeDisowned() { return std::exchange(m_disowned, {}); }

private:
    Application* FindApplication(std::wstring_view guid);
    const Application* FindApplication(std::wstring_view guid) const;
    const MultisourceEntry* FindMultisource(std::wstring_view appGuid) const;
    void RemoveMultisource(std::wstring_view appGuid);
    bool AnyApplicationRunning() const;
    void Reindex();

    ServiceState m_state;
    std::unordered_map<std::wstring, size_t> m_index;
    bool m_changed = false;
    struct Copy {
        std::wstring path;
        FileIdentity identity;
    };
    std::vector<Copy> m_unlistedCopies; // copies the change stops listing: deleted on commit
    std::vector<Copy> m_placedCopies;   // copies the change placed anew: deleted on rollback
    std::vector<Disowned> m_disowned;
};

// OLE automation date of the current local time.
double NowAsOleDate();

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, from a guid with or without braces; none when
// the text is no guid.
bool CanonicalGuid(std::wstring_view text, std::wstring& canonical);

} // namespace quillet::emulator
