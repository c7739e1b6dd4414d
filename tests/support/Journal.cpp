#include "Journal.h"

#include "Emulator.h"

#include <map>

namespace quillet::testing {

using nlohmann::ordered_json;

namespace {

std::string TextOf(const ordered_json& line, const char* key) {
    const auto value = line.find(key);
    if (value == line.end()) {
        return {};
    }
    return value->is_string() ? value->get<std::string>() : value->dump();
}

bool Wanted(const CallFilter& filter, const std::string& interfaceName, const std::string& method) {
    for (const std::string& name : filter.names) {
        if (name == interfaceName ||
            (!method.empty() && (name == method || name == interfaceName + "." + method))) {
            return true;
        }
    }
    return filter.names.empty();
}

std::string Arguments(const ordered_json& line, DWORD processId) {
    std::string text;
    for (const ordered_json& argument : line.value("args", ordered_json::array())) {
        const bool caller = argument.is_number_integer() && argument.get<long long>() == processId;
        text += (text.empty() ? "" : ",") + (caller ? std::string("pid") : argument.dump());
    }
    return "(" + text + ")";
}

} // namespace

std::vector<std::string> CallView(const std::vector<ordered_json>& journal, DWORD processId,
                                  const CallFilter& filter) {
    std::map<std::string, std::string> interfaces; // by object number, from the object's creation
    std::vector<std::string> view;
    for (const ordered_json& line : journal) {
        const std::string event = TextOf(line, "event");
        const std::string object = TextOf(line, "object");
        const std::string method = TextOf(line, "method");
        const std::string name = event == "release" ? interfaces[object] : TextOf(line, "interface");
        if (event == "create" && !object.empty()) {
            interfaces[object] = name;
        }
        if (!Wanted(filter, name, method)) {
            continue;
        }
        std::string text = event == "create"    ? (object.empty() ? "!" : "+") + name
                           : event == "release" ? "-" + name
                           : !event.empty()
                               ? event + " " + TextOf(line, "path")
                               : name + "." + method + (filter.arguments ? Arguments(line, processId) : "");
        if (const std::string hr = TextOf(line, "hr"); !hr.empty() && hr != "0x00000000") {
            text += " " + hr;
        }
        if (const std::string fault = TextOf(line, "fault"); !fault.empty() && fault != "fail") {
            text += " " + fault;
        }
        if (const std::string reply = TextOf(line, "reply"); !reply.empty()) {
            text += " reply=" + reply;
        }
        view.push_back(text);
    }
    return view;
}

std::vector<std::string> Life(std::string_view face, const std::vector<std::string>& calls,
                              LifeOptions options) {
    const std::string name(face);
    std::vector<std::string> life = {"+" + name, name + ".Initialize" + (options.arguments ? "(pid)" : "")};
    for (const std::string& call : calls) {
        life.push_back(name + "." + call);
    }
    if (options.uninitialize) {
        life.push_back(name + ".Uninitialize" + (options.arguments ? "()" : ""));
    }
    life.push_back("-" + name);
    return life;
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const std::vector<std::string>& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

namespace emulator {

uint64_t JournalLength() {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(JournalPath().c_str(), GetFileExInfoStandard, &data)) {
        return 0;
    }
    return (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

std::vector<std::string> ReadJournalLines(uint64_t from) {
    const std::string content = ReadDataFile(JournalPath());
    // A journal shorter than from was deleted meanwhile: all of it is new. A line still being written
    // has no line feed yet and is left out.
    size_t start = from <= content.size() ? static_cast<size_t>(from) : 0;
    std::vector<std::string> lines;
    for (size_t end = content.find('\n', start); end != std::string::npos; end = content.find('\n', start)) {
        lines.push_back(content.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<ordered_json> ReadJournal(uint64_t from) {
    std::vector<ordered_json> lines;
    for (const std::string& line : ReadJournalLines(from)) {
        lines.push_back(ordered_json::parse(line));
    }
    return lines;
}

} // namespace emulator
} // namespace quillet::testing
