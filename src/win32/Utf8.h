#pragma once

#include <string>
#include <string_view>

namespace quillet {

// Conversions between UTF-8 and the platform's UTF-16, over the CP_UTF8 code page: an unpaired surrogate
// or a malformed byte sequence becomes U+FFFD. Text beyond 2 GB raises std::length_error.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);
// The same from another code page, such as CP_ACP or CP_THREAD_ACP.
std::wstring Widen(unsigned codePage, std::string_view text);

} // namespace quillet
