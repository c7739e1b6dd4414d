#include "ServiceWork.h"

#include <string_view>

namespace quillet::bench {

namespace {

bool HasText(const nlohmann::ordered_json& line, std::string_view key, std::string_view text) {
    const auto value = line.find(key);
    return value != line.end() && value->is_string() && value->get_ref<const std::string&>() == text;
}

} // namespace

ServiceWork CountServiceWork(const std::vector<nlohmann::ordered_json>& journal) {
    ServiceWork work;
    for (const nlohmann::ordered_json& line : journal) {
        if (!line.is_object()) {
            continue;
        }
        if (line.contains("method")) {
            ++work.calls;
            continue;
        }
        if (!HasText(line, "event", "create") || !line.contains("object")) {
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

} // namespace quillet::bench
