#pragma once

#include <nlohmann/json.hpp>

#include <vector>

namespace quillet::bench {

// The service objects that one command created, by class, and the calls it made on them, as the emulator's
// journal records them.
struct ServiceWork {
    int applicationObjects = 0;
    int clientObjects = 0;
    int cacheObjects = 0;
    int calls = 0;
};

// Counts the journal's "create" events that made an object (a refused creation makes none) and its method
// lines. Lines of any other shape are ignored.
ServiceWork CountServiceWork(const std::vector<nlohmann::ordered_json>& journal);

} // namespace quillet::bench
