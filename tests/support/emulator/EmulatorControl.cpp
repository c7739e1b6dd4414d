#include "EmulatorControl.h"

#include "StreamingService.h"
#include "service/ComPtr.h"
#include "win32/UniqueHandle.h"
#include "win32/Utf8.h"
#include "win32/WholeFile.h"

#include <objbase.h>

#include <stdexcept>

namespace quillet::testing::emulator {

namespace {

// Enough for a cold start of the server under Wine (about a second) many times over.
constexpr int kActivationAttempts = 100;
constexpr DWORD kActivationRetryMs = 100;
constexpr DWORD kEmulatorTimeoutMs = 120000;
// Moved onto a state.json that would otherwise look unchanged: more than any file system's tick.
constexpr ULONGLONG kStampNudge = 10 * 10000; // 10 ms in 100 ns units

[[noreturn]] void Fail(const std::string& what, DWORD error) {
    throw std::runtime_error(what + " (error " + std::to_string(error) + ")");
}

bool EmulatorServes() {
    const UniqueHandle ready(OpenEventW(SYNCHRONIZE, FALSE, L"Local\\PlenumEmulator.Ready"));
    return ready && WaitForSingleObject(ready.get(), 0) == WAIT_OBJECT_0;
}

// The emulator is started by its own /Start rather than by COM on behalf of this process: Wine's desktop
// process, which the first windowed process of a session starts, would otherwise inherit this test's
// output pipe and keep it open for as long as the resident emulator keeps the desktop alive.
HRESULT StartEmulator() {
    if (EmulatorServes()) {
        return S_OK;
    }
    DWORD result = RunEmulator(L"/Start");
    return result == 0 ? S_OK : static_cast<HRESULT>(result);
}

HRESULT ActivateOnce() {
    quillet::ComPtr<IStreamingClient> client;
    return CreateLocalServerObject(CLSID_StreamingClient, IID_IStreamingClient, client);
}

std::wstring RegisteredServer() {
    wchar_t clsid[40] = {};
    StringFromGUID2(CLSID_StreamingClient, clsid, 40);
    std::wstring key = std::wstring(L"Software\\Classes\\CLSID\\") + clsid + L"\\LocalServer32";
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        wchar_t value[MAX_PATH + 4] = {};
        DWORD size = sizeof value - sizeof(wchar_t);
        if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS) {
            return value;
        }
    }
    return {};
}

struct FileTimes {
    bool exists = false;
    ULONGLONG size = 0;
    FILETIME lastWrite = {};
};

FileTimes TimesOf(const std::wstring& path) {
    FileTimes times;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        times.exists = true;
        times.size = (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        times.lastWrite = data.ftLastWriteTime;
    }
    return times;
}

bool Missing(HRESULT hr) {
    return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

std::string ReadFileOrEmpty(const std::wstring& path) {
    std::string content;
    const HRESULT hr = ReadWholeFile(path, content);
    if (FAILED(hr) && !Missing(hr)) {
        Fail("cannot read " + ToUtf8(path), static_cast<DWORD>(hr));
    }
    return content;
}

void DeleteIfPresent(const std::wstring& path) {
    if (!DeleteFileW(path.c_str())) {
        const DWORD error = GetLastError();
        if (!Missing(HRESULT_FROM_WIN32(error))) {
            Fail("cannot delete " + ToUtf8(path), error);
        }
    }
}

} // namespace

Apartment::Apartment() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}

Apartment::~Apartment() {
    if (SUCCEEDED(m_hr)) {
        CoUninitialize();
    }
}

std::wstring DataDirectory() {
    wchar_t buffer[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"ProgramData", buffer, MAX_PATH);
    std::wstring base = length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : L"C:\\ProgramData";
    return base + L"\\PlenumEmulator";
}

std::wstring StatePath() {
    return DataDirectory() + L"\\state.json";
}

std::wstring JournalPath() {
    return DataDirectory() + L"\\journal.jsonl";
}

std::wstring CacheFolder() {
    return DataDirectory() + L"\\Cache";
}

std::wstring EmulatorPath() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self(path, length);
    return self.substr(0, self.find_last_of(L'\\') + 1) + L"PlenumEmulator.exe";
}

DWORD RunEmulator(const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + EmulatorPath() + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    const UniqueFile nul(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inheritable, OPEN_EXISTING, 0, nullptr));
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul.get();
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        const DWORD error = GetLastError();
        Fail("cannot start " + ToUtf8(commandLine), error);
    }
    const UniqueHandle thread(process.hThread);
    const UniqueHandle child(process.hProcess);
    DWORD exitCode = 0;
    if (WaitForSingleObject(child.get(), kEmulatorTimeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(child.get(), 1);
        exitCode = WAIT_TIMEOUT;
    } else {
        GetExitCodeProcess(child.get(), &exitCode);
    }
    return exitCode;
}

HRESULT EnsureResident() {
    std::wstring expected = L"\"" + EmulatorPath() + L"\"";
    if (CompareStringOrdinal(RegisteredServer().c_str(), -1, expected.c_str(), -1, TRUE) != CSTR_EQUAL) {
        DWORD result = RunEmulator(L"/RegServer");
        if (result != 0) {
            return static_cast<HRESULT>(result);
        }
    }
    return RecoverAfterCrash();
}

void WriteScenario(std::string_view jsonText) {
    const std::wstring path = StatePath();
    CreateDirectoryW(DataDirectory().c_str(), nullptr);
    FileTimes before = TimesOf(path);
    // A temporary name of its own: the emulator writes state.json through state.json.tmp.
    const std::wstring temporary = path + L".scenario";
    if (const HRESULT hr = WriteWholeFile(temporary, jsonText); FAILED(hr)) {
        Fail("cannot write " + ToUtf8(temporary), static_cast<DWORD>(hr));
    }
    if (!MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD error = GetLastError();
        Fail("cannot replace " + ToUtf8(path), error);
    }
    // The emulator notices a change by size and time stamp; make sure at least one of them moved.
    FileTimes after = TimesOf(path);
    if (before.exists && after.size == before.size &&
        CompareFileTime(&after.lastWrite, &before.lastWrite) == 0) {
        ULARGE_INTEGER time;
        time.LowPart = after.lastWrite.dwLowDateTime;
        time.HighPart = after.lastWrite.dwHighDateTime;
        time.QuadPart += kStampNudge;
        FILETIME nudged = {time.LowPart, time.HighPart};
        const UniqueFile file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file || !SetFileTime(file.get(), nullptr, nullptr, &nudged)) {
            const DWORD error = GetLastError();
            Fail("cannot touch " + ToUtf8(path), error);
        }
    }
}

void ClearScenario() {
    DeleteIfPresent(StatePath());
}

nlohmann::ordered_json ReadState() {
    std::string content = ReadFileOrEmpty(StatePath());
    return content.empty() ? nlohmann::ordered_json::object() : nlohmann::ordered_json::parse(content);
}

void ClearJournal() {
    DeleteIfPresent(JournalPath());
}

std::vector<std::string> ReadJournalLines() {
    std::string content = ReadFileOrEmpty(JournalPath());
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            end = content.size();
        }
        lines.push_back(content.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<nlohmann::ordered_json> ReadJournal() {
    std::vector<nlohmann::ordered_json> entries;
    for (const std::string& line : ReadJournalLines()) {
        entries.push_back(nlohmann::ordered_json::parse(line));
    }
    return entries;
}

HRESULT RecoverAfterCrash() {
    HRESULT hr = StartEmulator();
    if (FAILED(hr)) {
        return hr;
    }
    // The first activation after a server died can fail once with 0x800706BA.
    const Apartment apartment;
    for (int attempt = 0; attempt < kActivationAttempts; ++attempt) {
        hr = ActivateOnce();
        if (SUCCEEDED(hr)) {
            return hr;
        }
        Sleep(kActivationRetryMs);
    }
    return hr;
}

void StopEmulator() {
    DWORD result = RunEmulator(L"/Stop");
    if (result != 0) {
        Fail("PlenumEmulator /Stop failed", result);
    }
}

} // namespace quillet::testing::emulator
