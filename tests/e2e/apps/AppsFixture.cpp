#include "AppsFixture.h"

namespace quillet::testing {

namespace {

std::string Member(const json::Value& line, std::string_view key) {
    const json::Value* value = line.Find(key);
    if (value == nullptr) {
        return {};
    }
    return value->IsString() ? value->AsString() : json::WriteCompact(*value);
}

bool IsCall(const json::Value& line) {
    return line.Find("method") != nullptr;
}

bool Succeeded(const json::Value& line) {
    const std::string hr = Member(line, "hr");
    return hr.empty() || hr == "0x00000000";
}

} // namespace

std::vector<std::string> Trail(const std::vector<json::Value>& journal, DWORD processId) {
    std::vector<std::string> trail;
    for (const json::Value& line : journal) {
        const std::string event = Member(line, "event");
        if (event == "create") {
            // A refused creation has its HRESULT in place of an object number.
            trail.push_back("create " + Member(line, "interface") + " " +
                            (line.Find("object") != nullptr ? Member(line, "object") : Member(line, "hr")));
        } else if (event == "release") {
            trail.push_back("release " + Member(line, "object"));
        } else if (IsCall(line)) {
            std::string args;
            if (const json::Value* list = line.Find("args")) {
                for (const json::Value& arg : list->Items()) {
                    const bool isProcessId = arg.IsInteger() &&
                                             arg.AsInteger() == static_cast<long long>(processId) &&
                                             Member(line, "method") == "Initialize";
                    args += (args.empty() ? "" : ", ") +
                            (isProcessId ? std::string("pid") : json::WriteCompact(arg));
                }
            }
            trail.push_back(Member(line, "object") + " " + Member(line, "method") + "(" + args + ")" +
                            (Succeeded(line) ? "" : " " + Member(line, "hr")));
        }
    }
    return trail;
}

std::vector<std::string> LadderCalls(const std::vector<json::Value>& journal) {
    static constexpr std::string_view kLadder[] = {"LoadApplication",
                                                   "MountApplication",
                                                   "RunApplicationCommand",
                                                   "StartApplication",
                                                   "StartApplicationWithParameters",
                                                   "StopApplication",
                                                   "UnmountApplication",
                                                   "UnloadApplication",
                                                   "RemoveApplication"};
    std::vector<std::string> calls;
    for (const json::Value& line : journal) {
        const std::string method = Member(line, "method");
        for (std::string_view step : kLadder) {
            if (method == step) {
                calls.push_back(method + (Succeeded(line) ? "" : " " + Member(line, "hr")));
            }
        }
    }
    return calls;
}

std::vector<json::Value> ArgumentsOf(const std::vector<json::Value>& journal, std::string_view method) {
    std::vector<json::Value> calls;
    for (const json::Value& line : journal) {
        if (Member(line, "method") == method) {
            const json::Value* args = line.Find("args");
            calls.push_back(args != nullptr ? *args : json::Value::MakeArray());
        }
    }
    return calls;
}

bool Called(const std::vector<json::Value>& journal, std::string_view method) {
    return !ArgumentsOf(journal, method).empty();
}

long long AppState(std::wstring_view guid) {
    const json::Value state = emulator::ReadState();
    if (const json::Value* applications = state.Find("applications")) {
        for (const json::Value& app : applications->Items()) {
            if (Member(app, "guid") == ToUtf8(guid)) {
                return app.Find("state")->AsInteger();
            }
        }
    }
    return -1;
}

void AppsTest::SetUp() {
    emulator::ClearScenario();
    emulator::ClearJournal();
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
    emulator::ClearJournal();
}

} // namespace quillet::testing
