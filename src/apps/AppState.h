#pragma once

#include "service/ServiceContract.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>

namespace quillet {

// What the application commands print when the streaming client cannot be started.
inline constexpr wchar_t kCannotStartClientMessage[] =
    L"Error: cannot start IStreamingClient to execute application command.\n";

// The state that the service reports for the application; APP_STATE_NONE when it does not know it or a
// call fails. Does not start the client.
LONG QueryAppStatus(const std::wstring& appId);

// The application's display name; none when a call fails or the reply holds no string.
std::optional<std::wstring> QueryAppName(const std::wstring& appId);

// Drives the application from the state that the service reports to targetState: load, mount, run the
// command text1 (target 16), start (target 64, with text1 as launch parameters); and with stepDown also
// stop (with a bounded wait), unmount, unload, remove. Every decision rests on the state read once at the
// start. Returns the first failure, or the result of the last call made.
HRESULT ModifyAppState(const std::wstring& appId, uint32_t targetState, bool stepDown,
                       const std::wstring& text1, const std::wstring& text2, const std::wstring& text3);

} // namespace quillet
