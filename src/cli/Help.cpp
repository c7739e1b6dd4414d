#include "Help.h"

#include "output/Console.h"
#include "resource.h"

#include <climits>
#include <string>

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
    const int length = MultiByteToWideChar(CP_THREAD_ACP, 0, text, static_cast<int>(size), nullptr, 0);
    if (length <= 0) {
        return FALSE;
    }
    std::wstring help(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_THREAD_ACP, 0, text, static_cast<int>(size), help.data(), length);
    // The text holds no conversion, so it can stand as the format.
    ConsolePrint(help.c_str());
    return TRUE;
}

} // namespace quillet
