#pragma once

// The emulator's rules as cases: a scenario, then the calls that one client makes from the test's process,
// each with what it returns and gives back as text, between them what state.json, the journal and files
// hold then:
//   Step(Do(&App::LoadApplication, kAlpha), kInvalidState)
//   Step(Do(&App::GetApplicationProperties, kAlpha, 3), S_OK, "16, Alpha")
//   Step(Saved("/applications/0/state"), S_OK, "4")

#include "Constants.h"
#include "Emulator.h"
#include "Journal.h"
#include "Scenario.h"
#include "StreamingService.h"
#include "service/Bstr.h"
#include "service/ComPtr.h"
#include "service/ServiceObject.h"
#include "win32/UniqueVariant.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

namespace quillet::testing {

using App = IStreamingApplication;
using Client = IStreamingClient;
using Cache = IStreamingCache;
using nlohmann::ordered_json;

inline constexpr DWORD kNotReady = 0x80070015;   // applications not initialised
inline constexpr DWORD kFileExists = 0x80070050; // a file in the way that the emulator did not make

// One client's objects, each created and initialised with this process's id when a call first needs it.
struct Objects {
    std::tuple<ComPtr<App>, ComPtr<Client>, ComPtr<Cache>> slots;
    uint64_t journal = emulator::JournalLength(); // where the journal stood when they came

    template <class I> HRESULT Get(I*& object) {
        ComPtr<I>& slot = std::get<ComPtr<I>>(slots);
        const CLSID& clsid = std::is_same_v<I, App>      ? CLSID_StreamingApplication
                             : std::is_same_v<I, Client> ? CLSID_StreamingClient
                                                         : CLSID_StreamingCache;
        const bool made = !slot;
        HRESULT hr = made ? CreateLocalServerObject(clsid, __uuidof(I), slot) : S_OK;
        hr = made && SUCCEEDED(hr) ? slot->Initialize(GetCurrentProcessId()) : hr;
        object = slot.get();
        return hr;
    }
};

// A reply as text: its elements that hold something, ", " between two, a string as its text and a number
// as its 32-bit value ("16, Alpha" for a state and a name; a properties reply's empty elements are left out).
inline std::string Render(const VARIANT& reply) {
    std::string text;
    void* data = nullptr;
    if (reply.vt != (VT_ARRAY | VT_VARIANT) || FAILED(SafeArrayAccessData(reply.parray, &data))) {
        return text;
    }
    const VARIANT* elements = static_cast<const VARIANT*>(data);
    for (ULONG i = 0; i < reply.parray->rgsabound[0].cElements; ++i) {
        const VARIANT& v = elements[i];
        if (v.vt == VT_EMPTY) {
            continue;
        }
        text += text.empty() ? "" : ", ";
        if (v.vt != VT_BSTR) {
            text += std::to_string(v.lVal);
        } else if (v.bstrVal != nullptr) {
            text += ToUtf8({v.bstrVal, SysStringLen(v.bstrVal)});
        }
    }
    SafeArrayUnaccessData(reply.parray);
    return text;
}

// One parameter of a call: an argument made from the case's value (text as a BSTR), or an out parameter
// read back as text.
template <class P> struct Slot {
    P value{};
    void Set(auto given) { value = static_cast<P>(given); }
    P Pass() { return value; }
};
template <> struct Slot<BSTR> {
    UniqueBstr value;
    void Set(std::wstring_view text) { value = UniqueBstr::Copy(text); }
    BSTR Pass() { return value.get(); }
};
template <class T> struct Slot<T*> {
    T value{};
    T* Pass() { return &value; }
    std::string Text() const { return std::to_string(value); }
};
template <> struct Slot<BSTR*> {
    UniqueBstr value;
    BSTR* Pass() { return value.put(); }
    std::string Text() const { return value ? ToUtf8(*value.Text()) : "null"; }
};
template <> struct Slot<VARIANT*> {
    UniqueVariant value;
    VARIANT* Pass() { return value.put(); }
    std::string Text() const { return Render(value); }
};

// A call: its HRESULT, and what it gives back as text ("; " between two out parameters).
using Call = std::function<HRESULT(Objects&, std::string& out)>;

template <class I, class... P, class... A> Call Do(HRESULT (STDMETHODCALLTYPE I::*method)(P...), A... given) {
    return [=](Objects& objects, std::string& out) {
        I* object = nullptr;
        if (const HRESULT hr = objects.Get(object); FAILED(hr)) {
            return hr;
        }
        std::tuple<Slot<P>...> slots;
        [&]<size_t... K>(std::index_sequence<K...>) {
            (std::get<K>(slots).Set(std::get<K>(std::make_tuple(given...))), ...);
        }
        (std::index_sequence_for<A...>());
        const HRESULT hr =
            std::apply([&](auto&... slot) { return (object->*method)(slot.Pass()...); }, slots);
        const auto append = [&](const auto& slot) {
            if constexpr (requires { slot.Text(); }) {
                out += (out.empty() ? "" : "; ") + slot.Text();
            }
        };
        std::apply([&](const auto&... slot) { (append(slot), ...); }, slots);
        return hr;
    };
}

inline Call Act(std::function<void()> action) {
    return [action](Objects&, std::string&) { return action(), S_OK; };
}

// A file's content, "(missing)" when there is none.
inline Call File(std::wstring path) {
    return [path](Objects&, std::string& out) {
        const bool missing = GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
        return out = missing ? "(missing)" : emulator::ReadDataFile(path), S_OK;
    };
}

// The journal's lines since the objects came (Journal.h), " | " between two.
inline Call Calls(CallFilter only) {
    return [only](Objects& objects, std::string& out) {
        for (const std::string& call :
             CallView(emulator::ReadJournal(objects.journal), GetCurrentProcessId(), only)) {
            out += (out.empty() ? "" : " | ") + call;
        }
        return S_OK;
    };
}

// Why the emulator left files alone since the objects came: the reasons that its journal gives, " | "
// between two.
inline Call Disowned() {
    return [](Objects& objects, std::string& out) {
        for (const ordered_json& line : emulator::ReadJournal(objects.journal)) {
            out +=
                line.contains("reason") ? (out.empty() ? "" : " | ") + line["reason"].get<std::string>() : "";
        }
        return S_OK;
    };
}

// What state.json holds at a JSON pointer ("/client/state"), as compact JSON; null when nothing.
inline Call Saved(std::string pointer) {
    return [pointer](Objects&, std::string& out) {
        const ordered_json::json_pointer at(pointer);
        return out = emulator::ReadState().value(at, ordered_json()).dump(), S_OK;
    };
}

// A call, the HRESULT it returns and what it gives back (empty: not checked).
struct Step {
    Step(Call what, DWORD returns = S_OK, std::string gives = {})
        : call(std::move(what)), hr(returns), out(std::move(gives)) {}
    Call call;
    DWORD hr;
    std::string out;
};

struct Case {
    std::string name;
    std::optional<Scenario> scenario; // written before the first step
    std::vector<Step> steps;
};

inline void ExpectCase_(const char* file, int line, const Case& test) {
    if (test.scenario) {
        test.scenario->Write();
    }
    Objects objects;
    for (size_t i = 0; i < test.steps.size(); ++i) {
        std::string out;
        const Step& step = test.steps[i];
        const HRESULT hr = step.call(objects, out);
        if (static_cast<DWORD>(hr) != step.hr || (!step.out.empty() && out != step.out)) {
            ADD_FAILURE_AT(file, line) << test.name << ", step " << i + 1 << ": " << Hex(hr) << " " << out
                                       << "\n  expected: " << Hex(step.hr) << " " << step.out;
        }
    }
}
#define EXPECT_CASE(...)                                                                                     \
    ::quillet::testing::ExpectCase_(__FILE__, __LINE__, ::quillet::testing::Case{__VA_ARGS__})

// Alpha in state, the client in its state.
inline Scenario One(long long state, int client = 4, int stopPolls = 0) {
    return Scenario().Client(client).App(kAlpha, L"Alpha", state, {.stopPolls = stopPolls});
}

// Every test starts with the emulator resident, its defaults and an empty journal, in an apartment.
struct Emulator : ::testing::Test {
    void SetUp() override { emulator::Reset(); }
    const emulator::Apartment apartment;
};

} // namespace quillet::testing
