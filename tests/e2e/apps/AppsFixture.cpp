#include "AppsFixture.h"

namespace quillet::testing {

using nlohmann::ordered_json;

namespace {

std::string Member(const ordered_json& line, std::string_view key) {
    const auto value = line.find(key);
    if (value == line.end()) {
        return {};
    }
    return value->is_string() ? value->get<std::string>() : value->dump();
}

bool IsCall(const ordered_json& line) {
    return line.contains("method");
}

bool Succeeded(const ordered_json& line) {
    const std::string hr = Member(line, "hr");
    return hr.empty() || hr == "0x00000000";
}

} // namespace

std::vector<std::string> Trail(const std::vector<ordered_json>& journal, DWORD processId) {
    std::vector<std::string> trail;
    for (const ordered_json& line : journal) {
        const std::string event = Member(line, "event");
        if (event == "create") {
            // A refused creation has its HRESULT in place of an object number.
            trail.push_back("create " + Member(line, "interface") + " " +
                            (line.contains("object") ? Member(line, "object") : Member(line, "hr")));
        } else if (event == "release") {
            trail.push_back("release " + Member(line, "object"));
        } else if (IsCall(line)) {
            std::string args;
            for (const ordered_json& arg : line.value("args", ordered_json::array())) {
                const bool isProcessId = arg.is_number_integer() &&
                                         arg.get<long long>() == static_cast<long long>(processId) &&
                                         Member(line, "method") == "Initialize";
                args += (args.empty() ? "" : ", ") + (isProcessId ? std::string("pid") : arg.dump());
            }
            trail.push_back(Member(line, "object") + " " + Member(line, "method") + "(" + args + ")" +
                            (Succeeded(line) ? "" : " " + Member(line, "hr")));
        }
    }
    return trail;
}

std::vector<std::string> LadderCalls(const std::vector<ordered_json>& journal) {
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
    for (const ordered_json& line : journal) {
        const std::string method = Member(line, "method");
        for (std::string_view step : kLadder) {
            if (method == step) {
                calls.push_back(method + (Succeeded(line) ? "" : " " + Member(line, "hr")));
            }
        }
    }
    return calls;
}

std::vector<ordered_json> ArgumentsOf(const std::vector<ordered_json>& journal, std::string_view method) {
    std::vector<ordered_json> calls;
    for (const ordered_json& line : journal) {
        if (Member(line, "method") == method) {
            calls.push_back(line.value("args", ordered_json::array()));
        }
    }
    return calls;
}

bool Called(const std::vector<ordered_json>& journal, std::string_view method) {
    return !ArgumentsOf(journal, method).empty();
}

long long AppState(std::wstring_view guid) {
    for (const ordered_json& app : emulator::ReadState().value("applications", ordered_json::array())) {
        if (Member(app, "guid") == ToUtf8(guid)) {
            return app.at("state").get<long long>();
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
