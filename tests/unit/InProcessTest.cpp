// What no run of Quillet.exe can reach: a thread that is in an apartment before the command runs, and a
// reply holder that is handed out again while it holds a reply.
#include "Constants.h"
#include "Runner.h"
#include "cli/Executor.h"
#include "service/VariantSafeArray.h"

#include <gtest/gtest.h>

#include <thread>

namespace quillet {
namespace {

TEST(Executor, EntersTheApartmentOrExitsWith1603PrintingNothing) {
    const struct {
        DWORD apartment; // the thread's own, before Execute
        std::vector<const wchar_t*> words;
        HRESULT result;
        const char* output;
    } rows[] = {
        {COINIT_MULTITHREADED, {L"-h"}, 1603, ""},
        // Already in the single-threaded apartment: the command runs.
        {COINIT_APARTMENTTHREADED, {L"apps"}, E_INVALIDARG, testing::kInvalidArguments},
    };
    for (const auto& row : rows) {
        HRESULT result = S_OK;
        std::string output;
        std::thread([&] {
            ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, row.apartment));
            std::vector<const wchar_t*> words = row.words;
            words.push_back(nullptr);
            const UniqueFile stream = testing::TemporaryStream();
            const HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
            SetStdHandle(STD_OUTPUT_HANDLE, stream.get());
            result = SExecutor().Execute(static_cast<int>(row.words.size()), words.data());
            SetStdHandle(STD_OUTPUT_HANDLE, console);
            output = testing::ReadStream(stream.get());
            CoUninitialize();
        }).join();
        EXPECT_EQ(result, row.result) << row.apartment;
        EXPECT_EQ(output, testing::Crlf(row.output)) << row.apartment;
    }
}

// Counts its references; nothing else is asked of it.
class CountingUnknown : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override { return --references; }
    ULONG references = 1;
};

TEST(CVariantSafeArray, ReleasesAHeldReplyBeforeTheNextCall) {
    CountingUnknown unknown;
    CVariantSafeArray reply;
    reply.vt = VT_UNKNOWN;
    reply.punkVal = &unknown;
    EXPECT_EQ(reply.Out()->vt, VT_EMPTY);
    EXPECT_EQ(unknown.references, 0u);
}

} // namespace
} // namespace quillet
