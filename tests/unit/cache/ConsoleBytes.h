#pragma once

#include <string>
#include <string_view>

namespace quillet::testing {

// The bytes that ASCII text, written by ConsolePrint, gives on a redirected standard output.
inline std::string ConsoleBytes(std::string_view text) {
    std::string bytes;
    for (const char character : text) {
        if (character == '\n') {
            bytes.push_back('\r');
        }
        bytes.push_back(character);
    }
    return bytes;
}

} // namespace quillet::testing
