#include "ServiceText.h"

namespace quillet {

std::wstring ServiceText(std::wstring_view text) {
    std::wstring shown(text);
    for (wchar_t& character : shown) {
        if ((character < L' ' && character != L'\t') || (character >= 0x7F && character <= 0x9F)) {
            character = L'\xFFFD';
        }
    }
    return shown;
}

} // namespace quillet
