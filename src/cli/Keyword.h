#pragma once

namespace quillet {

// Whole-string comparison of a command-line word with a keyword that folds the ASCII letters only:
// "ALL" matches "all", but no other character is folded. A null word matches nothing.
bool KeywordEquals(const wchar_t* word, const wchar_t* keyword);

} // namespace quillet
