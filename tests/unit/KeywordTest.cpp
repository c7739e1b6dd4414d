#include "cli/Keyword.h"

#include <gtest/gtest.h>

namespace quillet {
namespace {

TEST(KeywordEquals, FoldsAsciiLettersOnly) {
    struct Case {
        const wchar_t* word;
        const wchar_t* keyword;
        bool equal;
    };
    const Case cases[] = {
        {L"application", L"application", true},
        {L"APPLICATION", L"application", true},
        {L"cLiEnT", L"client", true},
        {L"-H", L"-h", true},
        {L"getidlist", L"getIdList", true},
        {L"apps", L"application", false},
        {L"application ", L"application", false},
        {L"", L"all", false},
        {nullptr, L"all", false},
        // Only A-Z fold: the Kelvin sign and the dotted capital I are not letters of the keyword.
        {L"\x212A", L"k", false},
        {L"\x0130", L"i", false},
        {L"\x00C0", L"\x00E0", false},
        // '@' and '[' border the upper-case range and must not fold into '`' or '{'.
        {L"@", L"`", false},
        {L"[", L"{", false},
    };
    for (const auto& row : cases) {
        EXPECT_EQ(KeywordEquals(row.word, row.keyword), row.equal)
            << (row.word ? ::testing::PrintToString(std::wstring(row.word)) : "null");
    }
}

} // namespace
} // namespace quillet
