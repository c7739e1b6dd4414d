#pragma once

// What every test names the same way: application guids, the HRESULTs that tests expect, and the two
// messages that every parser of the command line prints.

#include <windows.h>

#include <cstdio>
#include <string>

namespace quillet::testing {

inline constexpr wchar_t kAlpha[] = L"{A1A1A1A1-0000-4000-8000-0000000000A1}";
inline constexpr wchar_t kBeta[] = L"{B2B2B2B2-0000-4000-8000-0000000000B2}";
inline constexpr wchar_t kGamma[] = L"{C3C3C3C3-0000-4000-8000-0000000000C3}";
inline constexpr wchar_t kUnknown[] = L"{DEADBEEF-0000-4000-8000-000000000000}";

inline constexpr DWORD kFail = 0x80004005;            // E_FAIL: refusals without a code of their own
inline constexpr DWORD kInvalidArgument = 0x80070057; // E_INVALIDARG: a wrong command line
inline constexpr DWORD kAccessDenied = 0x80070005;
inline constexpr DWORD kAlreadyExists = 0x800700B7;
inline constexpr DWORD kNotFound = 0x80070490;     // an application or entry the service does not know
inline constexpr DWORD kInvalidState = 0x8007139F; // a ladder step that does not apply
inline constexpr DWORD kClassNotRegistered = 0x80040154;
inline constexpr DWORD kTypeMismatch = 0x80020005; // a reply that holds no array, or a wrong element
inline constexpr DWORD kBadIndex = 0x8002000B;     // a reply too short for what is read
inline constexpr DWORD kCallFailed = 0x800706BE;   // the server died inside the call
inline constexpr DWORD kClosedPipe = 0x800700E8;   // standard output is a pipe without a reader

inline constexpr char kInvalidArguments[] =
    "Error: invalid arguments entered. Use \"Quillet -h\" for more help.\n";
inline constexpr char kIncorrectNumber[] =
    "Error: incorrect number of arguments. Use \"Quillet -h\" for help.\n";
inline constexpr char kCannotStartClient[] =
    "Error: cannot start IStreamingClient to execute application command.\n";
inline constexpr char kNotAdministrator[] =
    "Error: user is not an administrator, operation cannot be executed.\n";
inline constexpr char kMultisourceAddFailed[] = "Adding multisource file...Failed.\n";

// An HRESULT or exit code as failure messages and the journal show it: "0x80004005".
inline std::string Hex(DWORD code) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", code);
    return text;
}

} // namespace quillet::testing
