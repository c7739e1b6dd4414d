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

    int Objects() const { return applicationObjects + clientObjects + cacheObjects; }
    friend bool operator==(const ServiceWork&, const ServiceWork&) = default;
};

// Counts the journal's "create" events that made an object (a refused creation makes none) and its method
// lines. Lines of any other shape are ignored.
ServiceWork CountServiceWork(const std::vector<nlohmann::ordered_json>& journal);

// Milliseconds of one bare activation (create, Initialize, release) of each class.
struct ActivationCosts {
    double application = 0;
    double client = 0;
    double cache = 0;
};

// A command's floor: the start-up of the minimal program plus one bare activation for each object that
// the command created.
double Floor(double minimalStartup, const ServiceWork& work, const ActivationCosts& costs);

} // namespace quillet::bench
