#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace quillet::testing {

// Quillet.exe of the build, next to the test program.
std::wstring QuilletPath();

// The bytes of one resource of an executable, read without running it; none when it is missing.
// language 0 takes the resource in whatever language it has.
std::optional<std::string> LoadResourceBytes(const std::wstring& path, const wchar_t* type,
                                             const wchar_t* name, WORD language = 0);

} // namespace quillet::testing
