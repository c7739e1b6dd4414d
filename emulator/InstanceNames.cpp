#include "InstanceNames.h"

#include "win32/UniqueHandle.h"

#include <windows.h>

#include <cwchar>

namespace quillet::emulator {

std::wstring InstanceObjectName(const wchar_t* what) {
    std::wstring name = std::wstring(L"Local\\PlenumEmulator.") + what;
    UniqueHandle token;
    TOKEN_STATISTICS statistics = {};
    DWORD size = 0;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put()) &&
        GetTokenInformation(token.get(), TokenStatistics, &statistics, sizeof statistics, &size)) {
        wchar_t session[24];
        std::swprintf(session, 24, L".%08lX%08lX",
                      static_cast<unsigned long>(statistics.AuthenticationId.HighPart),
                      static_cast<unsigned long>(statistics.AuthenticationId.LowPart));
        name += session;
    }
    return name;
}

} // namespace quillet::emulator
