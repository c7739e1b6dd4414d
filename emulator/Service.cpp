#include "Service.h"

#include "FaultRules.h"
#include "Refusals.h"
#include "ServerLifetime.h"
#include "win32/UniqueHandle.h"
#include "win32/Utf8.h"
#include "win32/WholeFile.h"

#include <thread>

namespace quillet::emulator {

using nlohmann::ordered_json;

namespace {

Service* g_instance = nullptr;

// How long a "hang" fault blocks the call before it fails.
constexpr DWORD kHangMilliseconds = 30000;

} // namespace

Service::Service(DataDirectory directory)
    : m_directory(std::move(directory)), m_model(m_directory.cacheFolder),
      m_journal(m_directory.journalPath) {}

Service& Service::Instance() {
    return *g_instance;
}

void Service::SetInstance(Service* service) {
    g_instance = service;
}

void Service::Start() {
    m_directory.Create();
    m_journal.Resume();
    Refresh();
}

void Service::Refresh() {
    FileStamp stamp = FileStamp::Of(m_directory.statePath);
    if (m_loaded && stamp == m_stamp) {
        return;
    }
    m_loaded = true;
    m_stamp = stamp;
    m_problem.reset();
    if (!stamp.exists) {
        // Someone may have deleted the whole data directory: the journal and the cache folder live there.
        m_directory.Create();
        m_model.Replace(StateFromJson(ordered_json::object(), m_directory.cacheFolder));
        return;
    }
    std::string content;
    if (const HRESULT hr = ReadWholeFile(m_directory.statePath, content); FAILED(hr)) {
        m_problem = "state.json cannot be read (" + HresultText(hr) + ")";
        m_loaded = false; // try again on the next call
        return;
    }
    try {
        // The parser's complaints say where the text stops being JSON; the state's name the field.
        m_model.Replace(StateFromJson(ordered_json::parse(content), m_directory.cacheFolder));
    } catch (const std::exception& problem) {
        m_problem = std::string("state.json: ") + problem.what();
    }
}

HRESULT Service::Save() {
    if (!m_model.Changed()) {
        return S_OK;
    }
    m_directory.Create();
    const HRESULT hr = ReplaceWholeFile(m_directory.statePath, StateText(m_model.State()));
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
    const std::lock_guard<std::mutex> lock(m_lock);
    try {
        return CheckCreateLocked(interfaceName);
    } catch (...) {
        return Abandon();
    }
}

HRESULT Service::CheckCreateLocked(const std::wstring& interfaceName) {
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
        Sleep(kHangMilliseconds); // with the lock held: the whole service hangs
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

HRESULT Service::Outside(const std::function<HRESULT()>& work) {
    // The work runs on a thread of its own while this, the apartment's thread, waits for it and serves the
    // calls that arrive meanwhile; they find the lock free.
    HRESULT hr = E_UNEXPECTED;
    const UniqueHandle done(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!done) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    {
        m_lock.unlock();
        struct Relock {
            std::mutex& lock;
            ~Relock() { lock.lock(); }
        } relock{m_lock};
        std::thread worker([&] {
            try {
                hr = work();
            } catch (...) {
                hr = E_UNEXPECTED; // no exception may end the process from a thread of its own
            }
            SetEvent(done.get());
        });
        HANDLE handle = done.get();
        DWORD index = 0;
        CoWaitForMultipleHandles(0, INFINITE, 1, &handle, &index);
        worker.join();
    }
    Refresh();
    return m_problem ? kStateUnreadable : hr;
}

HRESULT Service::Run(CallInfo call, const Body& body, ReplyTarget* reply) noexcept {
    const std::lock_guard<std::mutex> lock(m_lock);
    try {
        return RunLocked(std::move(call), body, reply);
    } catch (...) {
        return Abandon();
    }
}

HRESULT Service::RunLocked(CallInfo call, const Body& body, ReplyTarget* reply) {
    Refresh();
    HRESULT hr = S_OK;
    std::optional<FaultHit> hit;
    std::optional<ReplyShape> shape;
    if (m_problem) {
        hr = kStateUnreadable;
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
                Sleep(kHangMilliseconds); // with the lock held: the whole service hangs
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
