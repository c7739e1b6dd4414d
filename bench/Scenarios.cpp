#include "Scenarios.h"

#include "json/Json.h"
#include "json/Utf8.h"
#include "output/WideFormat.h"

namespace quillet::bench {

std::wstring BenchGuid(int number) {
    return FormatWideString(L"{B0000000-0000-4000-8000-%012X}", static_cast<unsigned>(number));
}

std::wstring BenchName(int number) {
    return L"Bench App " + std::to_wstring(number);
}

EmulatorScenario WithApplications(int count, int state) {
    EmulatorScenario scenario;
    scenario.applications.reserve(static_cast<size_t>(count));
    for (int number = 1; number <= count; ++number) {
        scenario.applications.push_back({BenchGuid(number), BenchName(number), state});
    }
    return scenario;
}

std::string ScenarioJson(const EmulatorScenario& scenario) {
    json::Value client = json::Value::MakeObject();
    client.Set("state", scenario.clientState);
    client.Set("isAdmin", true);

    json::Value applications = json::Value::MakeArray();
    for (const auto& application : scenario.applications) {
        json::Value item = json::Value::MakeObject();
        item.Set("guid", json::ToUtf8(application.guid));
        item.Set("name", json::ToUtf8(application.name));
        item.Set("state", application.state);
        applications.Append(std::move(item));
    }

    json::Value multisource = json::Value::MakeArray();
    for (const auto& file : scenario.multisource) {
        json::Value item = json::Value::MakeObject();
        item.Set("appGuid", json::ToUtf8(file.appGuid));
        item.Set("sourcePath", json::ToUtf8(file.sourcePath));
        item.Set("localPath", json::ToUtf8(file.localPath));
        multisource.Append(std::move(item));
    }

    json::Value document = json::Value::MakeObject();
    document.Set("client", std::move(client));
    document.Set("applications", std::move(applications));
    document.Set("multisource", std::move(multisource));
    return json::WriteCompact(document);
}

} // namespace quillet::bench
