#pragma once

#include "BaseParser.h"

namespace quillet {

// Reads the words after "cache". Not built yet: every cache command line is refused as incomplete.
class SCacheParser : public SBaseParser {
public:
    BOOL Parse(int count, const wchar_t* const* args) override;
};

} // namespace quillet
