#pragma once

#include "BaseParser.h"

namespace quillet {

// Reads the words after "client". Not built yet: every client command line is refused as incomplete.
class SClientParser : public SBaseParser {
public:
    BOOL Parse(int count, const wchar_t* const* args) override;
};

} // namespace quillet
