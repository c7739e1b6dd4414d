#pragma once

#include <windows.h>

namespace quillet {

// Traced by the operations that need the client and cannot start it.
inline constexpr wchar_t kCannotStartClientTrace[] = L"Cannot start Client to update Application status.\n";

// Starts the service's streaming client and initialises its applications; true when both are (or
// already were) in place. Failures go to the trace only.
bool EnsureClientStarted();

// Uninitialises the applications and stops the client, as far as the state the client reports asks for;
// true unless a call it needed failed with a code that is not tolerated.
bool ShutDownClient();

// True only when the service says that the calling user is an administrator; false on any failure.
bool QueryUserIsAdmin();

} // namespace quillet
