#pragma once

#include <string>
#include <string_view>

namespace quillet {

// Text that came from the service (a name, a guid, a path), made fit to print: each control character
// (C0 but the tab, DEL, C1) becomes U+FFFD, which a code page shows as '?'. A name can thus neither start
// a line that passes for Quillet's own nor send escape sequences to a terminal. A NUL counts as one and
// does not end the text: its length does.
std::wstring ServiceText(std::wstring_view text);

} // namespace quillet
