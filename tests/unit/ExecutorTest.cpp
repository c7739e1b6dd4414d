#include "StdoutCapture.h"
#include "cli/Executor.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <thread>
#include <vector>

namespace quillet {
namespace {

using testing::StdoutCapture;

struct Outcome {
    HRESULT result;
    std::string output;
};

Outcome Execute(std::vector<const wchar_t*> words) {
    const int count = static_cast<int>(words.size());
    words.push_back(nullptr);
    StdoutCapture capture;
    SExecutor executor;
    const HRESULT result = executor.Execute(count, words.data());
    return {result, capture.Bytes()};
}

// Which words reach which component, and help, are checked black-box; here only what a spawned
// process cannot show: the apartment the calling thread is already in.
constexpr char kInvalidArguments[] =
    "Error: invalid arguments entered. Use \"Quillet -h\" for more help.\r\n";

TEST(Executor, ThreadInAnotherApartmentExitsWith1603AndPrintsNothing) {
    for (const auto& words :
         std::vector<std::vector<const wchar_t*>>{{L"-h"}, {L"apps"}, {L"cache", L"size"}}) {
        Outcome outcome{};
        std::thread worker([&] {
            ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
            outcome = Execute(words);
            CoUninitialize();
        });
        worker.join();
        EXPECT_EQ(outcome.result, 1603);
        EXPECT_EQ(outcome.output, "");
    }
}

TEST(Executor, ThreadAlreadyInTheApartmentRunsNormally) {
    ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    const Outcome outcome = Execute({L"apps"});
    CoUninitialize();
    EXPECT_EQ(outcome.result, E_INVALIDARG);
    EXPECT_EQ(outcome.output, kInvalidArguments);
}

} // namespace
} // namespace quillet
