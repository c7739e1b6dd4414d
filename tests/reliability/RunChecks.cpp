#include "RunChecks.h"
#include "Files.h"

#include "Emulator.h"
#include "Codes.h"
#include "StreamingService.h"
#include "service/ComPtr.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>

namespace quillet::testing::reliability {

namespace {

std::string Member(const nlohmann::ordered_json& line, std::string_view key) {
    const auto value = line.find(key);
    if (value == line.end()) {
        return {};
    }
    return value->is_string() ? value->get<std::string>() : value->dump();
}

} // namespace

std::string ConsoleBytes(std::wstring_view text) {
    std::wstring lines;
    for (const wchar_t character : text) {
        if (character == L'\n') {
            lines.push_back(L'\r');
        }
        lines.push_back(character);
    }
    if (lines.empty()) {
        return {};
    }
    const UINT console = GetConsoleOutputCP();
    const UINT codePage = console != 0 ? console : GetACP();
    const int length = static_cast<int>(lines.size());
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int size = WideCharToMultiByte(codePage, flags, lines.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size > 0 ? size : 0), '\0');
    WideCharToMultiByte(codePage, flags, lines.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

std::wstring AsTraced(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
    const int wideSize = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(wideSize), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, wide.data(), wideSize);
    return wide;
}

size_t LongestTraceLine(const RunResult& result) {
    size_t longest = 0;
    for (const std::wstring& line : result.traceLines) {
        longest = std::max(longest, line.size());
    }
    return longest;
}

std::map<DWORD, std::vector<std::string>> CallsByProcess(const std::vector<nlohmann::ordered_json>& journal) {
    std::map<std::string, DWORD> owners; // object number -> process id
    std::map<DWORD, std::vector<std::string>> calls;
    for (const nlohmann::ordered_json& line : journal) {
        const std::string method = Member(line, "method");
        if (method.empty()) {
            continue;
        }
        const std::string object = Member(line, "object");
        if (method == "Initialize") {
            const nlohmann::ordered_json args = line.value("args", nlohmann::ordered_json::array());
            if (args.size() == 1 && args[0].is_number_integer()) {
                owners[object] = args[0].get<DWORD>();
            }
        }
        const auto owner = owners.find(object);
        const DWORD process = owner != owners.end() ? owner->second : 0;
        const std::string hr = Member(line, "hr");
        calls[process].push_back(Member(line, "interface") + "." + method +
                                 (hr.empty() || hr == "0x00000000" ? "" : " " + hr));
    }
    return calls;
}

int ProcessCount(std::wstring_view image, DWORD parent) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int count = 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (CompareStringOrdinal(entry.szExeFile, -1, image.data(), static_cast<int>(image.size()), TRUE) ==
                CSTR_EQUAL &&
            (parent == 0 || entry.th32ParentProcessID == parent)) {
            ++count;
        }
    }
    CloseHandle(snapshot);
    return count;
}

HRESULT EmulatorAnswers() {
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HRESULT hr = S_OK;
    {
        ComPtr<IStreamingClient> client;
        hr = CreateLocalServerObject(CLSID_StreamingClient, IID_IStreamingClient, client);
        if (SUCCEEDED(hr)) {
            hr = client->Initialize(GetCurrentProcessId());
        }
        LONG state = 0;
        if (SUCCEEDED(hr)) {
            hr = client->GetClientState(&state);
        }
        if (SUCCEEDED(hr)) {
            static_cast<void>(client->Uninitialize());
        }
    }
    if (SUCCEEDED(apartment)) {
        CoUninitialize();
    }
    return hr;
}

std::wstring ReportsDirectory() {
    const std::wstring bin = BinDirectory();
    const std::wstring directory = bin.substr(0, bin.find_last_of(L"\\/")) + L"\\reports";
    CreateDirectoryW(directory.c_str(), nullptr);
    return directory;
}

std::wstring TempPath(std::wstring_view name) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    return std::wstring(temp) + L"quillet-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::wstring(name);
}

AlphaToken::AlphaToken() : m_path(TempPath(L"alpha.tok")) {
    WriteBytes(m_path, R"({"name":"Alpha","guid":")" + ToUtf8(kAlpha) + R"(","requiresReboot":true})");
}

AlphaToken::~AlphaToken() {
    DeleteFileW(m_path.c_str());
}

} // namespace quillet::testing::reliability
