#include "Service.h"

#include "FaultRules.h"
#include "Refusals.h"
#include "ServerLifetime.h"
#include "win32/Utf8.h"
#include "win32/WholeFile.h"

namespace quillet::emulator {

using nlohmann::ordered_json;

namespace {

Service* g_instance = nullptr;

// How long a "hang" fault blocks the call before it fails.
constexpr DWORD kHangMilliseconds = 30000;

constexpr char kLeftoverLink[] = "not the file the copy made: another file, or a link";

// Whether the process that recorded a copy still runs (then the copy is still its own business).
bool StillRunning(DWORD processId) {
    if (processId == GetCurrentProcessId()) {
        return false; // a number of this process's can only be a predecessor's
    }
    const UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, processId));
    if (!process) {
        // An elevated instance's process runs, but a non-elevated one may not open it.
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

} // namespace

Service::CallUnderWay::CallUnderWay(Service& service) : m_service(service) {
    const std::lock_guard<std::mutex> lock(m_service.m_callsLock);
    ++m_service.m_calls;
}

Service::CallUnderWay::~CallUnderWay() {
    const std::lock_guard<std::mutex> lock(m_service.m_callsLock);
    if (--m_service.m_calls == 0) {
        m_service.m_callsDone.notify_all();
    }
}

Service::Service(DataDirectory directory)
    : m_directory(std::move(directory)), m_model(m_directory.cacheFolder), m_journal(m_directory.journalPath),
      m_stopping(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

Service& Service::Instance() {
    return *g_instance;
}

void Service::SetInstance(Service* service) {
    g_instance = service;
}

void Service::Start() {
    const std::lock_guard<std::mutex> lock(m_lock);
    try {
        Refresh();
        m_journal.Resume();
        RemoveLeftoverCopies();
    } catch (...) {
        Abandon(); // the calls find what is wrong
    }
}

void Service::Stop() noexcept {
    SetEvent(m_stopping.get());
}

bool Service::Stopping() const {
    return WaitForSingleObject(m_stopping.get(), 0) == WAIT_OBJECT_0;
}

bool Service::WaitForCalls(DWORD timeoutMs) {
    std::unique_lock<std::mutex> lock(m_callsLock);
    return m_callsDone.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_calls == 0; });
}

HRESULT Service::EnsureDirectory() {
    // One look a call: a folder deleted or replaced by a link meanwhile is noticed at once.
    const DWORD root = GetFileAttributesW(m_directory.root.c_str());
    const DWORD cache = GetFileAttributesW(m_directory.cacheFolder.c_str());
    const auto folder = [](DWORD attributes) {
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
               (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
    };
    if (m_directoryReady && folder(root) && folder(cache)) {
        return S_OK;
    }
    std::wstring problem;
    const HRESULT hr = m_directory.Prepare(&problem);
    m_directoryReady = SUCCEEDED(hr);
    m_journal.SetWritable(m_directoryReady);
    if (FAILED(hr)) {
        m_problem =
            problem.empty() ? "the data directory cannot be made (" + HresultText(hr) + ")" : ToUtf8(problem);
        m_problemCode = hr;
        m_loaded = false; // read the state once the directory is fixed
    }
    return hr;
}

void Service::Refresh() {
    if (FAILED(EnsureDirectory())) {
        return;
    }
    FileStamp stamp = FileStamp::Of(m_directory.statePath);
    if (m_loaded && stamp == m_stamp) {
        return;
    }
    m_loaded = true;
    m_stamp = stamp;
    m_problem.reset();
    m_problemCode = S_OK;
    if (!stamp.exists) {
        m_model.Replace(StateFromJson(ordered_json::object(), m_directory.cacheFolder));
        return;
    }
    std::string content;
    if (const HRESULT hr = ReadWholeFile(m_directory.statePath, content); FAILED(hr)) {
        m_problem = "state.json cannot be read (" + HresultText(hr) + ")";
        m_problemCode = kStateUnreadable;
        m_loaded = false; // try again on the next call
        return;
    }
    try {
        // The parser's complaints say where the text stops being JSON; the state's name the field.
        m_model.Replace(StateFromJson(ordered_json::parse(content), m_directory.cacheFolder));
    } catch (const std::exception& problem) {
        m_problem = std::string("state.json: ") + problem.what();
        m_problemCode = kStateUnreadable;
    }
}

HRESULT Service::Save() {
    if (!m_model.Changed()) {
        return S_OK;
    }
    // Never over a state.json that could not be read (it changed while slow work ran): that is the owner's
    // to fix.
    HRESULT hr = m_problem ? m_problemCode : EnsureDirectory();
    if (SUCCEEDED(hr)) {
        hr = ReplaceWholeFile(m_directory.statePath, StateText(m_model.State()));
    }
    if (FAILED(hr)) {
        // A change that is not on disk would be lost with the next restart: it is not kept at all. The file
        // still holds the state as the call found it (or is missing, which means the defaults).
        m_model.Rollback();
        m_loaded = false;
        Refresh();
        return hr;
    }
    m_model.Commit();
    m_stamp = FileStamp::Of(m_directory.statePath);
    return S_OK;
}

HRESULT Service::SaveNow() {
    return Save();
}

void Service::JournalDisowned() {
    for (const Disowned& file : m_model.TakeDisowned()) {
        m_journal.Record({{"event", "disown"}, {"path", ToUtf8(file.path)}, {"reason", file.reason}});
    }
}

void Service::RemoveLeftoverCopies() {
    if (m_problem || m_model.State().copiesInFlight.empty()) {
        return;
    }
    std::vector<CopyInFlight> still;
    for (const CopyInFlight& copy : m_model.State().copiesInFlight) {
        if (StillRunning(copy.process)) {
            still.push_back(copy);
            continue;
        }
        // Only a name that the service gives its copies, and only the file that it made there.
        const Deletion deletion = IsUniqueNameBeside(copy.path)
                                      ? DeleteOwned(copy.path, copy.file, Compare::File)
                                      : Deletion::NotOurs;
        if (deletion == Deletion::Deleted) {
            m_journal.Record({{"event", "leftover"}, {"path", ToUtf8(copy.path)}, {"removed", true}});
        } else if (deletion == Deletion::NotOurs) {
            m_journal.Record({{"event", "leftover"},
                              {"path", ToUtf8(copy.path)},
                              {"removed", false},
                              {"reason", kLeftoverLink}});
        }
    }
    m_model.Change().copiesInFlight = std::move(still);
    Save();
}

HRESULT Service::CountFault(std::wstring_view interfaceName, std::wstring_view method,
                            const std::wstring* firstArgument, std::optional<FaultHit>& hit) {
    // The rules are counted on a copy, so that a call that no rule names copies no state.
    std::vector<FaultRule> faults = m_model.State().faults;
    bool changed = false;
    hit = TakeFault(faults, interfaceName, method, firstArgument, changed);
    if (!changed) {
        return S_OK;
    }
    // Saved at once, so that the count holds across a crash.
    m_model.Change().faults = std::move(faults);
    const HRESULT hr = Save();
    if (FAILED(hr)) {
        hit.reset();
    }
    return hr;
}

const ServiceState& Service::CurrentState() {
    const std::lock_guard<std::mutex> lock(m_lock);
    Refresh();
    return m_model.State();
}

void Service::Crash(HRESULT hr) {
    // Like a service that dies inside a call: no clean-up and no journal of later events. Only the class
    // objects go first, as the system would take them back from a dead server on Windows.
    RevokeClassObjects();
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(hr));
    ExitProcess(static_cast<UINT>(hr));
}

HRESULT Service::CheckCreate(const std::wstring& interfaceName) noexcept {
    const CallUnderWay underWay(*this);
    const std::lock_guard<std::mutex> lock(m_lock);
    try {
        return CheckCreateLocked(interfaceName);
    } catch (...) {
        return Abandon();
    }
}

HRESULT Service::CheckCreateLocked(const std::wstring& interfaceName) {
    if (Stopping()) {
        return kServerStopping;
    }
    Refresh();
    if (m_problem) {
        return S_OK; // the calls report it
    }
    std::optional<FaultHit> hit;
    if (const HRESULT hr = CountFault(interfaceName, L"CreateInstance", nullptr, hit); FAILED(hr)) {
        m_journal.RecordRefusedCreate(interfaceName, hr);
        return hr;
    }
    if (!hit) {
        return S_OK;
    }
    if (hit->action == FaultAction::Crash) {
        // Like a call that crashes, the creation journals itself first.
        m_journal.Record({{"event", "create"},
                          {"interface", ToUtf8(interfaceName)},
                          {"hr", HresultText(hit->hr)},
                          {"fault", FaultActionName(hit->action)}});
        Crash(hit->hr);
    }
    if (hit->action == FaultAction::Hang) {
        // With the lock held: the whole service hangs, until the hang is over or the emulator stops.
        WaitForSingleObject(m_stopping.get(), kHangMilliseconds);
    }
    m_journal.RecordRefusedCreate(interfaceName, hit->hr);
    return hit->hr;
}

int Service::ObjectCreated(const std::wstring& interfaceName) noexcept {
    const std::lock_guard<std::mutex> lock(m_lock);
    try {
        return m_journal.RecordCreate(interfaceName);
    } catch (...) {
        return 0; // an object without a journal number still serves
    }
}

void Service::ObjectReleased(int object) noexcept {
    const std::lock_guard<std::mutex> lock(m_lock);
    try {
        m_journal.RecordRelease(object);
    } catch (...) {
        // released all the same
    }
}

HRESULT Service::Abandon() noexcept {
    HRESULT hr = E_UNEXPECTED;
    try {
        throw;
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    } catch (...) {
    }
    try {
        m_model.Rollback();
        m_loaded = false;
        Refresh();
    } catch (...) {
        m_loaded = false; // the next call reads the state again
    }
    return hr;
}

HRESULT Service::Outside(const Work& work) {
    HRESULT hr = E_UNEXPECTED;
    {
        // Other calls take the lock meanwhile, each on its own thread; this call waits for nobody's work.
        m_lock.unlock();
        struct Relock {
            std::mutex& lock;
            ~Relock() { lock.lock(); }
        } relock{m_lock};
        hr = work(m_stopping.get());
    }
    if (Stopping()) {
        return kServerStopping;
    }
    Refresh();
    return m_problem ? m_problemCode : hr;
}

HRESULT Service::Run(CallInfo call, const Body& body, ReplyTarget* reply) noexcept {
    const CallUnderWay underWay(*this);
    const std::lock_guard<std::mutex> lock(m_lock);
    try {
        return RunLocked(std::move(call), body, reply);
    } catch (...) {
        return Abandon();
    }
}

HRESULT Service::RunLocked(CallInfo call, const Body& body, ReplyTarget* reply) {
    HRESULT hr = S_OK;
    std::optional<FaultHit> hit;
    std::optional<ReplyShape> shape;
    if (Stopping()) {
        hr = kServerStopping;
    } else if (Refresh(); m_problem) {
        hr = m_problemCode;
    } else {
        std::wstring firstArgument;
        const bool hasString = !call.args.empty() && call.args[0].is_string();
        if (hasString) {
            firstArgument = FromUtf8(call.args[0].get_ref<const std::string&>());
        }
        hr = CountFault(call.interfaceName, call.method, hasString ? &firstArgument : nullptr, hit);
        if (hit) {
            hr = hit->hr;
            if (hit->action == FaultAction::Hang) {
                // With the lock held: the whole service hangs, until the hang is over or the emulator stops.
                WaitForSingleObject(m_stopping.get(), kHangMilliseconds);
            }
        } else if (SUCCEEDED(hr)) {
            hr = body(m_model);
            if (reply != nullptr && SUCCEEDED(hr)) {
                std::vector<ReplyRule> replies = m_model.State().replies;
                bool shaped = false;
                shape = TakeReplyShape(replies, call.interfaceName, call.method, shaped);
                if (shaped) {
                    m_model.Change().replies = std::move(replies);
                }
            }
            if (const HRESULT saved = Save(); FAILED(saved)) {
                hr = saved;
                shape.reset();
            }
            if (reply != nullptr && SUCCEEDED(hr)) {
                hr = WriteReply(reply->reply, shape, reply->out, reply->count);
            }
        }
    }

    JournalDisowned();
    ordered_json fields = {{"object", call.object},
                           {"interface", ToUtf8(call.interfaceName)},
                           {"method", ToUtf8(call.method)},
                           {"args", std::move(call.args)},
                           {"hr", HresultText(hr)}};
    if (hit) {
        fields["fault"] = FaultActionName(hit->action);
    }
    if (shape) {
        fields["reply"] = ReplyShapeName(*shape);
    }
    m_journal.Record(fields);
    if (hit && hit->action == FaultAction::Crash) {
        Crash(hr);
    }
    return hr;
}

} // namespace quillet::emulator
