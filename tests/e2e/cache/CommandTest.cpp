#include "CommandTest.h"
#include "Files.h"

#include "win32/Utf8.h"

#include <map>

namespace quillet::testing {

namespace {

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            const std::wstring path = folder + L"\\" + name;
            if (name == L"." || name == L"..") {
                continue;
            }
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
                RemoveTree(path);
            } else {
                DeleteFileW(path.c_str());
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

std::string TextOf(const nlohmann::ordered_json& line, const char* key) {
    return line.value(key, "");
}

} // namespace

std::string JsonString(std::wstring_view text) {
    return nlohmann::ordered_json(ToUtf8(text)).dump();
}

void CommandTest::SetUp() {
    ASSERT_EQ(emulator::EnsureResident(), S_OK);
    emulator::ClearScenario();
    emulator::ClearJournal();
    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
    m_folder = std::wstring(temp) + L"quillet-e2e-" + std::to_wstring(GetCurrentProcessId());
    RemoveTree(m_folder);
    ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr));
}

void CommandTest::TearDown() {
    RemoveTree(m_folder);
}

std::string CommandTest::Steps(std::string_view interfaceName) {
    std::map<long long, std::string> interfaces;
    std::string steps;
    for (const nlohmann::ordered_json& line : emulator::ReadJournal()) {
        const std::string event = TextOf(line, "event");
        const bool hasObject = line.contains("object");
        const long long id = line.value("object", -1LL);
        std::string name = event == "release" ? interfaces[id] : TextOf(line, "interface");
        if (event == "create" && hasObject) {
            interfaces[id] = name;
        }
        if (name != interfaceName) {
            continue;
        }
        const std::string step = event == "create"    ? (hasObject ? "+" : "!")
                                 : event == "release" ? "-"
                                                      : TextOf(line, "method");
        steps += (steps.empty() ? "" : " ") + step;
    }
    return steps;
}

std::vector<nlohmann::ordered_json> CommandTest::Calls(std::string_view method) {
    std::vector<nlohmann::ordered_json> calls;
    for (const nlohmann::ordered_json& line : emulator::ReadJournal()) {
        if (line.contains("method") && TextOf(line, "interface") + "." + TextOf(line, "method") == method) {
            calls.push_back(line);
        }
    }
    return calls;
}

size_t CommandTest::CallCount(std::string_view method) {
    return Calls(method).size();
}

std::string CommandTest::ArgumentsOf(std::string_view method) {
    const std::vector<nlohmann::ordered_json> calls = Calls(method);
    EXPECT_EQ(calls.size(), 1u) << method;
    return calls.size() == 1 ? calls.front().at("args").dump() : std::string();
}

std::string CommandTest::ResultOf(std::string_view method) {
    const std::vector<nlohmann::ordered_json> calls = Calls(method);
    EXPECT_EQ(calls.size(), 1u) << method;
    return calls.size() == 1 ? TextOf(calls.front(), "hr") : std::string();
}

std::wstring CommandTest::MakeFile(std::wstring_view name, std::string_view bytes) {
    const std::wstring path = m_folder + L"\\" + std::wstring(name);
    WriteBytes(path, bytes);
    return path;
}

std::wstring CommandTest::MakeFolder(std::wstring_view name) {
    const std::wstring path = m_folder + L"\\" + std::wstring(name);
    EXPECT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    return path;
}

} // namespace quillet::testing
