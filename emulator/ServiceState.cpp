#include "ServiceState.h"

#include "win32/Utf8.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace quillet::emulator {

namespace {

using nlohmann::ordered_json;

constexpr const char* kFaultActions[] = {"fail", "crash", "hang"};
constexpr const char* kReplyShapes[] = {"empty",      "scalar",      "noArray",     "short",
                                        "wrongTypes", "nullStrings", "lowerBound1", "countTooLarge"};

// A JSON number as a 64-bit integer: an integer, or a double without a fraction (as a hand-edited "4.0").
std::optional<std::int64_t> IntegerOf(const ordered_json& value) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        return number <= static_cast<std::uint64_t>(INT64_MAX) ? std::optional<std::int64_t>(number)
                                                               : std::nullopt;
    }
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (std::trunc(number) == number && std::fabs(number) < 9.2e18) {
            return static_cast<std::int64_t>(number);
        }
    }
    return std::nullopt;
}

// Reads the members of one JSON object, naming the field in every complaint.
class Reader {
public:
    Reader(const ordered_json& object, std::string path) : m_object(object), m_path(std::move(path)) {
        if (!object.is_object()) {
            throw StateError(m_path + " must be an object");
        }
    }

    const ordered_json* Get(const char* key) const {
        const auto found = m_object.find(key);
        return found != m_object.end() && !found->is_null() ? &*found : nullptr;
    }

    [[noreturn]] void Fail(const char* key, const char* wanted) const {
        throw StateError(m_path + "." + key + " must be " + wanted);
    }

    void Int32(const char* key, std::int32_t& target) const {
        if (const ordered_json* value = Get(key)) {
            // Any 32-bit pattern is allowed, written signed or unsigned.
            const std::optional<std::int64_t> number = IntegerOf(*value);
            if (!number || *number < INT32_MIN || *number > static_cast<std::int64_t>(UINT32_MAX)) {
                Fail(key, "a 32-bit integer");
            }
            target = static_cast<std::int32_t>(static_cast<std::uint32_t>(*number));
        }
    }

    void Int64(const char* key, std::int64_t& target) const {
        if (const ordered_json* value = Get(key)) {
            const std::optional<std::int64_t> number = IntegerOf(*value);
            if (!number) {
                Fail(key, "an integer");
            }
            target = *number;
        }
    }

    void Double(const char* key, double& target) const {
        if (const ordered_json* value = Get(key)) {
            if (!value->is_number()) {
                Fail(key, "a number");
            }
            target = value->get<double>();
        }
    }

    void Bool(const char* key, bool& target) const {
        if (const ordered_json* value = Get(key)) {
            if (!value->is_boolean()) {
                Fail(key, "true or false");
            }
            target = value->get<bool>();
        }
    }

    void Text(const char* key, std::wstring& target) const {
        if (const ordered_json* value = Get(key)) {
            if (!value->is_string()) {
                Fail(key, "a string");
            }
            target = FromUtf8(value->get_ref<const std::string&>());
        }
    }

    void Hresult(const char* key, std::int32_t& target) const {
        const ordered_json* value = Get(key);
        if (value == nullptr) {
            return;
        }
        if (value->is_string()) {
            // "0x" and up to eight hexadecimal digits: a code beyond 32 bits is a mistake, not a code.
            const std::string& text = value->get_ref<const std::string&>();
            std::uint64_t parsed = 0;
            const char* digits = text.data() + 2;
            const char* end = text.data() + text.size();
            if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X') ||
                std::from_chars(digits, end, parsed, 16).ptr != end || parsed > UINT32_MAX) {
                Fail(key, "a hexadecimal HRESULT such as \"0x80004005\"");
            }
            target = static_cast<std::int32_t>(static_cast<std::uint32_t>(parsed));
            return;
        }
        Int32(key, target);
    }

    template <size_t N> int Name(const char* key, const char* const (&names)[N], int fallback) const {
        const ordered_json* value = Get(key);
        if (value == nullptr) {
            return fallback;
        }
        if (value->is_string()) {
            const auto found =
                std::find(std::begin(names), std::end(names), value->get_ref<const std::string&>());
            if (found != std::end(names)) {
                return static_cast<int>(found - std::begin(names));
            }
        }
        std::string wanted = "one of";
        for (const char* name : names) {
            wanted += std::string(" \"") + name + "\"";
        }
        Fail(key, wanted.c_str());
    }

    // A member that is absent unless given.
    template <class T>
    void Optional(const char* key, std::optional<T>& target,
                  void (Reader::*read)(const char*, T&) const) const {
        if (Get(key) != nullptr) {
            (this->*read)(key, target.emplace());
        }
    }

    void Identity(const char* key, std::optional<FileIdentity>& target) const {
        const ordered_json* value = Get(key);
        if (value == nullptr) {
            return;
        }
        const Reader reader(*value, m_path + "." + key);
        FileIdentity& identity = target.emplace();
        std::int64_t volume = 0;
        reader.Int64("volume", volume);
        identity.volume = static_cast<DWORD>(volume);
        for (const auto& [name, field] :
             {std::pair{"file", &identity.file}, std::pair{"size", &identity.size},
              std::pair{"lastWrite", &identity.lastWrite}}) {
            std::int64_t number = 0;
            reader.Int64(name, number);
            *field = static_cast<ULONGLONG>(number);
        }
    }

    template <class Read> void Object(const char* key, Read read) const {
        if (const ordered_json* value = Get(key)) {
            read(Reader(*value, m_path + "." + key));
        }
    }

    // Each element of an array member, read into a new entry of target.
    template <class T, class Read> void Each(const char* key, std::vector<T>& target, Read read) const {
        const ordered_json* items = Get(key);
        if (items != nullptr && !items->is_array()) {
            Fail(key, "an array");
        }
        for (size_t i = 0; items != nullptr && i < items->size(); ++i) {
            read(Reader((*items)[i], m_path + "." + key + "[" + std::to_string(i) + "]"),
                 target.emplace_back());
        }
    }

private:
    const ordered_json& m_object;
    std::string m_path;
};

// 64-bit numbers are written as JSON integers; file numbers and times use all 64 bits.
ordered_json IdentityJson(const std::optional<FileIdentity>& identity) {
    if (!identity) {
        return nullptr;
    }
    return {{"volume", identity->volume},
            {"file", static_cast<std::int64_t>(identity->file)},
            {"size", static_cast<std::int64_t>(identity->size)},
            {"lastWrite", static_cast<std::int64_t>(identity->lastWrite)}};
}

} // namespace

const char* FaultActionName(FaultAction action) {
    return kFaultActions[static_cast<int>(action)];
}

const char* ReplyShapeName(ReplyShape shape) {
    return kReplyShapes[static_cast<int>(shape)];
}

std::string HresultText(std::int32_t hr) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
    return buffer;
}

ServiceState StateFromJson(const ordered_json& document, const std::wstring& defaultCacheLocation) {
    ServiceState state;
    state.cache.location = defaultCacheLocation;
    const Reader top(document, "state");
    top.Object("client", [&](const Reader& reader) {
        reader.Int32("state", state.client.state);
        reader.Optional("isAdmin", state.client.isAdmin, &Reader::Bool);
    });
    top.Each("applications", state.applications, [](const Reader& reader, Application& application) {
        reader.Text("guid", application.guid);
        reader.Text("name", application.name);
        reader.Int32("state", application.state);
        reader.Bool("requiresReboot", application.requiresReboot);
        reader.Int32("stopPolls", application.stopPolls);
        reader.Optional("stopPollsLeft", application.stopping, &Reader::Int32);
    });
    top.Object("cache", [&](const Reader& reader) {
        reader.Text("location", state.cache.location);
        reader.Int32("sizeMB", state.cache.sizeMB);
        reader.Int32("usedMB", state.cache.usedMB);
    });
    top.Each("multisource", state.multisource, [](const Reader& reader, MultisourceEntry& entry) {
        reader.Text("appGuid", entry.appGuid);
        reader.Text("sourcePath", entry.sourcePath);
        reader.Text("localPath", entry.localPath);
        reader.Bool("localCopy", entry.localCopy);
        reader.Identity("identity", entry.identity);
        reader.Int64("size", entry.size);
        reader.Int64("maxSize", entry.maxSize);
        reader.Double("startTime", entry.startTime);
        reader.Double("finishTime", entry.finishTime);
        reader.Bool("finished", entry.finished);
    });
    top.Each("faults", state.faults, [](const Reader& reader, FaultRule& fault) {
        reader.Text("method", fault.method);
        if (fault.method.empty()) {
            reader.Fail("method", "a method name");
        }
        reader.Hresult("hr", fault.hr);
        reader.Int32("skip", fault.skip);
        reader.Int32("times", fault.times);
        reader.Optional("guid", fault.guid, &Reader::Text);
        fault.action = static_cast<FaultAction>(reader.Name("action", kFaultActions, 0));
    });
    top.Each("replies", state.replies, [](const Reader& reader, ReplyRule& reply) {
        reader.Text("method", reply.method);
        if (reply.method.empty()) {
            reader.Fail("method", "a method name");
        }
        if (reader.Get("shape") == nullptr) {
            reader.Fail("shape", "given");
        }
        reply.shape = static_cast<ReplyShape>(reader.Name("shape", kReplyShapes, 0));
        reader.Int32("times", reply.times);
    });
    top.Each("copiesInFlight", state.copiesInFlight, [](const Reader& reader, CopyInFlight& copy) {
        reader.Text("path", copy.path);
        std::int64_t volume = 0;
        std::int64_t file = 0;
        std::int64_t process = 0;
        reader.Int64("volume", volume);
        reader.Int64("file", file);
        reader.Int64("process", process);
        copy.file.volume = static_cast<DWORD>(volume);
        copy.file.file = static_cast<ULONGLONG>(file);
        copy.process = static_cast<std::uint32_t>(process);
    });
    return state;
}

ordered_json StateToJson(const ServiceState& state) {
    ordered_json document;
    document["client"] = {{"state", state.client.state},
                          {"isAdmin", state.client.isAdmin ? ordered_json(*state.client.isAdmin) : nullptr}};

    ordered_json& applications = document["applications"] = ordered_json::array();
    for (const Application& application : state.applications) {
        ordered_json item = {{"guid", ToUtf8(application.guid)},
                             {"name", ToUtf8(application.name)},
                             {"state", application.state},
                             {"requiresReboot", application.requiresReboot},
                             {"stopPolls", application.stopPolls}};
        if (application.stopping) {
            item["stopPollsLeft"] = *application.stopping;
        }
        applications.push_back(std::move(item));
    }

    document["cache"] = {{"location", ToUtf8(state.cache.location)},
                         {"sizeMB", state.cache.sizeMB},
                         {"usedMB", state.cache.usedMB}};

    ordered_json& multisource = document["multisource"] = ordered_json::array();
    for (const MultisourceEntry& entry : state.multisource) {
        multisource.push_back({{"appGuid", ToUtf8(entry.appGuid)},
                               {"sourcePath", ToUtf8(entry.sourcePath)},
                               {"localPath", ToUtf8(entry.localPath)},
                               {"localCopy", entry.localCopy},
                               {"identity", IdentityJson(entry.identity)},
                               {"size", entry.size},
                               {"maxSize", entry.maxSize},
                               {"startTime", entry.startTime},
                               {"finishTime", entry.finishTime},
                               {"finished", entry.finished}});
    }

    ordered_json& faults = document["faults"] = ordered_json::array();
    for (const FaultRule& fault : state.faults) {
        faults.push_back({{"method", ToUtf8(fault.method)},
                          {"hr", HresultText(fault.hr)},
                          {"skip", fault.skip},
                          {"times", fault.times},
                          {"guid", fault.guid ? ordered_json(ToUtf8(*fault.guid)) : nullptr},
                          {"action", FaultActionName(fault.action)}});
    }

    ordered_json& replies = document["replies"] = ordered_json::array();
    for (const ReplyRule& reply : state.replies) {
        replies.push_back({{"method", ToUtf8(reply.method)},
                           {"shape", ReplyShapeName(reply.shape)},
                           {"times", reply.times}});
    }

    ordered_json& copies = document["copiesInFlight"] = ordered_json::array();
    for (const CopyInFlight& copy : state.copiesInFlight) {
        copies.push_back({{"path", ToUtf8(copy.path)},
                          {"volume", copy.file.volume},
                          {"file", static_cast<std::int64_t>(copy.file.file)},
                          {"process", copy.process}});
    }
    return document;
}

std::string StateText(const ServiceState& state) {
    const ordered_json document = StateToJson(state);
    std::string text = "{";
    const char* separator = "\n  ";
    for (const auto& [key, value] : document.items()) {
        text += separator + ordered_json(key).dump() + ": ";
        separator = ",\n  ";
        if (!value.is_array() || value.empty()) {
            text += value.dump();
            continue;
        }
        const char* itemSeparator = "[\n    ";
        for (const ordered_json& item : value) {
            text += itemSeparator + item.dump();
            itemSeparator = ",\n    ";
        }
        text += "\n  ]";
    }
    return text + "\n}\n";
}

} // namespace quillet::emulator
