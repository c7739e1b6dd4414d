#pragma once

#include <windows.h>

namespace quillet {

// Service codes that say the client already is in the wanted state; they count as success.
inline constexpr HRESULT kClientAlreadyStarted = static_cast<HRESULT>(0xA0044011);
inline constexpr HRESULT kClientAlreadyStopped = static_cast<HRESULT>(0xA0044010);
inline constexpr HRESULT kApplicationsAlreadyInitialized = static_cast<HRESULT>(0xA0044021);
inline constexpr HRESULT kApplicationsAlreadyUninitialized = static_cast<HRESULT>(0xA0044020);

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

// The low 16 bits of an HRESULT, as trace lines show a failure.
inline unsigned TraceCode(HRESULT hr) {
    return static_cast<unsigned>(hr) & 0xFFFFu;
}

} // namespace quillet
