#include "Help.h"

#include "output/Console.h"
#include "resource.h"
#include "win32/Utf8.h"

#include <climits>
#include <string>
#include <string_view>

namespace quillet {

BOOL PrintHelp() {
    const HMODULE module = GetModuleHandleW(nullptr);
    const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(IDR_HELP_TEXT), L"TEXT");
    if (resource == nullptr) {
        return FALSE;
    }
    const HGLOBAL loaded = LoadResource(module, resource);
    if (loaded == nullptr) {
        return FALSE;
    }
    const auto* text = static_cast<const char*>(LockResource(loaded));
    const DWORD size = SizeofResource(module, resource);
    if (text == nullptr || size == 0 || size > static_cast<DWORD>(INT_MAX)) {
        return FALSE;
    }
    // The resource carries no terminator: convert exactly its size.
    const std::wstring help = Widen(CP_THREAD_ACP, std::string_view(text, size));
    if (help.empty()) {
        return FALSE;
    }
    // The text holds no conversion, so it can stand as the format.
    ConsolePrint(help.c_str());
    return TRUE;
}

} // namespace quillet
