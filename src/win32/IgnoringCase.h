#pragma once

#include <windows.h>

#include <climits>
#include <string_view>

namespace quillet {

// Whether two texts are equal when letter case is ignored, compared ordinally as the file system compares
// names.
inline bool EqualsIgnoringCase(std::wstring_view left, std::wstring_view right) {
    return left.size() == right.size() && left.size() <= static_cast<size_t>(INT_MAX) &&
           (left.empty() || CompareStringOrdinal(left.data(), static_cast<int>(left.size()), right.data(),
                                                 static_cast<int>(right.size()), TRUE) == CSTR_EQUAL);
}

} // namespace quillet
