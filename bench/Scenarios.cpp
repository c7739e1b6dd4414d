#include "Scenarios.h"

#include "service/ServiceContract.h"

#include <strsafe.h>

namespace quillet::bench {

std::wstring BenchGuid(int number) {
    wchar_t guid[40];
    StringCchPrintfW(guid, std::size(guid), L"{B0000000-0000-4000-8000-%012X}",
                     static_cast<unsigned>(number));
    return guid;
}

std::wstring BenchName(int number) {
    return L"Bench App " + std::to_wstring(number);
}

testing::Scenario Defaults() {
    return testing::Scenario().Client(kClientApplicationsInitialized).Admin(true);
}

testing::Scenario WithApplications(int count, int state) {
    testing::Scenario scenario = Defaults();
    for (int number = 1; number <= count; ++number) {
        scenario.App(BenchGuid(number), BenchName(number), state);
    }
    return scenario;
}

} // namespace quillet::bench
