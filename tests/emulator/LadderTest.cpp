#include "EmulatorTest.h"

namespace quillet::testing {
namespace {

constexpr HRESULT kInvalidState = static_cast<HRESULT>(0x8007139F);
constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070490);
constexpr HRESULT kNotReady = static_cast<HRESULT>(0x80070015);

enum class Op { Load, Mount, Start, StartWithParameters, StartInDesktop, Stop, Unmount, Unload, Remove };

HRESULT Call(IStreamingApplication* application, Op op, const wchar_t* guid) {
    auto id = Bstr(guid);
    auto empty = Bstr(L"");
    switch (op) {
    case Op::Load:
        return application->LoadApplication(id.get());
    case Op::Mount:
        return application->MountApplication(id.get());
    case Op::Start:
        return application->StartApplication(id.get());
    case Op::StartWithParameters: {
        auto parameters = Bstr(L"\"-x\" \"a b\"");
        return application->StartApplicationWithParameters(id.get(), parameters.get(), empty.get());
    }
    case Op::StartInDesktop: {
        auto desktop = Bstr(L"winsta0\\default");
        return application->StartApplicationInDesktop(id.get(), desktop.get());
    }
    case Op::Stop:
        return application->StopApplication(id.get());
    case Op::Unmount:
        return application->UnmountApplication(id.get());
    case Op::Unload:
        return application->UnloadApplication(id.get());
    case Op::Remove:
        return application->RemoveApplication(id.get());
    }
    return E_FAIL;
}

std::string OneApplication(long long state, int clientState = 4, int stopPolls = 0) {
    return R"({"client":{"state":)" + std::to_string(clientState) + R"(},"applications":[{"guid":")" +
           ToUtf8(kAppA) + R"(","name":"Alpha","state":)" + std::to_string(state) + R"(,"stopPolls":)" +
           std::to_string(stopPolls) + "}]}";
}

struct LadderCase {
    Op op;
    long long from;
    HRESULT expected;
    long long to; // -1: the application is gone
};

// The strict ladder, by the current state s: each step's lowest and highest accepted state, one below
// and one above, and the odd values a scenario may hold.
const LadderCase kLadder[] = {
    {Op::Load, 0, kInvalidState, 0},
    {Op::Load, 1, S_OK, 4},
    {Op::Load, 3, S_OK, 4},
    {Op::Load, 4, kInvalidState, 4},
    {Op::Mount, 3, kInvalidState, 3},
    {Op::Mount, 4, S_OK, 16},
    {Op::Mount, 15, S_OK, 16},
    {Op::Mount, 16, kInvalidState, 16},
    {Op::Start, 15, kInvalidState, 15},
    {Op::Start, 16, S_OK, 64},
    {Op::Start, 64, S_OK, 64},
    {Op::Start, 100, S_OK, 64},
    {Op::Start, -5, kInvalidState, -5},
    {Op::StartWithParameters, 16, S_OK, 64},
    {Op::StartWithParameters, 4, kInvalidState, 4},
    {Op::StartInDesktop, 16, S_OK, 64},
    {Op::Stop, 64, S_OK, 16},
    {Op::Stop, 16, kInvalidState, 16},
    {Op::Stop, 65, kInvalidState, 65},
    {Op::Unmount, 64, kInvalidState, 64},
    {Op::Unmount, 16, S_OK, 4},
    {Op::Unmount, 100, S_OK, 4},
    {Op::Unmount, 15, kInvalidState, 15},
    {Op::Unload, 4, S_OK, 1},
    {Op::Unload, 15, S_OK, 1},
    {Op::Unload, 16, kInvalidState, 16},
    {Op::Unload, 3, kInvalidState, 3},
    {Op::Remove, 1, S_OK, -1},
    {Op::Remove, 3, S_OK, -1},
    {Op::Remove, 4, kInvalidState, 4},
    {Op::Remove, 0, kInvalidState, 0},
    {Op::Load, 4294967295LL, kInvalidState, 4294967295LL},
};

TEST_F(EmulatorTest, LadderIsStrict) {
    for (const LadderCase& test : kLadder) {
        SCOPED_TRACE("op " + std::to_string(static_cast<int>(test.op)) + " from " +
                     std::to_string(test.from));
        Scenario(OneApplication(test.from));
        auto application = Application();
        ASSERT_TRUE(application);
        EXPECT_EQ(Call(application.get(), test.op, kAppA), test.expected);
        EXPECT_EQ(ApplicationState(kAppA), test.to);
    }
}

TEST_F(EmulatorTest, ApplicationOperationsNeedInitialisedApplications) {
    const Op operations[] = {Op::Load,           Op::Mount, Op::Start,   Op::StartWithParameters,
                             Op::StartInDesktop, Op::Stop,  Op::Unmount, Op::Unload,
                             Op::Remove};
    for (int clientState : {0, 2, 5}) {
        Scenario(OneApplication(1, clientState));
        auto application = Application();
        for (Op op : operations) {
            SCOPED_TRACE("client " + std::to_string(clientState) + " op " +
                         std::to_string(static_cast<int>(op)));
            EXPECT_EQ(Call(application.get(), op, kAppA), kNotReady);
        }
        auto exe = Bstr(L"C:\\app.exe");
        auto empty = Bstr(L"");
        auto guid = Bstr(kAppA);
        EXPECT_EQ(application->RunApplicationCommand(guid.get(), exe.get(), empty.get(), empty.get(),
                                                     empty.get(), empty.get()),
                  kNotReady);
        // The queries work in any client state.
        LONG count = 0;
        UniqueVariant list;
        EXPECT_EQ(application->GetApplicationList(-1, &count, list.put()), S_OK);
        EXPECT_EQ(count, 1);
        UniqueVariant properties;
        EXPECT_EQ(application->GetApplicationProperties(guid.get(), 1, properties.put()), S_OK);
        EXPECT_EQ(ApplicationState(kAppA), 1);
    }
}

TEST_F(EmulatorTest, UnknownGuidsFail) {
    Scenario(OneApplication(16));
    auto application = Application();
    for (Op op : {Op::Load, Op::Mount, Op::Start, Op::StartWithParameters, Op::StartInDesktop, Op::Stop,
                  Op::Unmount, Op::Unload, Op::Remove}) {
        EXPECT_EQ(Call(application.get(), op, kUnknownApp), kNotFound) << static_cast<int>(op);
    }
    auto unknown = Bstr(kUnknownApp);
    auto exe = Bstr(L"C:\\app.exe");
    auto empty = Bstr(L"");
    EXPECT_EQ(application->RunApplicationCommand(unknown.get(), exe.get(), empty.get(), empty.get(),
                                                 empty.get(), empty.get()),
              kNotFound);
    UniqueVariant properties;
    EXPECT_EQ(application->GetApplicationProperties(unknown.get(), 1, properties.put()), kNotFound);
    EXPECT_EQ(properties.vt, VT_EMPTY);
}

TEST_F(EmulatorTest, GuidsMatchIgnoringCase) {
    Scenario(OneApplication(1));
    auto application = Application();
    std::wstring lower = kAppA;
    for (wchar_t& c : lower) {
        c = static_cast<wchar_t>(towlower(c));
    }
    EXPECT_EQ(Call(application.get(), Op::Load, lower.c_str()), S_OK);
    EXPECT_EQ(ApplicationState(kAppA), 4);
}

TEST_F(EmulatorTest, RunApplicationCommandNeedsAMountedApplicationAndAnExecutable) {
    const struct {
        long long state;
        const wchar_t* exe;
        HRESULT expected;
    } cases[] = {
        {16, L"C:\\tool.exe", S_OK},          {64, L"C:\\tool.exe", S_OK},
        {4, L"C:\\tool.exe", kInvalidState},  {1, L"C:\\tool.exe", kInvalidState},
        {65, L"C:\\tool.exe", kInvalidState}, {16, L"", E_INVALIDARG},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(std::to_string(test.state));
        Scenario(OneApplication(test.state));
        auto application = Application();
        auto guid = Bstr(kAppA);
        auto exe = Bstr(test.exe);
        auto directory = Bstr(L"C:\\work");
        auto parameters = Bstr(L"\"-v\"");
        auto empty = Bstr(L"");
        EXPECT_EQ(application->RunApplicationCommand(guid.get(), exe.get(), directory.get(), parameters.get(),
                                                     empty.get(), empty.get()),
                  test.expected);
        EXPECT_EQ(ApplicationState(kAppA), test.state) << "running a command changes no state";
    }
}

LONG QueryState(IStreamingApplication* application) {
    auto guid = Bstr(kAppA);
    UniqueVariant properties;
    EXPECT_EQ(application->GetApplicationProperties(guid.get(), 1, properties.put()), S_OK);
    ReplyView view = ViewOf(properties);
    return view.elements.empty() ? -1 : view.elements[0].value.lVal;
}

TEST_F(EmulatorTest, StopPollsKeepsTheApplicationRunningForThatManyStatusQueries) {
    Scenario(OneApplication(64, 4, 2));
    auto application = Application();
    EXPECT_EQ(Call(application.get(), Op::Stop, kAppA), S_OK);
    EXPECT_EQ(QueryState(application.get()), 64);
    // A repeated stop, as a client sends while it waits, does not start the count again.
    EXPECT_EQ(Call(application.get(), Op::Stop, kAppA), S_OK);
    EXPECT_EQ(QueryState(application.get()), 64);
    EXPECT_EQ(QueryState(application.get()), 16);
    EXPECT_EQ(ApplicationState(kAppA), 16);
}

TEST_F(EmulatorTest, StopPollsMinusOneNeverStops) {
    Scenario(OneApplication(64, 4, -1));
    auto application = Application();
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(Call(application.get(), Op::Stop, kAppA), S_OK);
        EXPECT_EQ(QueryState(application.get()), 64);
    }
    EXPECT_EQ(Call(application.get(), Op::Unmount, kAppA), kInvalidState);
}

TEST_F(EmulatorTest, PropertiesCarryStateNameAndRebootFlagWhereTheMaskAsks) {
    Scenario(R"({"applications":[{"guid":")" + ToUtf8(kAppA) +
             R"(","name":"Alpha Ω","state":16,"requiresReboot":true}]})");
    auto application = Application();
    auto guid = Bstr(kAppA);
    UniqueVariant all;
    ASSERT_EQ(application->GetApplicationProperties(guid.get(), 0x20000003, all.put()), S_OK);
    ReplyView view = ViewOf(all);
    ASSERT_EQ(view.vt, VT_ARRAY | VT_VARIANT);
    EXPECT_EQ(view.lowerBound, 0);
    ASSERT_GE(view.elements.size(), 40u);
    EXPECT_EQ(view.elements[0].value.vt, VT_I4);
    EXPECT_EQ(view.elements[0].value.lVal, 16);
    EXPECT_EQ(view.elements[1].value.vt, VT_BSTR);
    EXPECT_EQ(view.elements[1].Text(), L"Alpha \u03A9");
    EXPECT_EQ(view.elements[39].value.vt, VT_BOOL);
    EXPECT_EQ(view.elements[39].value.boolVal, VARIANT_TRUE);

    UniqueVariant nameOnly;
    ASSERT_EQ(application->GetApplicationProperties(guid.get(), 2, nameOnly.put()), S_OK);
    view = ViewOf(nameOnly);
    EXPECT_EQ(view.elements[0].value.vt, VT_EMPTY) << "only what the mask asks for";
    EXPECT_EQ(view.elements[1].Text(), L"Alpha \u03A9");
    EXPECT_EQ(view.elements[39].value.vt, VT_EMPTY);
}

TEST_F(EmulatorTest, ApplicationListHasTheCountAndTheGuidsInOrder) {
    Scenario(R"({"applications":[{"guid":")" + ToUtf8(kAppB) + R"(","state":64},{"guid":")" + ToUtf8(kAppA) +
             R"(","state":1}]})");
    auto application = Application();
    LONG count = 0;
    UniqueVariant list;
    ASSERT_EQ(application->GetApplicationList(-1, &count, list.put()), S_OK);
    EXPECT_EQ(count, 2);
    ReplyView view = ViewOf(list);
    ASSERT_EQ(view.elements.size(), 2u);
    EXPECT_EQ(view.elements[0].value.vt, VT_BSTR);
    EXPECT_EQ(view.elements[0].Text(), kAppB);
    EXPECT_EQ(view.elements[1].Text(), kAppA);

    Scenario("{}");
    UniqueVariant empty;
    ASSERT_EQ(application->GetApplicationList(-1, &count, empty.put()), S_OK);
    EXPECT_EQ(count, 0);
    view = ViewOf(empty);
    EXPECT_TRUE(view.hasArray);
    EXPECT_TRUE(view.elements.empty());
}

} // namespace
} // namespace quillet::testing
