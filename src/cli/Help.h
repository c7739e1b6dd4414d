#pragma once

#include <windows.h>

namespace quillet {

// Prints the help text embedded in the executable (resource TEXT 102). Returns FALSE, printing nothing,
// when the resource is missing or empty.
BOOL PrintHelp();

} // namespace quillet
