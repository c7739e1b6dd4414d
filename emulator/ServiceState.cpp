#include "ServiceState.h"

#include "json/Utf8.h"

#include <cstdio>
#include <iterator>

namespace quillet::emulator {

namespace {

constexpr const char* kFaultActions[] = {"fail", "crash", "hang"};
constexpr const char* kReplyShapes[] = {"empty",      "scalar",      "noArray",     "short",
                                        "wrongTypes", "nullStrings", "lowerBound1", "countTooLarge"};

// Reads the members of one JSON object, naming the field in every complaint.
class Reader {
public:
    Reader(const json::Value& object, std::string path) : m_object(object), m_path(std::move(path)) {
        if (!object.IsObject()) {
            throw StateError(m_path + " must be an object");
        }
    }

    const json::Value* Get(const char* key) const {
        const json::Value* value = m_object.Find(key);
        return value != nullptr && !value->IsNull() ? value : nullptr;
    }

    [[noreturn]] void Fail(const char* key, const char* wanted) const {
        throw StateError(m_path + "." + key + " must be " + wanted);
    }

    void Int32(const char* key, std::int32_t& target) const {
        if (const json::Value* value = Get(key)) {
            // Any 32-bit pattern is allowed, written signed or unsigned.
            std::int64_t number = 0;
            try {
                number = value->AsInteger();
            } catch (const json::TypeError&) {
                Fail(key, "a 32-bit integer");
            }
            if (number < INT32_MIN || number > static_cast<std::int64_t>(UINT32_MAX)) {
                Fail(key, "a 32-bit integer");
            }
            target = static_cast<std::int32_t>(static_cast<std::uint32_t>(number));
        }
    }

    void Int64(const char* key, std::int64_t& target) const {
        if (const json::Value* value = Get(key)) {
            try {
                target = value->AsInteger();
            } catch (const json::TypeError&) {
                Fail(key, "an integer");
            }
        }
    }

    void Double(const char* key, double& target) const {
        if (const json::Value* value = Get(key)) {
            if (!value->IsNumber()) {
                Fail(key, "a number");
            }
            target = value->AsDouble();
        }
    }

    void Bool(const char* key, bool& target) const {
        if (const json::Value* value = Get(key)) {
            if (!value->IsBool()) {
                Fail(key, "true or false");
            }
            target = value->AsBool();
        }
    }

    void Text(const char* key, std::wstring& target) const {
        if (const json::Value* value = Get(key)) {
            if (!value->IsString()) {
                Fail(key, "a string");
            }
            target = json::FromUtf8(value->AsString());
        }
    }

    void Hresult(const char* key, std::int32_t& target) const {
        const json::Value* value = Get(key);
        if (value == nullptr) {
            return;
        }
        if (value->IsString()) {
            const std::string& text = value->AsString();
            unsigned long parsed = 0;
            int consumed = 0;
            if (std::sscanf(text.c_str(), "%lx%n", &parsed, &consumed) != 1 ||
                static_cast<size_t>(consumed) != text.size() || text.size() < 3 || text[0] != '0' ||
                (text[1] != 'x' && text[1] != 'X') || parsed > UINT32_MAX) {
                Fail(key, "a hexadecimal HRESULT such as \"0x80004005\"");
            }
            target = static_cast<std::int32_t>(static_cast<std::uint32_t>(parsed));
            return;
        }
        Int32(key, target);
    }

    template <size_t N> int Name(const char* key, const char* const (&names)[N], int fallback) const {
        const json::Value* value = Get(key);
        if (value == nullptr) {
            return fallback;
        }
        if (value->IsString()) {
            for (size_t i = 0; i < N; ++i) {
                if (value->AsString() == names[i]) {
                    return static_cast<int>(i);
                }
            }
        }
        std::string wanted = "one of";
        for (const char* name : names) {
            wanted += std::string(" \"") + name + "\"";
        }
        Fail(key, wanted.c_str());
    }

    const json::Value* Array(const char* key) const {
        const json::Value* value = Get(key);
        if (value != nullptr && !value->IsArray()) {
            Fail(key, "an array");
        }
        return value;
    }

    std::string Path(const char* key, size_t index) const {
        return m_path + "." + key + "[" + std::to_string(index) + "]";
    }

    std::string Path(const char* key) const { return m_path + "." + key; }

private:
    const json::Value& m_object;
    std::string m_path;
};

json::Value Text(const std::wstring& text) {
    return json::Value(json::ToUtf8(text));
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

ServiceState StateFromJson(const json::Value& document, const std::wstring& defaultCacheLocation) {
    ServiceState state;
    state.cache.location = defaultCacheLocation;
    Reader top(document, "state");

    if (const json::Value* client = top.Get("client")) {
        Reader reader(*client, top.Path("client"));
        reader.Int32("state", state.client.state);
        if (reader.Get("isAdmin") != nullptr) {
            bool isAdmin = false;
            reader.Bool("isAdmin", isAdmin);
            state.client.isAdmin = isAdmin;
        }
    }

    if (const json::Value* applications = top.Array("applications")) {
        for (size_t i = 0; i < applications->Size(); ++i) {
            Reader reader(applications->Items()[i], top.Path("applications", i));
            Application application;
            reader.Text("guid", application.guid);
            reader.Text("name", application.name);
            reader.Int32("state", application.state);
            reader.Bool("requiresReboot", application.requiresReboot);
            reader.Int32("stopPolls", application.stopPolls);
            if (reader.Get("stopPollsLeft") != nullptr) {
                std::int32_t left = 0;
                reader.Int32("stopPollsLeft", left);
                application.stopping = left;
            }
            state.applications.push_back(std::move(application));
        }
    }

    if (const json::Value* cache = top.Get("cache")) {
        Reader reader(*cache, top.Path("cache"));
        reader.Text("location", state.cache.location);
        reader.Int32("sizeMB", state.cache.sizeMB);
        reader.Int32("usedMB", state.cache.usedMB);
    }

    if (const json::Value* multisource = top.Array("multisource")) {
        for (size_t i = 0; i < multisource->Size(); ++i) {
            Reader reader(multisource->Items()[i], top.Path("multisource", i));
            MultisourceEntry entry;
            reader.Text("appGuid", entry.appGuid);
            reader.Text("sourcePath", entry.sourcePath);
            reader.Text("localPath", entry.localPath);
            reader.Int64("size", entry.size);
            reader.Int64("maxSize", entry.maxSize);
            reader.Double("startTime", entry.startTime);
            reader.Double("finishTime", entry.finishTime);
            reader.Bool("finished", entry.finished);
            state.multisource.push_back(std::move(entry));
        }
    }

    if (const json::Value* faults = top.Array("faults")) {
        for (size_t i = 0; i < faults->Size(); ++i) {
            Reader reader(faults->Items()[i], top.Path("faults", i));
            FaultRule fault;
            reader.Text("method", fault.method);
            if (fault.method.empty()) {
                reader.Fail("method", "a method name");
            }
            reader.Hresult("hr", fault.hr);
            reader.Int32("skip", fault.skip);
            reader.Int32("times", fault.times);
            if (reader.Get("guid") != nullptr) {
                std::wstring guid;
                reader.Text("guid", guid);
                fault.guid = guid;
            }
            fault.action = static_cast<FaultAction>(reader.Name("action", kFaultActions, 0));
            state.faults.push_back(std::move(fault));
        }
    }

    if (const json::Value* replies = top.Array("replies")) {
        for (size_t i = 0; i < replies->Size(); ++i) {
            Reader reader(replies->Items()[i], top.Path("replies", i));
            ReplyRule reply;
            reader.Text("method", reply.method);
            if (reply.method.empty()) {
                reader.Fail("method", "a method name");
            }
            if (reader.Get("shape") == nullptr) {
                reader.Fail("shape", "given");
            }
            reply.shape = static_cast<ReplyShape>(reader.Name("shape", kReplyShapes, 0));
            reader.Int32("times", reply.times);
            state.replies.push_back(std::move(reply));
        }
    }
    return state;
}

json::Value StateToJson(const ServiceState& state) {
    json::Value document = json::Value::MakeObject();

    json::Value client = json::Value::MakeObject();
    client.Set("state", state.client.state);
    client.Set("isAdmin", state.client.isAdmin ? json::Value(*state.client.isAdmin) : json::Value());
    document.Set("client", std::move(client));

    json::Value applications = json::Value::MakeArray();
    for (const Application& application : state.applications) {
        json::Value item = json::Value::MakeObject();
        item.Set("guid", Text(application.guid));
        item.Set("name", Text(application.name));
        item.Set("state", application.state);
        item.Set("requiresReboot", application.requiresReboot);
        item.Set("stopPolls", application.stopPolls);
        if (application.stopping) {
            item.Set("stopPollsLeft", *application.stopping);
        }
        applications.Append(std::move(item));
    }
    document.Set("applications", std::move(applications));

    json::Value cache = json::Value::MakeObject();
    cache.Set("location", Text(state.cache.location));
    cache.Set("sizeMB", state.cache.sizeMB);
    cache.Set("usedMB", state.cache.usedMB);
    document.Set("cache", std::move(cache));

    json::Value multisource = json::Value::MakeArray();
    for (const MultisourceEntry& entry : state.multisource) {
        json::Value item = json::Value::MakeObject();
        item.Set("appGuid", Text(entry.appGuid));
        item.Set("sourcePath", Text(entry.sourcePath));
        item.Set("localPath", Text(entry.localPath));
        item.Set("size", static_cast<long long>(entry.size));
        item.Set("maxSize", static_cast<long long>(entry.maxSize));
        item.Set("startTime", entry.startTime);
        item.Set("finishTime", entry.finishTime);
        item.Set("finished", entry.finished);
        multisource.Append(std::move(item));
    }
    document.Set("multisource", std::move(multisource));

    json::Value faults = json::Value::MakeArray();
    for (const FaultRule& fault : state.faults) {
        json::Value item = json::Value::MakeObject();
        item.Set("method", Text(fault.method));
        item.Set("hr", HresultText(fault.hr));
        item.Set("skip", fault.skip);
        item.Set("times", fault.times);
        item.Set("guid", fault.guid ? Text(*fault.guid) : json::Value());
        item.Set("action", FaultActionName(fault.action));
        faults.Append(std::move(item));
    }
    document.Set("faults", std::move(faults));

    json::Value replies = json::Value::MakeArray();
    for (const ReplyRule& reply : state.replies) {
        json::Value item = json::Value::MakeObject();
        item.Set("method", Text(reply.method));
        item.Set("shape", ReplyShapeName(reply.shape));
        item.Set("times", reply.times);
        replies.Append(std::move(item));
    }
    document.Set("replies", std::move(replies));
    return document;
}

} // namespace quillet::emulator
