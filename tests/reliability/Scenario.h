#pragma once

// The emulator's state before a run: client, applications, cache, multisource entries, faults and reply
// shapes, written as its state.json (see emulator/README.md).

#include "json/Json.h"

#include <windows.h>

#include <string>
#include <string_view>

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

std::string Utf8(std::wstring_view text);

class Scenario {
public:
    Scenario& Client(int state);
    Scenario& Admin(bool isAdmin);
    Scenario& App(std::wstring_view guid, std::wstring_view name, long long state);
    Scenario& Cache(std::wstring_view location, int sizeMB);
    Scenario& Multisource(std::wstring_view appGuid, std::wstring_view sourcePath,
                          std::wstring_view localPath);
    // action: "fail", "crash" or "hang"; times -1 acts on every matching call.
    Scenario& Fault(std::string_view method, std::string_view action, DWORD hr, int skip = 0, int times = 1);
    Scenario& Reply(std::string_view method, std::string_view shape, int times = -1);

    std::string Json() const;
    void Write() const;

private:
    json::Value m_client = json::Value::MakeObject();
    json::Value m_applications = json::Value::MakeArray();
    json::Value m_cache;
    json::Value m_multisource = json::Value::MakeArray();
    json::Value m_faults = json::Value::MakeArray();
    json::Value m_replies = json::Value::MakeArray();
};

} // namespace quillet::testing::reliability
