#pragma once

#include "Console.h"

#include <windows.h>

namespace quillet {

// Texts that several command families print alike.
inline constexpr wchar_t kSuccessLine[] = L"Success.\n";
inline constexpr wchar_t kFailedLine[] = L"Failed.\n";
inline constexpr wchar_t kCoCreateInstanceFailedMessage[] = L"Error: failed to call CoCreateInstance().\n";
// Every cache command; the spelling is the one that scripts match.
inline constexpr wchar_t kCacheInitializeFailedMessage[] =
    L"Error: failed to intialize IStreamingCache object.\n";

// Completes a progress line with the outcome of the call that it announced.
inline void PrintOutcome(HRESULT hr) {
    ConsolePrint(SUCCEEDED(hr) ? kSuccessLine : kFailedLine);
}

} // namespace quillet
