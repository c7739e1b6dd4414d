#pragma once

// What Quillet may print for a command line: the messages of the command that its first two words select
// (the parser's messages for anything else), and whether an output is made of them alone.

#include <string>
#include <string_view>
#include <vector>

namespace quillet::testing::reliability {

// The message formats of the command that args selects, keywords compared as Quillet compares them.
// %s stands for any text within a line, %d, %ld and %lld for a decimal number, %02d for one of two
// digits at least, %08X for eight hexadecimal digits. helpText is what "Quillet -h" prints.
std::vector<std::wstring> MessagesFor(const std::vector<std::wstring>& args, const std::wstring& helpText);

// Whether output (line ends as "\n") is a sequence of the formats, each as a whole, and nothing else.
bool MadeOf(std::wstring_view output, const std::vector<std::wstring>& formats);

// Text of the console's code page, line ends "\r\n" as "\n".
std::wstring DecodeConsole(const std::string& bytes);

} // namespace quillet::testing::reliability
