#pragma once

#include "DataDirectory.h"
#include "FaultRules.h"
#include "FileStamp.h"
#include "Journal.h"
#include "Reply.h"
#include "ServiceModel.h"

#include <windows.h>

#include <nlohmann/json.hpp>

#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace quillet::emulator {

// One call as the journal and the fault rules see it.
struct CallInfo {
    int object = 0;
    const wchar_t* interfaceName = L"";
    const wchar_t* method = L"";
    nlohmann::ordered_json args = nlohmann::ordered_json::array(); // in call order; out parameters left out
};

// Where a query's reply goes: the caller's out VARIANT and, for the list queries, its count.
struct ReplyTarget {
    VARIANT* out = nullptr;
    LONG* count = nullptr;
    Reply reply;
};

// The service behind all objects: runs every call the same way. Reload state.json when it changed on
// disk, let a fault act, otherwise run the operation, save the state when it changed (a change that
// cannot be saved is rolled back and fails the call), shape the reply, and journal the call. Calls arrive
// on the apartment's one thread, and again while a call waits for slow work; one lock guards the state,
// its file and the journal.
class Service {
public:
    explicit Service(DataDirectory directory);

    static Service& Instance();
    static void SetInstance(Service* service);

    void Start();

    // Creation through a class factory: S_OK, or the HRESULT of a CreateInstance fault.
    // No exception crosses COM: a call that throws (memory ran out, say) fails and keeps no change.
    HRESULT CheckCreate(const std::wstring& interfaceName) noexcept;
    int ObjectCreated(const std::wstring& interfaceName) noexcept;
    void ObjectReleased(int object) noexcept;

    using Body = std::function<HRESULT(ServiceModel&)>;
    HRESULT Run(CallInfo call, const Body& body, ReplyTarget* reply = nullptr) noexcept;

    // From inside a body, before it changes anything: runs slow work (a token fetch, a file copy) on a
    // thread of its own, without the lock, and serves other clients' calls while it waits for it, then takes
    // the lock back and reads the state again, which another call may have changed. The work's result, or
    // 0x80070570 when the state cannot be read any more.
    HRESULT Outside(const std::function<HRESULT()>& work);

    // The state as the next call would see it, and why state.json cannot be read, if it cannot.
    const ServiceState& CurrentState();
    const std::optional<std::string>& StateProblem() const { return m_problem; }

private:
    HRESULT CheckCreateLocked(const std::wstring& interfaceName);
    HRESULT RunLocked(CallInfo call, const Body& body, ReplyTarget* reply);
    // In a catch block: the call's change is dropped and the state read again. E_OUTOFMEMORY or E_UNEXPECTED.
    HRESULT Abandon() noexcept;
    void Refresh();
    // Saves a change (S_OK when there is none); on failure the change is rolled back.
    HRESULT Save();
    // Finds the fault that acts on this call and saves its count; the save's failure, if it fails.
    HRESULT CountFault(std::wstring_view interfaceName, std::wstring_view method,
                       const std::wstring* firstArgument, std::optional<FaultHit>& hit);
    [[noreturn]] void Crash(HRESULT hr);

    std::mutex m_lock;
    DataDirectory m_directory;
    ServiceModel m_model;
    Journal m_journal;
    FileStamp m_stamp;
    bool m_loaded = false;
    std::optional<std::string> m_problem;
};

} // namespace quillet::emulator
