#include "Registration.h"

#include "StreamingService.h"
#include "TypeLibrary.h"
#include "service/ComPtr.h"

#include <oleauto.h>

#include <string>
#include <utility>

#if defined(__MINGW32__)
// oleaut32 exports them, but mingw-w64's headers do not declare them.
extern "C" {
WINOLEAUTAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* fullPath, OLECHAR* helpDirectory);
WINOLEAUTAPI UnRegisterTypeLibForUser(REFGUID library, WORD major, WORD minor, LCID locale, SYSKIND kind);
}
#endif

namespace quillet::emulator {

namespace {

struct ClassKey {
    const CLSID* clsid;
    const wchar_t* description;
};

constexpr ClassKey kClasses[] = {
    {&CLSID_StreamingApplication, L"StreamingApplication Class"},
    {&CLSID_StreamingClient, L"StreamingClient Class"},
    {&CLSID_StreamingCache, L"StreamingCache Class"},
};

constexpr wchar_t kMachineClasses[] = L"Software\\Classes";

std::wstring GuidText(const GUID& guid) {
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

LSTATUS WriteClasses(HKEY root, const std::wstring& modulePath) {
    const std::wstring library = GuidText(LIBID_PlenumStreamingLib);
    for (const ClassKey& entry : kClasses) {
        const std::wstring base = std::wstring(kMachineClasses) + L"\\CLSID\\" + GuidText(*entry.clsid);
        const std::pair<std::wstring, std::wstring> defaultValues[] = {
            {base, entry.description},
            {base + L"\\LocalServer32", L"\"" + modulePath + L"\""},
            {base + L"\\TypeLib", library},
        };
        for (const auto& [path, value] : defaultValues) {
            // Creates the key when it is missing.
            const LSTATUS status = RegSetKeyValueW(root, path.c_str(), nullptr, REG_SZ, value.c_str(),
                                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
            if (status != ERROR_SUCCESS) {
                return status;
            }
        }
    }
    return ERROR_SUCCESS;
}

void DeleteClasses(HKEY root) {
    for (const ClassKey& entry : kClasses) {
        const std::wstring base = std::wstring(kMachineClasses) + L"\\CLSID\\" + GuidText(*entry.clsid);
        RegDeleteTreeW(root, base.c_str());
        RegDeleteKeyW(root, base.c_str());
    }
}

} // namespace

HRESULT RegisterServer(RegistrationScope& scope) {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    }
    quillet::ComPtr<ITypeLib> library;
    HRESULT hr = LoadServiceTypeLibrary(library.put());
    if (FAILED(hr)) {
        return hr;
    }
    scope = RegistrationScope::Machine;
    LSTATUS status = WriteClasses(HKEY_LOCAL_MACHINE, path);
    if (status == ERROR_ACCESS_DENIED) {
        scope = RegistrationScope::User;
        status = WriteClasses(HKEY_CURRENT_USER, path);
    }
    if (status != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(status);
    }
    return scope == RegistrationScope::Machine ? RegisterTypeLib(library.get(), path, nullptr)
                                               : RegisterTypeLibForUser(library.get(), path, nullptr);
}

void UnregisterServer() {
    DeleteClasses(HKEY_LOCAL_MACHINE);
    DeleteClasses(HKEY_CURRENT_USER);
    // Either may not be registered; what matters is that nothing is left.
    UnRegisterTypeLib(LIBID_PlenumStreamingLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
    UnRegisterTypeLibForUser(LIBID_PlenumStreamingLib, 1, 0, LOCALE_NEUTRAL, SYS_WIN64);
}

} // namespace quillet::emulator
