#pragma once

#include <string>
#include <string_view>

namespace quillet::json {

// Conversions between the UTF-8 of JSON text and the UTF-16 wide strings of the platform. An unpaired
// surrogate or a malformed byte sequence becomes U+FFFD.
std::string ToUtf8(std::wstring_view text);
std::wstring FromUtf8(std::string_view text);

} // namespace quillet::json
