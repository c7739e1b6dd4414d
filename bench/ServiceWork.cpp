#include "ServiceWork.h"

#include <string_view>

namespace quillet::bench {

namespace {

bool HasText(const json::Value& line, std::string_view key, std::string_view text) {
    const json::Value* value = line.Find(key);
    return value != nullptr && value->IsString() && value->AsString() == text;
}

} // namespace

ServiceWork CountServiceWork(const std::vector<json::Value>& journal) {
    ServiceWork work;
    for (const json::Value& line : journal) {
        if (!line.IsObject()) {
            continue;
        }
        if (line.Find("method") != nullptr) {
            ++work.calls;
            continue;
        }
        if (!HasText(line, "event", "create") || line.Find("object") == nullptr) {
            continue;
        }
        if (HasText(line, "interface", "IStreamingApplication")) {
            ++work.applicationObjects;
        } else if (HasText(line, "interface", "IStreamingClient")) {
            ++work.clientObjects;
        } else if (HasText(line, "interface", "IStreamingCache")) {
            ++work.cacheObjects;
        }
    }
    return work;
}

double Floor(double minimalStartup, const ServiceWork& work, const ActivationCosts& costs) {
    return minimalStartup + work.applicationObjects * costs.application + work.clientObjects * costs.client +
           work.cacheObjects * costs.cache;
}

} // namespace quillet::bench
