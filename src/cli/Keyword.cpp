#include "Keyword.h"

namespace quillet {

namespace {

wchar_t FoldAscii(wchar_t character) {
    return (character >= L'A' && character <= L'Z') ? static_cast<wchar_t>(character - L'A' + L'a')
                                                    : character;
}

} // namespace

bool KeywordEquals(const wchar_t* word, const wchar_t* keyword) {
    if (word == nullptr || keyword == nullptr) {
        return false;
    }
    for (; *word != L'\0' && *keyword != L'\0'; ++word, ++keyword) {
        if (FoldAscii(*word) != FoldAscii(*keyword)) {
            return false;
        }
    }
    return *word == L'\0' && *keyword == L'\0';
}

} // namespace quillet
