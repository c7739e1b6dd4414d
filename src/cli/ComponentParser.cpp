#include "ComponentParser.h"

#include "Keyword.h"
#include "output/Console.h"

namespace quillet {

BOOL SComponentParser::Parse(int count, const wchar_t* const* args) {
    if (count <= 0 || KeywordEquals(args[0], L"-h")) {
        m_component = COMPONENT_HELP;
        return TRUE;
    }
    static constexpr struct {
        const wchar_t* keyword;
        uint32_t component;
    } kComponents[] = {
        {L"application", COMPONENT_APPLICATION},
        {L"cache", COMPONENT_CACHE},
        {L"client", COMPONENT_CLIENT},
    };
    for (const auto& entry : kComponents) {
        if (KeywordEquals(args[0], entry.keyword)) {
            m_component = entry.component;
            return TRUE;
        }
    }
    ConsolePrint(kInvalidArgumentsMessage);
    m_component = COMPONENT_INVALID;
    return FALSE;
}

} // namespace quillet
