#pragma once

#include "BaseParser.h"

namespace quillet {

// Reads the words after "application". Not built yet: every application command line is refused as
// incomplete.
class SApplicationParser : public SBaseParser {
public:
    BOOL Parse(int count, const wchar_t* const* args) override;
};

} // namespace quillet
