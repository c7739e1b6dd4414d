#pragma once

#include "FileIdentity.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillet::emulator {

// Everything the emulated service knows, as state.json holds it. Field names and defaults are part of the
// emulator's documented interface (README.md).
struct ClientSettings {
    std::int32_t state = 0;      // 0 stopped, 2 started, 4 applications initialised, 5 offline
    std::optional<bool> isAdmin; // none: ask the system about the calling user
};

struct Application {
    std::wstring guid;
    std::wstring name;
    std::int32_t state = 1;
    bool requiresReboot = false;
    std::int32_t stopPolls = 0;           // status queries that still report 64 after a stop; -1 never stops
    std::optional<std::int32_t> stopping; // status queries left before a stop in progress completes
};

struct CacheSettings {
    std::wstring location;
    std::int32_t sizeMB = 2048;
    std::int32_t usedMB = 0;
};

struct MultisourceEntry {
    std::wstring appGuid;
    std::wstring sourcePath;
    std::wstring localPath;
    bool localCopy = false; // localPath is a copy that the emulator made, and may replace or delete
    std::optional<FileIdentity> identity; // the copy as it was made; a claim without it is no claim
    std::int64_t size = 0;
    std::int64_t maxSize = 0;
    double startTime = 0; // OLE automation dates
    double finishTime = 0;
    bool finished = true;
};

enum class FaultAction { Fail, Crash, Hang };

struct FaultRule {
    std::wstring method; // "StartClient", or qualified "IStreamingClient.Initialize"
    std::int32_t hr = static_cast<std::int32_t>(0x80004005);
    std::int32_t skip = 0;            // matching calls let through first
    std::int32_t times = 1;           // matching calls acted on after that; -1: all
    std::optional<std::wstring> guid; // only calls whose first argument is this string
    FaultAction action = FaultAction::Fail;
};

enum class ReplyShape { Empty, Scalar, NoArray, Short, WrongTypes, NullStrings, LowerBound1, CountTooLarge };

struct ReplyRule {
    std::wstring method;
    ReplyShape shape = ReplyShape::Empty;
    std::int32_t times = -1;
};

// A copy under way: the name it takes until it is placed, the file made there (its volume and number;
// size and time change as it grows), and the emulator process that makes it.
struct CopyInFlight {
    std::wstring path;
    FileIdentity file;
    std::uint32_t process = 0;
};

struct ServiceState {
    ClientSettings client;
    std::vector<Application> applications;
    CacheSettings cache;
    std::vector<MultisourceEntry> multisource;
    std::vector<FaultRule> faults;
    std::vector<ReplyRule> replies;
    // Copies under way, by the name that each takes until it is placed: recorded before a copy starts, so
    // that the next start after a crash removes what it left.
    std::vector<CopyInFlight> copiesInFlight;
};

// A state.json that cannot be read as a state; the message names the offending field.
class StateError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Every missing field takes its default; the cache location defaults to defaultCacheLocation.
ServiceState StateFromJson(const nlohmann::ordered_json& document, const std::wstring& defaultCacheLocation);
nlohmann::ordered_json StateToJson(const ServiceState& state);
// state.json's text: one top-level member a line, and one element a line in the arrays of entries.
std::string StateText(const ServiceState& state);

const char* FaultActionName(FaultAction action);
const char* ReplyShapeName(ReplyShape shape);
std::string HresultText(std::int32_t hr); // "0x80004005"

} // namespace quillet::emulator
