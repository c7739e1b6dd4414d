#include "ServiceModel.h"

#include "Refusals.h"
#include "service/ServiceContract.h"
#include "win32/UniqueVariant.h"
#include "win32/Utf8.h"

#include <objbase.h>

#include <nlohmann/json.hpp>

#include <algorithm>

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

} // namespace

ServiceModel::ServiceModel(std::wstring defaultCacheFolder)
    : m_defaultCacheFolder(std::move(defaultCacheFolder)) {
    m_state.cache.location = m_defaultCacheFolder;
}

ServiceState& ServiceModel::MutableState() {
    m_changed = true;
    return m_state;
}

void ServiceModel::Replace(ServiceState state) {
    m_state = std::move(state);
    Reindex();
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
    auto it = m_index.find(Key(guid));
    return it == m_index.end() ? nullptr : &m_state.applications[it->second];
}

MultisourceEntry* ServiceModel::FindMultisource(std::wstring_view appGuid) {
    for (MultisourceEntry& entry : m_state.multisource) {
        if (SameText(entry.appGuid, appGuid)) {
            return &entry;
        }
    }
    return nullptr;
}

bool ServiceModel::AnyApplicationRunning() const {
    return std::any_of(m_state.applications.begin(), m_state.applications.end(),
                       [](const Application& application) { return application.state == APP_STATE_RUNNING; });
}

HRESULT ServiceModel::StartClient() {
    if (m_state.client.state != kClientStopped) {
        return kClientAlreadyStarted;
    }
    MutableState().client.state = kClientStarted;
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
    MutableState().client.state = kClientStopped;
    return S_OK;
}

HRESULT ServiceModel::InitApplications() {
    switch (m_state.client.state) {
    case kClientApplicationsInitialized:
        return kApplicationsAlreadyInitialized;
    case kClientStarted:
        MutableState().client.state = kClientApplicationsInitialized;
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
    MutableState().client.state = kClientStarted;
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
    if ((mask & APP_PROPERTY_STATE) != 0 && application->stopping) {
        // A stop in progress: the application reports running for stopPolls queries, then stopped.
        std::int32_t& left = *application->stopping;
        if (left == 0) {
            application->state = APP_STATE_MOUNTED;
            application->stopping.reset();
            m_changed = true;
        } else if (left > 0) {
            --left;
            m_changed = true;
        }
    }
    reply.elements.assign(kPropertyCount, ReplyElement::Empty());
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

HRESULT ServiceModel::AddApplication(std::string_view token, std::wstring& name, std::wstring& guid) {
    // Keys are looked up in a map: a token of many keys costs no more than its parse.
    const nlohmann::json document = nlohmann::json::parse(token, nullptr, false);
    if (!document.is_object()) {
        return kInvalidToken;
    }
    const auto nameValue = document.find("name");
    const auto guidValue = document.find("guid");
    const auto rebootValue = document.find("requiresReboot");
    const bool hasGuid = guidValue != document.end() && guidValue->is_string();
    if (nameValue == document.end() || !nameValue->is_string() ||
        (guidValue != document.end() && !hasGuid && !guidValue->is_null()) ||
        (rebootValue != document.end() && !rebootValue->is_boolean() && !rebootValue->is_null())) {
        return kInvalidToken;
    }
    Application application;
    application.name = FromUtf8(nameValue->get_ref<const std::string&>());
    application.requiresReboot =
        rebootValue != document.end() && rebootValue->is_boolean() && rebootValue->get<bool>();
    if (hasGuid) {
        if (!CanonicalGuid(FromUtf8(guidValue->get_ref<const std::string&>()), application.guid)) {
            return kInvalidToken;
        }
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
    name = application.name;
    guid = application.guid;
    m_index.emplace(Key(application.guid), m_state.applications.size());
    MutableState().applications.push_back(std::move(application));
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
        application->stopping.reset();
        break;
    case LadderStep::Stop:
        if (s != APP_STATE_RUNNING) {
            return kInvalidState;
        }
        if (application->stopPolls == 0) {
            next = APP_STATE_MOUNTED;
        } else if (!application->stopping) {
            // A stop already under way keeps its count; a repeated stop changes nothing.
            application->stopping = application->stopPolls;
            m_changed = true;
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
        auto& applications = MutableState().applications;
        applications.erase(applications.begin() + static_cast<std::ptrdiff_t>(m_index.at(key)));
        Reindex();
        return S_OK;
    }
    }
    if (next != s) {
        application->state = next;
        m_changed = true;
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
        CacheSettings& cache = MutableState().cache;
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
        MutableState().cache.usedMB = 0;
    }
    return S_OK;
}

void ServiceModel::RemoveMultisource(std::wstring_view appGuid) {
    auto& entries = m_state.multisource;
    for (auto it = entries.begin(); it != entries.end();) {
        if (SameText(it->appGuid, appGuid)) {
            // Only a copy that the emulator made is deleted, never the source itself.
            if (!SameText(it->localPath, it->sourcePath)) {
                DeleteFileW(it->localPath.c_str());
            }
            it = entries.erase(it);
            m_changed = true;
        } else {
            ++it;
        }
    }
}

HRESULT ServiceModel::AddMultisourceFile(std::wstring_view appGuid, std::wstring_view sourcePath,
                                         std::wstring_view destinationPath, bool overwrite) {
    Application* application = FindApplication(appGuid);
    if (application == nullptr) {
        return kUnknownApplication;
    }
    std::wstring source(sourcePath);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (source.empty() || !GetFileAttributesExW(source.c_str(), GetFileExInfoStandard, &data)) {
        DWORD error = source.empty() ? ERROR_FILE_NOT_FOUND : GetLastError();
        return HRESULT_FROM_WIN32(error);
    }
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return kSourceIsFolder;
    }
    if (FindMultisource(application->guid) != nullptr && !overwrite) {
        return kAlreadyExists;
    }
    std::wstring localPath = source;
    if (!SameText(destinationPath, sourcePath)) {
        std::wstring folder =
            destinationPath.empty() ? m_state.cache.location : std::wstring(destinationPath);
        if (HRESULT hr = CheckLocalFolder(folder); FAILED(hr)) {
            return hr;
        }
        if (folder.back() != L'\\' && folder.back() != L'/') {
            folder += L'\\';
        }
        std::wstring target = folder + FileNameOf(source);
        if (!SameText(target, source)) {
            // An earlier copy of this application's entry goes first, unless the new copy replaces it.
            if (MultisourceEntry* old = FindMultisource(application->guid);
                old != nullptr && !SameText(old->localPath, target) &&
                !SameText(old->localPath, old->sourcePath)) {
                DeleteFileW(old->localPath.c_str());
            }
            if (!CopyFileW(source.c_str(), target.c_str(), FALSE)) {
                return HRESULT_FROM_WIN32(GetLastError());
            }
            localPath = target;
        }
    }
    MultisourceEntry entry;
    entry.appGuid = application->guid;
    entry.sourcePath = source;
    entry.localPath = localPath;
    entry.size =
        static_cast<std::int64_t>((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    entry.maxSize = entry.size;
    entry.startTime = NowAsOleDate();
    entry.finishTime = entry.startTime;
    entry.finished = true;
    if (MultisourceEntry* existing = FindMultisource(application->guid)) {
        *existing = std::move(entry);
    } else {
        m_state.multisource.push_back(std::move(entry));
    }
    m_changed = true;
    return S_OK;
}

HRESULT ServiceModel::DeleteMultisourceFile(std::wstring_view appGuid) {
    if (FindMultisource(appGuid) == nullptr) {
        return kUnknownApplication;
    }
    RemoveMultisource(appGuid);
    return S_OK;
}

HRESULT ServiceModel::MultisourceFileInfo(std::wstring_view appGuid, Reply& reply) const {
    for (const MultisourceEntry& entry : m_state.multisource) {
        if (SameText(entry.appGuid, appGuid)) {
            reply.elements = {
                ReplyElement::Bstr(entry.appGuid),    ReplyElement::Bstr(entry.sourcePath),
                ReplyElement::Bstr(entry.localPath),  ReplyElement::I8(entry.size),
                ReplyElement::I8(entry.maxSize),      ReplyElement::Date(entry.startTime),
                ReplyElement::Date(entry.finishTime),
            };
            reply.shortLength = reply.elements.size() - 1;
            return S_OK;
        }
    }
    return kUnknownApplication;
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
    if (text.size() == 38 && text.front() == L'{' && text.back() == L'}') {
        text = text.substr(1, 36);
    }
    if (text.size() != 36) {
        return false;
    }
    std::wstring result = L"{";
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t c = text[i];
        bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != L'-' : !iswxdigit(c)) {
            return false;
        }
        result += c >= L'a' && c <= L'f' ? static_cast<wchar_t>(c - L'a' + L'A') : c;
    }
    canonical = result + L"}";
    return true;
}

} // namespace quillet::emulator
