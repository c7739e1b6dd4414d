#include "Utf8.h"

#include <windows.h>

#include <climits>
#include <stdexcept>

namespace quillet {

namespace {

int CheckedLength(size_t size) {
    if (size > static_cast<size_t>(INT_MAX)) {
        throw std::length_error("text too long to convert");
    }
    return static_cast<int>(size);
}

} // namespace

std::string ToUtf8(std::wstring_view text) {
    std::string result;
    const int length = CheckedLength(text.size());
    if (length == 0) {
        return result;
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    result.resize(static_cast<size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), size, nullptr, nullptr);
    return result;
}

std::wstring FromUtf8(std::string_view text) {
    return Widen(CP_UTF8, text);
}

std::wstring Widen(unsigned codePage, std::string_view text) {
    std::wstring result;
    const int length = CheckedLength(text.size());
    if (length == 0) {
        return result;
    }
    const int size = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    result.resize(static_cast<size_t>(size));
    MultiByteToWideChar(codePage, 0, text.data(), length, result.data(), size);
    return result;
}

} // namespace quillet
