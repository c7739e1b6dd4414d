#pragma once

// The emulator's rules as cases: a scenario, the calls one client makes from the test's process with what
// each returns, and what state.json, the journal and the files hold afterwards:
//   {Do(&App::LoadApplication, kAlpha), kInvalidState}
//   {Do(&App::GetApplicationProperties, kAlpha, 3), S_OK, "[I4 16, BSTR Alpha, EMPTY x38]"}

#include "Constants.h"
#include "Emulator.h"
#include "InProcess.h"
#include "Journal.h"
#include "Scenario.h"
#include "StreamingService.h"
#include "service/Bstr.h"
#include "service/ComPtr.h"
#include "win32/UniqueVariant.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <tuple>

namespace quillet::testing {

using App = IStreamingApplication;
using Client = IStreamingClient;
using Cache = IStreamingCache;
using nlohmann::ordered_json;

inline constexpr DWORD kNotReady = 0x80070015;   // applications not initialised
inline constexpr DWORD kUnexpected = 0x8000FFFF; // an object used before Initialize or after Uninitialize
inline constexpr DWORD kFileExists = 0x80070050; // a file in the way that the emulator did not make

// One client's objects: each created and initialised with this process's id when a call first needs it,
// unless a Create step made it.
class Objects {
public:
    template <class I> ComPtr<I>& Slot() { return std::get<ComPtr<I>>(m_objects); }
    template <class I> HRESULT Get(I*& object) {
        const bool made = !Slot<I>();
        HRESULT hr = made ? Create<I>() : S_OK;
        hr = made && SUCCEEDED(hr) ? Slot<I>()->Initialize(GetCurrentProcessId()) : hr;
        object = Slot<I>().get();
        return hr;
    }
    template <class I> HRESULT Create() {
        const CLSID& clsid = std::is_same_v<I, App>      ? CLSID_StreamingApplication
                             : std::is_same_v<I, Client> ? CLSID_StreamingClient
                                                         : CLSID_StreamingCache;
        return CreateLocalServerObject(clsid, __uuidof(I), Slot<I>());
    }

    uint64_t journal = emulator::JournalLength(); // where the journal stood when the objects came

private:
    std::tuple<ComPtr<App>, ComPtr<Client>, ComPtr<Cache>> m_objects;
};

// A reply as text: "EMPTY", "I4 7", "null array", "[I1 67, BSTR C:\x, EMPTY x3]" (a run of equal elements
// once, with its length), "from 1 [...]" for another lower bound; a date is 0 or set.
inline std::string ElementText(const Element& element) {
    const VARIANT& v = element.value;
    // clang-format off
    const std::map<VARTYPE, std::string> texts = {
        {VT_EMPTY, "EMPTY"}, {VT_I1, "I1 " + std::to_string(v.cVal)}, {VT_I4, "I4 " + std::to_string(v.lVal)},
        {VT_I8, "I8 " + std::to_string(v.llVal)}, {VT_BOOL, "BOOL " + std::to_string(v.boolVal)}, {VT_DATE, v.date == 0 ? "DATE 0" : "DATE set"},
        {VT_BSTR, "BSTR " + (element.nullString ? std::string("null") : ToUtf8(element.text))}};
    // clang-format on
    return texts.contains(v.vt) ? texts.at(v.vt) : "VT " + std::to_string(v.vt);
}

inline std::string Render(const VARIANT& reply) {
    if (reply.vt != (VT_ARRAY | VT_VARIANT)) {
        return ElementText(Element{reply});
    }
    if (reply.parray == nullptr) {
        return "null array";
    }
    const ReplyView view = ViewOf(reply);
    std::string text = view.lowerBound != 0 ? "from " + std::to_string(view.lowerBound) + " [" : "[";
    for (size_t i = 0, run = 1; i < view.elements.size(); i += run) {
        const std::string item = ElementText(view.elements[i]);
        for (run = 1; i + run < view.elements.size() && ElementText(view.elements[i + run]) == item; ++run) {
        }
        text += (i == 0 ? "" : ", ") + item + (run > 1 ? " x" + std::to_string(run) : "");
    }
    return text + "]";
}

// One parameter of a call: an argument made from the case's value (text as a BSTR), or an out parameter
// read back as text.
template <class P> struct Slot {
    P value{};
    template <class V> void Set(V given) { value = static_cast<P>(given); }
    P Pass() { return value; }
};
template <> struct Slot<BSTR> {
    UniqueBstr value;
    void Set(std::nullptr_t) {}
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

// A call: its HRESULT, and its out parameters as text, "; " between two.
using Call = std::function<HRESULT(Objects&, std::string& out)>;

template <class I, class... P, class... A> Call Do(HRESULT (STDMETHODCALLTYPE I::*method)(P...), A... given) {
    return [=](Objects& objects, std::string& out) {
        I* object = nullptr;
        if (const HRESULT hr = objects.Get(object); FAILED(hr)) {
            return hr;
        }
        std::tuple<Slot<P>...> slots;
        const auto values = std::make_tuple(given...);
        [&]<size_t... K>(std::index_sequence<K...>) {
            (std::get<K>(slots).Set(std::get<K>(values)), ...);
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

// A new object in the case's slot, not yet initialised: the creation's HRESULT.
template <class I> Call Create() {
    return [](Objects& objects, std::string&) { return objects.Create<I>(); };
}

inline Call Act(std::function<void()> action) {
    return [action](Objects&, std::string&) { return action(), S_OK; };
}

// SetCacheSettings with what GetCacheLocation gave, elements replaced ({index, type, number or text}).
// clang-format off
struct Put { LONG index; VARTYPE vt; long long number = 0; std::wstring text = {}; };
// clang-format on
inline Call Settings(std::vector<Put> puts) {
    return [=](Objects& objects, std::string&) {
        Cache* cache = nullptr;
        UniqueVariant settings;
        HRESULT hr = objects.Get(cache);
        hr = SUCCEEDED(hr) ? cache->GetCacheLocation(0, settings.put()) : hr;
        for (const Put& put : puts) {
            UniqueVariant value;
            value.vt = put.vt;
            value.llVal = put.number; // I1 and I4 read the low bytes of the union
            value.bstrVal = put.vt == VT_BSTR ? SysAllocString(put.text.c_str()) : value.bstrVal;
            LONG index = put.index;
            hr = SUCCEEDED(hr) ? SafeArrayPutElement(settings.parray, &index, &value) : hr;
        }
        return SUCCEEDED(hr) ? cache->SetCacheSettings(settings) : hr;
    };
}

// A call, the HRESULT it returns and the text of its out parameters (empty: not checked).
// clang-format off
struct Step { Call call; DWORD hr = S_OK; std::string out; };
// clang-format on

struct Case {
    std::string name;
    std::optional<Scenario> scenario; // written before the first step
    std::vector<Step> steps;
    std::string state; // JSON that state.json then holds: the members named, each array at its length
};

// A file's content as the step's out, "(missing)" when there is none.
inline Call File(std::wstring path) {
    return [path](Objects&, std::string& out) {
        const bool missing = GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
        return out = missing ? "(missing)" : emulator::ReadDataFile(path), S_OK;
    };
}

// The journal lines of the case so far as the step's out (Journal.h), " | " between two.
inline Call Calls(CallFilter only) {
    return [only](Objects& objects, std::string& out) {
        for (const std::string& call :
             CallView(emulator::ReadJournal(objects.journal), GetCurrentProcessId(), only)) {
            out += (out.empty() ? "" : " | ") + call;
        }
        return S_OK;
    };
}

// Whether actual holds expected: every member that expected names, arrays of the same length.
inline bool Holds(const ordered_json& actual, const ordered_json& expected) {
    if (!expected.is_structured() || actual.type() != expected.type() || actual.size() < expected.size()) {
        return actual == expected;
    }
    bool holds = !expected.is_array() || actual.size() == expected.size();
    for (auto it = expected.begin(); holds && it != expected.end(); ++it) {
        const auto at =
            expected.is_array() ? actual.begin() + (it - expected.begin()) : actual.find(it.key());
        holds = at != actual.end() && Holds(*at, *it);
    }
    return holds;
}

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
    if (const ordered_json state = test.state.empty() ? ordered_json() : emulator::ReadState();
        !test.state.empty() && !Holds(state, ordered_json::parse(test.state))) {
        ADD_FAILURE_AT(file, line) << test.name << ": state.json holds " << state.dump() << "\n  expected "
                                   << test.state;
    }
}
#define EXPECT_CASE(...)                                                                                     \
    ::quillet::testing::ExpectCase_(__FILE__, __LINE__, ::quillet::testing::Case{__VA_ARGS__})

// Alpha in state, the client in its state.
inline Scenario One(long long state, int client = 4, int stopPolls = 0) {
    return Scenario().Client(client).App(kAlpha, L"Alpha", state, {.stopPolls = stopPolls});
}

// Every test starts with the emulator resident, its defaults and an empty journal, in an apartment.
class Emulator : public ::testing::Test {
protected:
    void SetUp() override { emulator::Reset(); }

private:
    emulator::Apartment m_apartment;
};

} // namespace quillet::testing
