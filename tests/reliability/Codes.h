#pragma once

// The HRESULTs and application guids that the reliability tests share, and the scenario builder.

#include "Scenario.h"
#include "win32/Utf8.h"

#include <windows.h>

namespace quillet::testing::reliability {

inline constexpr DWORD kFail = 0x80004005;
inline constexpr DWORD kInvalidArgument = 0x80070057;
inline constexpr DWORD kTypeMismatch = 0x80020005;
inline constexpr DWORD kBadIndex = 0x8002000B;
inline constexpr DWORD kInvalidState = 0x8007139F;
// What a caller sees of a call during which the server process died.
inline constexpr DWORD kCallFailed = 0x800706BE;

inline constexpr wchar_t kAlpha[] = L"{A1A1A1A1-0000-4000-8000-0000000000A1}";
inline constexpr wchar_t kBeta[] = L"{B2B2B2B2-0000-4000-8000-0000000000B2}";

} // namespace quillet::testing::reliability
