#include "ExeResources.h"

#include "QuilletRunner.h"

namespace quillet::testing {

std::wstring QuilletPath() {
    return BinDirectory() + L"\\Quillet.exe";
}

std::optional<std::string> LoadResourceBytes(const std::wstring& path, const wchar_t* type,
                                             const wchar_t* name, WORD language) {
    const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> bytes;
    const HRSRC resource =
        language == 0 ? FindResourceW(module, name, type) : FindResourceExW(module, type, name, language);
    const HGLOBAL loaded = resource != nullptr ? LoadResource(module, resource) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data != nullptr) {
        bytes.emplace(static_cast<const char*>(data), SizeofResource(module, resource));
    }
    FreeLibrary(module);
    return bytes;
}

} // namespace quillet::testing
