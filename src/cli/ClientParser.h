#pragma once

#include "BaseParser.h"

namespace quillet {

// Reads the words after "client": start or stop, each standing alone. The command code is all it yields.
class SClientParser : public SBaseParser {
public:
    BOOL Parse(int count, const wchar_t* const* args) override;
};

} // namespace quillet
