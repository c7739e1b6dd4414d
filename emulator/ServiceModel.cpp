#include "ServiceModel.h"

#include "Refusals.h"
#include "service/ServiceContract.h"
#include "win32/UniqueVariant.h"
#include "win32/Utf8.h"

#include <objbase.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <utility>

namespace quillet::emulator {

namespace {

// The emulator's own property: the guid, as element 2.
constexpr LONG kMaskGuid = 0x4;
constexpr LONG kGuidElement = 2;
// The reboot flag is the highest element, so the properties array has that many and one more.
constexpr size_t kPropertyCount = kRequiresRebootElement + 1;

// The cache settings array: 0 layout version, 1 element count, 2 first character of the location,
// 3 location, 4 size in MB, 5 used MB. Elements 0, 1 and 5 are the emulator's own and must come back
// unchanged.
constexpr LONG kCacheLayoutVersion = 1;
constexpr LONG kCacheElementCount = 6;
constexpr LONG kCacheUsedElement = 5;
constexpr size_t kCacheShortLength = kCacheLocationElement;

bool SameText(std::wstring_view left, std::wstring_view right) {
    return ServiceModel::Key(left) == ServiceModel::Key(right);
}

std::wstring FileNameOf(std::wstring_view path) {
    size_t slash = path.find_last_of(L"\\/");
    return std::wstring(slash == std::wstring_view::npos ? path : path.substr(slash + 1));
}

// Why a folder cannot hold the cache or a multisource copy, or S_OK.
HRESULT CheckLocalFolder(const std::wstring& path) {
    if (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/')) {
        return kNetworkPath;
    }
    bool absolute =
        path.size() >= 3 && iswalpha(path[0]) && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
    if (!absolute) {
        return kRelativePath;
    }
    wchar_t root[] = {path[0], L':', L'\\', 0};
    if (GetDriveTypeW(root) == DRIVE_REMOTE) {
        return kNetworkPath;
    }
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    }
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? S_OK : kNotAFolder;
}

constexpr char kChangedSinceMade[] = "not the copy the service made: changed, replaced or a link";
constexpr char kNoRecordOfCopy[] = "no record of the copy the service made";

// Whether the file at path is still the copy recorded as identity.
bool IsStill(const std::wstring& path, const FileIdentity& identity) {
    UniqueFile file;
    FileIdentity now;
    return SUCCEEDED(OpenItself(path, 0, OPEN_EXISTING, file)) && SUCCEEDED(IdentityOf(file.get(), now)) &&
           now == identity;
}

} // namespace

ServiceModel::ServiceModel(std::wstring defaultCacheFolder) {
    m_state.cache.location = std::move(defaultCacheFolder);
}

ServiceState& ServiceModel::Change() {
    m_changed = true;
    return m_state;
}

void ServiceModel::Replace(ServiceState state) {
    m_state = std::move(state);
    m_changed = false;
    m_unlistedCopies.clear();
    m_placedCopies.clear();
    Reindex();
}

void ServiceModel::Commit() {
    for (const Copy& copy : m_unlistedCopies) {
        // Only a copy that no entry lists any more goes; two entries never share one, but a hand-written
        // state may hold them.
        const bool listed =
            std::any_of(m_state.multisource.begin(), m_state.multisource.end(),
                        [&](const MultisourceEntry& entry) { return SameText(entry.localPath, copy.path); });
        if (!listed && DeleteOwned(copy.path, copy.identity) == Deletion::NotOurs) {
            m_disowned.push_back({copy.path, kChangedSinceMade});
        }
    }
    m_changed = false;
    m_unlistedCopies.clear();
    m_placedCopies.clear();
}

void ServiceModel::Rollback() {
    for (const Copy& copy : m_placedCopies) {
        DeleteOwned(copy.path, copy.identity);
    }
    m_disowned.clear(); // nothing of the change happened
    m_changed = false;
    m_unlistedCopies.clear();
    m_placedCopies.clear();
}

std::wstring ServiceModel::Key(std::wstring_view guid) {
    std::wstring key(guid);
    for (wchar_t& c : key) {
        if (c >= L'a' && c <= L'z') {
            c = static_cast<wchar_t>(c - L'a' + L'A');
        }
    }
    return key;
}

void ServiceModel::Reindex() {
    m_index.clear();
    for (size_t i = 0; i < m_state.applications.size(); ++i) {
        // The first of two entries with one guid wins, as it does in the list.
        m_index.emplace(Key(m_state.applications[i].guid), i);
    }
}

Application* ServiceModel::FindApplication(std::wstring_view guid) {
    return const_cast<Application*>(std::as_const(*this).FindApplication(guid));
}

const Application* ServiceModel::FindApplication(std::wstring_view guid) const {
    auto it = m_index.find(Key(guid));
    return it == m_index.end() ? nullptr : &m_state.applications[it->second];
}

const MultisourceEntry* ServiceModel::FindMultisource(std::wstring_view appGuid) const {
    const auto& entries = m_state.multisource;
    const auto found = std::find_if(entries.begin(), entries.end(), [&](const MultisourceEntry& entry) {
        return SameText(entry.appGuid, appGuid);
    });
    return found != entries.end() ? &*found : nullptr;
}

bool ServiceModel::AnyApplicationRunning() const {
    return std::any_of(m_state.applications.begin(), m_state.applications.end(),
                       [](const Application& application) { return application.state == APP_STATE_RUNNING; });
}

HRESULT ServiceModel::StartClient() {
    if (m_state.client.state != kClientStopped) {
        return kClientAlreadyStarted;
    }
    Change().client.state = kClientStarted;
    return S_OK;
}

HRESULT ServiceModel::StopClient() {
    LONG state = m_state.client.state;
    if (state == kClientStopped) {
        return kClientAlreadyStopped;
    }
    if (state == kClientApplicationsInitialized) {
        // Applications are uninitialised first; a real client refuses to stop under them.
        return kInvalidState;
    }
    Change().client.state = kClientStopped;
    return S_OK;
}

HRESULT ServiceModel::InitApplications() {
    switch (m_state.client.state) {
    case kClientApplicationsInitialized:
        return kApplicationsAlreadyInitialized;
    case kClientStarted:
        Change().client.state = kClientApplicationsInitialized;
        return S_OK;
    case kClientStopped:
        return kClientNotReady;
    case kClientOffline:
        return kOffline;
    default:
        return kInvalidState;
    }
}

HRESULT ServiceModel::UninitApplications() {
    if (m_state.client.state != kClientApplicationsInitialized) {
        return kApplicationsAlreadyUninitialized;
    }
    Change().client.state = kClientStarted;
    return S_OK;
}

HRESULT ServiceModel::RequireInitializedApplications() const {
    return m_state.client.state == kClientApplicationsInitialized ? S_OK : kClientNotReady;
}

void ServiceModel::ListApplications(LONG filter, Reply& reply) const {
    reply.hasCount = true;
    for (const Application& application : m_state.applications) {
        // -1 lists everything; another filter lists the applications whose state shares a bit with it.
        if (filter == -1 || (application.state & filter) != 0) {
            reply.elements.push_back(ReplyElement::Bstr(application.guid));
        }
    }
    reply.shortLength = reply.elements.empty() ? 0 : reply.elements.size() - 1;
}

HRESULT ServiceModel::ApplicationProperties(std::wstring_view guid, LONG mask, Reply& reply) {
    Application* application = FindApplication(guid);
    if (application == nullptr) {
        return kUnknownApplication;
    }
    if ((mask & APP_PROPERTY_STATE) != 0 && application->stopping && *application->stopping >= 0) {
        // A stop in progress: the application reports running for stopPolls queries, then stopped.
        Change();
        if (*application->stopping == 0) {
            application->state = APP_STATE_MOUNTED;
            application->stopping.reset();
        } else {
            --*application->stopping;
        }
    }
    reply.elements.assign(kPropertyCount, {});
    size_t highest = 0;
    if ((mask & APP_PROPERTY_STATE) != 0) {
        reply.elements[kStateElement] = ReplyElement::I4(application->state);
    }
    if ((mask & APP_PROPERTY_NAME) != 0) {
        reply.elements[kNameElement] = ReplyElement::Bstr(application->name);
        highest = kNameElement;
    }
    if ((mask & kMaskGuid) != 0) {
        reply.elements[kGuidElement] = ReplyElement::Bstr(application->guid);
        highest = kGuidElement;
    }
    if ((mask & APP_PROPERTY_REQUIRES_REBOOT) != 0) {
        reply.elements[kRequiresRebootElement] = ReplyElement::Bool(application->requiresReboot);
        highest = kRequiresRebootElement;
    }
    // Too short for the highest element that the mask asks for.
    reply.shortLength = highest;
    return S_OK;
}

HRESULT ServiceModel::ParseToken(std::string_view text, Token& token) {
    // Keys are looked up in a map: a token of many keys costs no more than its parse.
    const nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
    if (!document.is_object()) {
        return kInvalidToken;
    }
    const auto name = document.find("name");
    const auto guid = document.find("guid");
    const auto reboot = document.find("requiresReboot");
    if (name == document.end() || !name->is_string() ||
        (guid != document.end() && !guid->is_string() && !guid->is_null()) ||
        (reboot != document.end() && !reboot->is_boolean() && !reboot->is_null())) {
        return kInvalidToken;
    }
    token.name = FromUtf8(name->get_ref<const std::string&>());
    token.requiresReboot = reboot != document.end() && reboot->is_boolean() && reboot->get<bool>();
    if (guid != document.end() && guid->is_string()) {
        std::wstring canonical;
        if (!CanonicalGuid(FromUtf8(guid->get_ref<const std::string&>()), canonical)) {
            return kInvalidToken;
        }
        token.guid = canonical;
    }
    return S_OK;
}

HRESULT ServiceModel::AddApplication(const Token& token, std::wstring& guid) {
    if (HRESULT hr = RequireInitializedApplications(); FAILED(hr)) {
        return hr;
    }
    Application application;
    application.name = token.name;
    application.requiresReboot = token.requiresReboot;
    if (token.guid) {
        application.guid = *token.guid;
    } else {
        GUID fresh;
        wchar_t text[40];
        if (FAILED(CoCreateGuid(&fresh)) || StringFromGUID2(fresh, text, 40) == 0) {
            return E_FAIL;
        }
        application.guid = text;
    }
    if (FindApplication(application.guid) != nullptr) {
        return kAlreadyExists;
    }
    guid = application.guid;
    m_index.emplace(Key(application.guid), m_state.applications.size());
    Change().applications.push_back(std::move(application));
    return S_OK;
}

HRESULT ServiceModel::Step(std::wstring_view guid, LadderStep step) {
    if (HRESULT hr = RequireInitializedApplications(); FAILED(hr)) {
        return hr;
    }
    Application* application = FindApplication(guid);
    if (application == nullptr) {
        return kUnknownApplication;
    }
    const LONG s = application->state;
    LONG next = s;
    switch (step) {
    case LadderStep::Load:
        if (!(s >= APP_STATE_ADDED && s < APP_STATE_LOADED)) {
            return kInvalidState;
        }
        next = APP_STATE_LOADED;
        break;
    case LadderStep::Mount:
        if (!(s >= APP_STATE_LOADED && s < APP_STATE_MOUNTED)) {
            return kInvalidState;
        }
        next = APP_STATE_MOUNTED;
        break;
    case LadderStep::Start:
        if (!(s >= APP_STATE_MOUNTED)) {
            return kInvalidState;
        }
        next = APP_STATE_RUNNING;
        if (application->stopping) {
            Change();
            application->stopping.reset();
        }
        break;
    case LadderStep::Stop:
        if (s != APP_STATE_RUNNING) {
            return kInvalidState;
        }
        if (application->stopPolls == 0) {
            next = APP_STATE_MOUNTED;
        } else if (!application->stopping) {
            // A stop already under way keeps its count; a repeated stop changes nothing.
            Change();
            application->stopping = application->stopPolls;
        }
        break;
    case LadderStep::Unmount:
        if (!(s >= APP_STATE_MOUNTED && s != APP_STATE_RUNNING)) {
            return kInvalidState;
        }
        next = APP_STATE_LOADED;
        break;
    case LadderStep::Unload:
        if (!(s >= APP_STATE_LOADED && s < APP_STATE_MOUNTED)) {
            return kInvalidState;
        }
        next = APP_STATE_ADDED;
        break;
    case LadderStep::Remove: {
        if (!(s >= APP_STATE_ADDED && s < APP_STATE_LOADED)) {
            return kInvalidState;
        }
        std::wstring key = Key(guid);
        RemoveMultisource(application->guid);
        auto& applications = Change().applications;
        applications.erase(applications.begin() + static_cast<std::ptrdiff_t>(m_index.at(key)));
        Reindex();
        return S_OK;
    }
    }
    if (next != s) {
        Change();
        application->state = next;
    }
    return S_OK;
}

HRESULT ServiceModel::RunCommand(std::wstring_view guid, std::wstring_view exePath) {
    if (HRESULT hr = RequireInitializedApplications(); FAILED(hr)) {
        return hr;
    }
    Application* application = FindApplication(guid);
    if (application == nullptr) {
        return kUnknownApplication;
    }
    if (application->state != APP_STATE_MOUNTED && application->state != APP_STATE_RUNNING) {
        return kInvalidState;
    }
    return exePath.empty() ? E_INVALIDARG : S_OK;
}

void ServiceModel::CacheSettingsReply(Reply& reply) const {
    const std::wstring& location = m_state.cache.location;
    reply.elements = {
        ReplyElement::I4(kCacheLayoutVersion),
        ReplyElement::I4(kCacheElementCount),
        ReplyElement::I1(static_cast<char>(location.empty() ? 0 : location[0] & 0xFF)),
        ReplyElement::Bstr(location),
        ReplyElement::I4(m_state.cache.sizeMB),
        ReplyElement::I4(m_state.cache.usedMB),
    };
    reply.shortLength = kCacheShortLength;
}

HRESULT ServiceModel::SetCacheSettings(const VARIANT& settings) {
    SAFEARRAY* array = settings.vt == (VT_ARRAY | VT_VARIANT) ? settings.parray : nullptr;
    LONG lower = 0;
    LONG upper = -1;
    if (array == nullptr || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper)) || lower != 0 || upper + 1 != kCacheElementCount) {
        return E_INVALIDARG;
    }
    UniqueVariant elements[kCacheElementCount];
    for (LONG i = 0; i < kCacheElementCount; ++i) {
        if (FAILED(SafeArrayGetElement(array, &i, &elements[i]))) {
            return E_INVALIDARG;
        }
    }
    const VARIANT& firstCharacter = elements[kCacheLocationInitialElement];
    const VARIANT& location = elements[kCacheLocationElement];
    const VARIANT& size = elements[kCacheSizeElement];
    if (firstCharacter.vt != VT_I1 || location.vt != VT_BSTR || size.vt != VT_I4) {
        return DISP_E_TYPEMISMATCH;
    }
    Reply current;
    CacheSettingsReply(current);
    for (LONG i : {LONG{0}, LONG{1}, kCacheUsedElement}) {
        if (elements[i].vt != current.elements[i].vt || elements[i].lVal != current.elements[i].integer) {
            return E_INVALIDARG;
        }
    }
    std::wstring newLocation = location.bstrVal != nullptr
                                   ? std::wstring(location.bstrVal, SysStringLen(location.bstrVal))
                                   : std::wstring();
    unsigned char expected = static_cast<unsigned char>(newLocation.empty() ? 0 : newLocation[0] & 0xFF);
    if (static_cast<unsigned char>(firstCharacter.cVal) != expected) {
        return E_INVALIDARG;
    }
    LONG newSize = size.lVal;
    if (newSize <= 0) {
        return E_INVALIDARG;
    }
    if (newSize < m_state.cache.usedMB) {
        return kCacheTooSmall;
    }
    bool moving = !SameText(newLocation, m_state.cache.location);
    if ((moving || newSize < m_state.cache.sizeMB) && AnyApplicationRunning()) {
        return kApplicationRunning;
    }
    if (moving) {
        if (HRESULT hr = CheckLocalFolder(newLocation); FAILED(hr)) {
            return hr;
        }
    }
    if (moving || newSize != m_state.cache.sizeMB) {
        CacheSettings& cache = Change().cache;
        cache.location = newLocation;
        cache.sizeMB = newSize;
    }
    return S_OK;
}

HRESULT ServiceModel::ClearCache() {
    if (m_state.client.state == kClientOffline) {
        return kOffline;
    }
    if (AnyApplicationRunning()) {
        return kApplicationRunning;
    }
    if (m_state.cache.usedMB != 0) {
        Change().cache.usedMB = 0;
    }
    return S_OK;
}

void ServiceModel::RemoveMultisource(std::wstring_view appGuid) {
    const auto removed = std::erase_if(m_state.multisource, [&](const MultisourceEntry& entry) {
        const bool match = SameText(entry.appGuid, appGuid);
        // Only a copy that the emulator made goes, and only once the change is on disk.
        if (match && entry.localCopy && entry.identity) {
            m_unlistedCopies.push_back({entry.localPath, *entry.identity});
        } else if (match && entry.localCopy) {
            m_disowned.push_back({entry.localPath, kNoRecordOfCopy});
        }
        return match;
    });
    if (removed > 0) {
        Change();
    }
}

MultisourceSource MultisourceSource::Look(std::wstring_view path) {
    MultisourceSource source = {.path = std::wstring(path)};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (source.path.empty() || !GetFileAttributesExW(source.path.c_str(), GetFileExInfoStandard, &data)) {
        source.found = HRESULT_FROM_WIN32(source.path.empty() ? ERROR_FILE_NOT_FOUND : GetLastError());
        return source;
    }
    source.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    source.size =
        static_cast<std::int64_t>((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    return source;
}

HRESULT ServiceModel::PlanMultisourceFile(std::wstring_view appGuid, const MultisourceSource& source,
                                          std::wstring_view destinationPath, bool overwrite,
                                          MultisourcePlan& plan) const {
    const Application* application = FindApplication(appGuid);
    if (application == nullptr) {
        return kUnknownApplication;
    }
    plan = {};
    plan.appGuid = application->guid;
    plan.source = source.path;
    if (FAILED(source.found)) {
        return source.found;
    }
    if (source.folder) {
        return kSourceIsFolder;
    }
    plan.size = source.size;
    const MultisourceEntry* existing = FindMultisource(plan.appGuid);
    if (existing != nullptr && !overwrite) {
        return kAlreadyExists;
    }
    plan.localPath = plan.source;
    if (!SameText(destinationPath, source.path)) {
        std::wstring folder =
            destinationPath.empty() ? m_state.cache.location : std::wstring(destinationPath);
        if (HRESULT hr = CheckLocalFolder(folder); FAILED(hr)) {
            return hr;
        }
        if (folder.back() != L'\\' && folder.back() != L'/') {
            folder += L'\\';
        }
        const std::wstring target = folder + FileNameOf(plan.source);
        if (!SameText(target, plan.source)) {
            plan.copy = true;
            plan.localPath = target;
        }
    }
    // Two entries never share a local path: deleting one would take the other's file.
    for (const MultisourceEntry& entry : m_state.multisource) {
        if (&entry != existing && SameText(entry.localPath, plan.localPath)) {
            return kLocalPathTaken;
        }
    }
    if (plan.copy && GetFileAttributesW(plan.localPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
        // A file in the way is replaced only when it is the entry's own copy, still as it was made, and only
        // when asked to.
        const bool claimed =
            existing != nullptr && existing->localCopy && SameText(existing->localPath, plan.localPath);
        plan.replacesOwnCopy = claimed && existing->identity && IsStill(plan.localPath, *existing->identity);
        plan.staleClaim = claimed && !plan.replacesOwnCopy;
        if (!plan.replacesOwnCopy) {
            return kLocalPathTaken;
        }
    }
    return S_OK;
}

HRESULT ServiceModel::AddMultisourceFile(const MultisourcePlan& plan, LocalCopy* copy) {
    MultisourceEntry entry;
    if (plan.copy) {
        FileIdentity identity;
        if (copy == nullptr) {
            return E_UNEXPECTED;
        }
        if (HRESULT hr = copy->Place(plan.localPath, plan.replacesOwnCopy, identity); FAILED(hr)) {
            return hr;
        }
        if (!plan.replacesOwnCopy) {
            m_placedCopies.push_back({plan.localPath, identity});
        }
        entry.identity = identity;
    }
    entry.appGuid = plan.appGuid;
    entry.sourcePath = plan.source;
    entry.localPath = plan.localPath;
    entry.localCopy = plan.copy;
    entry.size = plan.size;
    entry.maxSize = entry.size;
    entry.startTime = NowAsOleDate();
    entry.finishTime = entry.startTime;
    entry.finished = true;
    auto& entries = Change().multisource;
    const auto existing = std::find_if(entries.begin(), entries.end(), [&](const MultisourceEntry& old) {
        return SameText(old.appGuid, plan.appGuid);
    });
    if (existing == entries.end()) {
        entries.push_back(std::move(entry));
        return S_OK;
    }
    if (existing->localCopy && !SameText(existing->localPath, entry.localPath)) {
        if (const std::optional<FileIdentity>& identity = existing->identity; identity) {
            m_unlistedCopies.push_back({existing->localPath, *identity});
        } else {
            m_disowned.push_back({existing->localPath, kNoRecordOfCopy});
        }
    }
    *existing = std::move(entry);
    return S_OK;
}

void ServiceModel::DropClaim(std::wstring_view appGuid) {
    for (MultisourceEntry& entry : m_state.multisource) {
        if (SameText(entry.appGuid, appGuid) && entry.localCopy) {
            m_disowned.push_back({entry.localPath, entry.identity ? kChangedSinceMade : kNoRecordOfCopy});
            Change();
            entry.localCopy = false;
            entry.identity.reset();
        }
    }
}

HRESULT ServiceModel::DeleteMultisourceFile(std::wstring_view appGuid) {
    if (FindMultisource(appGuid) == nullptr) {
        return kUnknownApplication;
    }
    RemoveMultisource(appGuid);
    return S_OK;
}

HRESULT ServiceModel::MultisourceFileInfo(std::wstring_view appGuid, Reply& reply) const {
    const MultisourceEntry* entry = FindMultisource(appGuid);
    if (entry == nullptr) {
        return kUnknownApplication;
    }
    reply.elements = {
        ReplyElement::Bstr(entry->appGuid),    ReplyElement::Bstr(entry->sourcePath),
        ReplyElement::Bstr(entry->localPath),  ReplyElement::I8(entry->size),
        ReplyElement::I8(entry->maxSize),      ReplyElement::Date(entry->startTime),
        ReplyElement::Date(entry->finishTime),
    };
    reply.shortLength = reply.elements.size() - 1;
    return S_OK;
}

void ServiceModel::MultisourceFileIds(bool finishedOnly, Reply& reply) const {
    reply.hasCount = true;
    for (const MultisourceEntry& entry : m_state.multisource) {
        if (!finishedOnly || entry.finished) {
            reply.elements.push_back(ReplyElement::Bstr(entry.appGuid));
        }
    }
    reply.shortLength = reply.elements.empty() ? 0 : reply.elements.size() - 1;
}

double NowAsOleDate() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    double date = 0;
    SystemTimeToVariantTime(&now, &date);
    return date;
}

bool CanonicalGuid(std::wstring_view text, std::wstring& canonical) {
    // IIDFromString reads only the braced form, strictly; StringFromGUID2 writes it in upper case.
    const std::wstring braced = text.size() == 36 ? L"{" + std::wstring(text) + L"}" : std::wstring(text);
    GUID guid;
    wchar_t result[40];
    if (FAILED(IIDFromString(braced.c_str(), &guid)) || StringFromGUID2(guid, result, 40) == 0) {
        return false;
    }
    canonical = result;
    return true;
}

} // namespace quillet::emulator
