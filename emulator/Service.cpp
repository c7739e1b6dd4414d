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
        // The parser's complaints name the byte offset; the state's name the field.
        m_model.Replace(StateFromJson(ordered_json::parse(content), m_directory.cacheFolder));
    } catch (const std::exception& problem) {
        m_problem = std::string("state.json: ") + problem.what();
    }
    m_model.ClearChanged();
}

void Service::SaveIfChanged() {
    if (!m_model.Changed()) {
        return;
    }
    m_model.ClearChanged();
    if (SUCCEEDED(ReplaceWholeFile(m_directory.statePath, StateText(m_model.State())))) {
        m_stamp = FileStamp::Of(m_directory.statePath);
    }
}

const ServiceState& Service::CurrentState() {
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

HRESULT Service::CheckCreate(const std::wstring& interfaceName) {
    Refresh();
    if (m_problem) {
        return S_OK; // the calls report it
    }
    bool changed = false;
    auto hit = TakeFault(m_model.UnmarkedState().faults, interfaceName, L"CreateInstance", nullptr, changed);
    if (changed) {
        m_model.MarkChanged();
        SaveIfChanged();
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
        Sleep(kHangMilliseconds);
    }
    m_journal.RecordRefusedCreate(interfaceName, hit->hr);
    return hit->hr;
}

int Service::ObjectCreated(const std::wstring& interfaceName) {
    return m_journal.RecordCreate(interfaceName);
}

void Service::ObjectReleased(int object) {
    m_journal.RecordRelease(object);
}

HRESULT Service::Run(CallInfo& call, const Body& body, ReplyTarget* reply) {
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
        bool changed = false;
        hit = TakeFault(m_model.UnmarkedState().faults, call.interfaceName, call.method,
                        hasString ? &firstArgument : nullptr, changed);
        if (changed) {
            m_model.MarkChanged();
            SaveIfChanged();
        }
        if (hit) {
            hr = hit->hr;
            if (hit->action == FaultAction::Hang) {
                Sleep(kHangMilliseconds);
            }
        } else {
            hr = body(m_model);
            if (reply != nullptr && SUCCEEDED(hr)) {
                bool shaped = false;
                shape =
                    TakeReplyShape(m_model.UnmarkedState().replies, call.interfaceName, call.method, shaped);
                if (shaped) {
                    m_model.MarkChanged();
                }
                if (HRESULT written = WriteReply(reply->reply, shape, reply->out, reply->count);
                    FAILED(written)) {
                    hr = written;
                }
            }
            SaveIfChanged();
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
