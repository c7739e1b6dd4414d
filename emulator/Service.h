#pragma once

#include "DataDirectory.h"
#include "FaultRules.h"
#include "FileStamp.h"
#include "Journal.h"
#include "Reply.h"
#include "ServiceModel.h"
#include "win32/UniqueHandle.h"

#include <windows.h>

#include <nlohmann/json.hpp>

#include <condition_variable>
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
// on the threads of the multithreaded apartment, several at once; one lock guards the state, its file and
// the journal, and no call holds it while it waits for slow work.
class Service {
public:
    explicit Service(DataDirectory directory);

    static Service& Instance();
    static void SetInstance(Service* service);

    // Prepares the data directory, reads the state and removes what copies cut short by a crash left.
    void Start();

    // Creation through a class factory: S_OK, or the HRESULT of a CreateInstance fault.
    // No exception crosses COM: a call that throws (memory ran out, say) fails and keeps no change.
    HRESULT CheckCreate(const std::wstring& interfaceName) noexcept;
    int ObjectCreated(const std::wstring& interfaceName) noexcept;
    void ObjectReleased(int object) noexcept;

    using Body = std::function<HRESULT(ServiceModel&)>;
    HRESULT Run(CallInfo call, const Body& body, ReplyTarget* reply = nullptr) noexcept;

    // From inside a body, before it changes anything: runs slow work (a token fetch, a file copy) without
    // the lock, so that other calls go on meanwhile, then takes the lock back and reads the state again,
    // which another call may have changed. work gets the stop's event and ends early once it is set. The
    // work's result; the state's problem when it cannot be read any more; kServerStopping once the
    // emulator stops.
    using Work = std::function<HRESULT(HANDLE stopping)>;
    HRESULT Outside(const Work& work);

    // From inside a body: saves what it has changed so far (a copy is recorded before it starts).
    HRESULT SaveNow();

    // The stop: slow work and hang faults end at once, and every call from then on fails with
    // kServerStopping, which its client sees.
    void Stop() noexcept;
    // Waits until no call is under way; false when timeoutMs passed first.
    bool WaitForCalls(DWORD timeoutMs);

    // The state as the next call would see it, and why it cannot be read (state.json, or the data
    // directory), if it cannot: the HRESULT every call then fails with, and the reason for a person.
    const ServiceState& CurrentState();
    const std::optional<std::string>& StateProblem() const { return m_problem; }
    HRESULT ProblemCode() const { return m_problemCode; }

private:
    // Counts a call from its start to its end, for WaitForCalls.
    class CallUnderWay {
    public:
        explicit CallUnderWay(Service& service);
        ~CallUnderWay();
        CallUnderWay(const CallUnderWay&) = delete;
        CallUnderWay& operator=(const CallUnderWay&) = delete;

    private:
        Service& m_service;
    };

    HRESULT CheckCreateLocked(const std::wstring& interfaceName);
    HRESULT RunLocked(CallInfo call, const Body& body, ReplyTarget* reply);
    // In a catch block: the call's change is dropped and the state read again. E_OUTOFMEMORY or E_UNEXPECTED.
    HRESULT Abandon() noexcept;
    void Refresh();
    // Prepares the data directory when it is missing or not yet checked; the problem when it is refused.
    HRESULT EnsureDirectory();
    // Saves a change (S_OK when there is none); on failure the change is rolled back.
    HRESULT Save();
    void JournalDisowned();
    // Removes what copies of a process that no longer runs left, when it is still the file they made.
    void RemoveLeftoverCopies();
    bool Stopping() const;
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
    bool m_directoryReady = false;
    std::optional<std::string> m_problem;
    HRESULT m_problemCode = S_OK;
    UniqueHandle m_stopping;
    std::mutex m_callsLock;
    std::condition_variable m_callsDone;
    int m_calls = 0;
};

} // namespace quillet::emulator
