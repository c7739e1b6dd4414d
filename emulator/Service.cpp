#include "Service.h"

#include "FaultRules.h"
#include "Refusals.h"
#include "ServerLifetime.h"
#include "json/Utf8.h"

namespace quillet::emulator {

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
        m_model.Replace(StateFromJson(json::Value::MakeObject(), m_directory.cacheFolder));
        return;
    }
    std::string content;
    DWORD error = 0;
    if (!ReadWholeFile(m_directory.statePath, content, error)) {
        m_problem = "state.json cannot be read (error " + std::to_string(error) + ")";
        m_loaded = false; // try again on the next call
        return;
    }
    try {
        m_model.Replace(StateFromJson(json::Parse(content), m_directory.cacheFolder));
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
    std::string text = json::WriteReadable(StateToJson(m_model.State()));
    DWORD error = 0;
    if (WriteFileAtomically(m_directory.statePath, text, error)) {
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
        json::Value fields = json::Value::MakeObject();
        fields.Set("event", "create");
        fields.Set("interface", json::ToUtf8(interfaceName));
        fields.Set("hr", HresultText(hit->hr));
        fields.Set("fault", FaultActionName(hit->action));
        m_journal.Record(std::move(fields));
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
        bool hasString = call.args.Size() > 0 && call.args.Items()[0].IsString();
        if (hasString) {
            firstArgument = json::FromUtf8(call.args.Items()[0].AsString());
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

    json::Value fields = json::Value::MakeObject();
    fields.Set("object", call.object);
    fields.Set("interface", json::ToUtf8(call.interfaceName));
    fields.Set("method", json::ToUtf8(call.method));
    fields.Set("args", std::move(call.args));
    fields.Set("hr", HresultText(hr));
    if (hit) {
        fields.Set("fault", FaultActionName(hit->action));
    }
    if (shape) {
        fields.Set("reply", ReplyShapeName(*shape));
    }
    m_journal.Record(std::move(fields));
    if (hit && hit->action == FaultAction::Crash) {
        Crash(hr);
    }
    return hr;
}

} // namespace quillet::emulator
