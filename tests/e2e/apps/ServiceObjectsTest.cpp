#include "AppsFixture.h"

#include <map>

namespace quillet::testing {
namespace {

std::vector<std::string> Client(int object) {
    const std::string k = std::to_string(object);
    return {"create IStreamingClient " + k,       k + " Initialize(pid)", k + " StartClient() 0xA0044011",
            k + " InitApplications() 0xA0044021", k + " Uninitialize()",  "release " + k};
}

std::vector<std::string> Application(int object, const std::vector<std::string>& calls) {
    const std::string k = std::to_string(object);
    std::vector<std::string> trail{"create IStreamingApplication " + k, k + " Initialize(pid)"};
    for (const std::string& call : calls) {
        trail.push_back(k + " " + call);
    }
    trail.insert(trail.end(), {k + " Uninitialize()", "release " + k});
    return trail;
}

// One command, every object it makes: the client start, the existence check, the name, the client start
// of the state change and the state change itself, each on an object of its own.
TEST_F(AppsTest, EachOperationMakesInitialisesAndReleasesItsOwnObject) {
    Scenario().Client(4).App(kAlpha, L"Alpha", 1).Write();
    const RunResult result = Quillet({L"application", L"start", kAlpha});
    ASSERT_EQ(result.exitCode, 0u);
    const std::string alpha = "\"" + ToUtf8(kAlpha) + "\"";
    std::vector<std::string> expected;
    for (const auto& part : {
             Client(1),
             Application(2, {"GetApplicationProperties(" + alpha + ", 1)"}),
             Application(3, {"GetApplicationProperties(" + alpha + ", 2)"}),
             Client(4),
             Application(5, {"GetApplicationProperties(" + alpha + ", 1)", "LoadApplication(" + alpha + ")",
                             "MountApplication(" + alpha + ")", "StartApplication(" + alpha + ")"}),
         }) {
        expected.insert(expected.end(), part.begin(), part.end());
    }
    EXPECT_EQ(Trail(Journal(), result.processId), expected);
}

struct LifetimeCase {
    const char* name;
    Scenario scenario;
    std::vector<std::wstring> args;
};

class ObjectLifetime : public AppsTest, public ::testing::WithParamInterface<LifetimeCase> {};

// Whatever the command: each object's first call is Initialize with Quillet's process id, an application
// object that was initialised is uninitialised last, and every object is released before the operation
// that made it returns (objects close in the reverse order of their creation).
TEST_P(ObjectLifetime, ObjectsLiveForOneOperation) {
    GetParam().scenario.Write();
    const RunResult result = Quillet(GetParam().args);
    std::vector<std::string> open;
    std::map<std::string, std::vector<std::string>> calls; // object -> its calls
    std::map<std::string, std::string> interfaces;
    for (const std::string& line : Trail(Journal(), result.processId)) {
        if (line.starts_with("create ")) {
            const std::string interface = line.substr(7, line.find(' ', 7) - 7);
            const std::string object = line.substr(line.rfind(' ') + 1);
            ASSERT_FALSE(object.starts_with("0x")) << "no creation fails here";
            open.push_back(object);
            interfaces[object] = interface;
        } else if (line.starts_with("release ")) {
            const std::string object = line.substr(8);
            ASSERT_FALSE(open.empty());
            EXPECT_EQ(open.back(), object) << "released out of order";
            open.pop_back();
        } else {
            const std::string object = line.substr(0, line.find(' '));
            calls[object].push_back(line.substr(object.size() + 1));
        }
    }
    EXPECT_TRUE(open.empty()) << "objects left unreleased";
    EXPECT_GE(interfaces.size(), 2u);
    for (const auto& [object, made] : calls) {
        ASSERT_FALSE(made.empty());
        EXPECT_EQ(made.front(), "Initialize(pid)") << object;
        if (interfaces[object] == "IStreamingApplication") {
            EXPECT_EQ(made.back(), "Uninitialize()") << object;
            EXPECT_GE(made.size(), 3u) << object;
        }
    }
}

// clang-format off
const LifetimeCase kLifetimeCases[] = {
    {"GetIdList", Scenario().Client(0).App(kAlpha, L"Alpha", 1), {L"application", L"getIdList"}},
    {"RemoveWithStopWait", Scenario().Client(4).App(kAlpha, L"Alpha", 64, 2),
     {L"application", L"remove", kAlpha}},
    {"StopAll", Scenario().Client(4).App(kAlpha, L"Alpha", 64).App(kBeta, L"Beta", 1),
     {L"application", L"stop", L"all"}},
    {"RunCmd", Scenario().Client(4).App(kAlpha, L"Alpha", 16), {L"application", L"run-cmd", kAlpha, L"x.exe"}},
    {"FailingStep", Scenario().Client(4).App(kAlpha, L"Alpha", 1).Fault("MountApplication", kFail),
     {L"application", L"start", kAlpha, L"p"}},
    {"RefusedAdd", Scenario().Client(4), {L"application", L"add", L"http://127.0.0.1:1/token"}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Application, ObjectLifetime, ::testing::ValuesIn(kLifetimeCases),
                         [](const auto& instance) { return std::string(instance.param.name); });

} // namespace
} // namespace quillet::testing
