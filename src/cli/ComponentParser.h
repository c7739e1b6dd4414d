#pragma once

#include "BaseParser.h"

namespace quillet {

// Chooses help or a component from the first word of the command line.
class SComponentParser : public SBaseParser {
public:
    BOOL Parse(int count, const wchar_t* const* args) override;

    uint32_t m_component = COMPONENT_INVALID;
};

} // namespace quillet
