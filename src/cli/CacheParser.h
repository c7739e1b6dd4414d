#pragma once

#include "BaseParser.h"

#include <cstdint>
#include <string>

namespace quillet {

// The multisource sub-command and its fields, as read from "add|delete|getInfo|getIdList" and the one
// parameter string that follows it.
struct MultisourceParams {
    std::wstring appGuid;
    std::wstring sourcePath;
    std::wstring destinationPath;
    // add: overwrite an existing entry; getIdList: list finished files only. 1 true, 0 false.
    int32_t flag = 0;
    int32_t operation = MS_NONE;
};

// Reads the words after "cache": size and location with an optional value, clear, and multisource with
// its sub-command.
class SCacheParser : public SBaseParser {
public:
    BOOL Parse(int count, const wchar_t* const* args) override;

    // list starts at the word "multisource": entry 1 is the sub-command, entry 2 the parameter string;
    // later entries are ignored. Prints nothing; the caller reports a false result.
    bool ParseMultisource(const wchar_t* const* list);

    std::wstring m_location;
    int32_t m_size = 0;
    uint32_t m_hasValue = 0;
    MultisourceParams m_multisource;
};

} // namespace quillet
