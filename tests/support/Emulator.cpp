#include "Emulator.h"

#include "DataDirectory.h"

#include "InstanceNames.h"
#include "Runner.h"
#include "StreamingService.h"
#include "service/ComPtr.h"
#include "win32/UniqueHandle.h"
#include "win32/Utf8.h"
#include "win32/WholeFile.h"

namespace quillet::testing {

namespace emulator {

namespace {

// Enough for a cold start of the server under Wine (about a second) many times over.
constexpr int kActivationAttempts = 100;
constexpr int kStartAttempts = 3;
constexpr DWORD kActivationRetryMs = 100;

[[noreturn]] void Fail(const std::string& what, HRESULT hr) {
    throw std::runtime_error(what + " (HRESULT " + std::to_string(static_cast<DWORD>(hr)) + ")");
}

bool Missing(HRESULT hr) {
    return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
}

void DeleteIfPresent(const std::wstring& path) {
    if (!DeleteFileW(path.c_str()) && !Missing(HRESULT_FROM_WIN32(GetLastError()))) {
        Fail("cannot delete " + ToUtf8(path), HRESULT_FROM_WIN32(GetLastError()));
    }
}

} // namespace

bool Serves() {
    const UniqueHandle ready(OpenEventW(
        SYNCHRONIZE, FALSE, quillet::emulator::InstanceObjectName(quillet::emulator::kReadyEvent).c_str()));
    return ready && WaitForSingleObject(ready.get(), 0) == WAIT_OBJECT_0;
}

namespace {

std::wstring RegisteredServer() {
    wchar_t clsid[40] = {};
    StringFromGUID2(CLSID_StreamingClient, clsid, 40);
    const std::wstring key = std::wstring(L"Software\\Classes\\CLSID\\") + clsid + L"\\LocalServer32";
    for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        wchar_t value[MAX_PATH + 4] = {};
        DWORD size = sizeof value - sizeof(wchar_t);
        if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) == ERROR_SUCCESS) {
            return value;
        }
    }
    return {};
}

} // namespace

Apartment::Apartment() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}

Apartment::~Apartment() {
    if (SUCCEEDED(m_hr)) {
        CoUninitialize();
    }
}

std::wstring DataDirectory() {
    return quillet::emulator::DataDirectory::Locate().root;
}

std::wstring StatePath() {
    return quillet::emulator::DataDirectory::Locate().statePath;
}

std::wstring JournalPath() {
    return quillet::emulator::DataDirectory::Locate().journalPath;
}

std::wstring CacheFolder() {
    return quillet::emulator::DataDirectory::Locate().cacheFolder;
}

std::wstring EmulatorPath() {
    return BinDirectory() + L"\\PlenumEmulator.exe";
}

RunResult RunEmulator(const std::wstring& verb) {
    return Run({verb}, {.program = EmulatorPath(), .timeoutMs = 60000, .captureTrace = false});
}

HRESULT EnsureResident() {
    const std::wstring expected = L"\"" + EmulatorPath() + L"\"";
    if (CompareStringOrdinal(RegisteredServer().c_str(), -1, expected.c_str(), -1, TRUE) != CSTR_EQUAL) {
        if (const DWORD result = RunEmulator(L"/RegServer").exitCode; result != 0) {
            return static_cast<HRESULT>(result);
        }
    }
    return Serves() ? S_OK : RecoverAfterCrash();
}

void Reset() {
    if (const HRESULT hr = EnsureResident(); FAILED(hr)) {
        Fail("the emulator is not resident", hr);
    }
    ClearScenario();
    ClearJournal();
}

HRESULT RecoverAfterCrash() {
    // Under load Wine now and then fails to bring up the new instance's process (ERROR_INTERNAL_ERROR, before
    // any of its code ran): /Start is then tried again.
    DWORD started = 0;
    for (int attempt = 0; attempt < kStartAttempts && !Serves(); ++attempt) {
        started = RunEmulator(L"/Start").exitCode;
    }
    if (started != 0 && !Serves()) {
        return static_cast<HRESULT>(started);
    }
    const Apartment apartment;
    HRESULT hr = E_FAIL;
    for (int attempt = 0; attempt < kActivationAttempts && FAILED(hr); ++attempt) {
        ComPtr<IStreamingClient> client;
        hr = CreateLocalServerObject(CLSID_StreamingClient, IID_IStreamingClient, client);
        if (FAILED(hr)) {
            Sleep(kActivationRetryMs);
        }
    }
    return hr;
}

void StopEmulator() {
    if (const DWORD result = RunEmulator(L"/Stop").exitCode; result != 0) {
        Fail("PlenumEmulator /Stop failed", static_cast<HRESULT>(result));
    }
}

void WriteScenario(std::string_view jsonText) {
    CreateDirectoryW(DataDirectory().c_str(), nullptr);
    // The emulator notices a change by size and time stamp, and the time stamp may not move: a blank at the
    // end makes the size differ from what is there.
    WIN32_FILE_ATTRIBUTE_DATA before = {};
    GetFileAttributesExW(StatePath().c_str(), GetFileExInfoStandard, &before);
    const std::string text = std::string(jsonText) + (before.nFileSizeLow == jsonText.size() ? " " : "");
    if (const HRESULT hr = ReplaceWholeFile(StatePath(), text); FAILED(hr)) {
        Fail("cannot write " + ToUtf8(StatePath()), hr);
    }
}

void ClearScenario() {
    DeleteIfPresent(StatePath());
}

nlohmann::ordered_json ReadState() {
    const std::string content = ReadDataFile(StatePath());
    return content.empty() ? nlohmann::ordered_json::object() : nlohmann::ordered_json::parse(content);
}

void ClearJournal() {
    DeleteIfPresent(JournalPath());
}

std::string ReadDataFile(const std::wstring& path) {
    std::string content;
    if (const HRESULT hr = ReadWholeFile(path, content); FAILED(hr) && !Missing(hr)) {
        Fail("cannot read " + ToUtf8(path), hr);
    }
    return content;
}

} // namespace emulator
} // namespace quillet::testing
