#include "CacheParser.h"

#include "Keyword.h"
#include "output/Console.h"

#include <cwchar>
#include <cwctype>
#include <vector>

namespace quillet {

namespace {

static_assert(sizeof(long) == sizeof(int32_t), "the size conversion saturates at the limits of long");

// Leading blanks and one sign are accepted, digits are read up to the first other character, text
// without digits is 0 and values beyond the 32-bit range saturate. No error is reported.
int32_t ParseSize(const wchar_t* text) {
    return static_cast<int32_t>(std::wcstol(text, nullptr, 10));
}

// Splits a copy of the parameter string with the C runtime's tokenizer: runs of separators count as one
// and separators at either end give no token, so an empty field cannot be written as "||".
std::vector<std::wstring> SplitFields(const wchar_t* text) {
    std::wstring copy(text);
    std::vector<std::wstring> fields;
    wchar_t* context = nullptr;
    for (wchar_t* token = wcstok_s(copy.data(), L"|", &context); token != nullptr;
         token = wcstok_s(nullptr, L"|", &context)) {
        fields.emplace_back(token);
    }
    return fields;
}

// A field of white space only becomes empty; that is how an empty field is written.
std::wstring Trimmed(const std::wstring& field) {
    size_t end = field.size();
    while (end > 0 && std::iswspace(field[end - 1])) {
        --end;
    }
    size_t begin = 0;
    while (begin < end && std::iswspace(field[begin])) {
        ++begin;
    }
    return field.substr(begin, end - begin);
}

} // namespace

BOOL SCacheParser::Parse(int count, const wchar_t* const* args) {
    if (args == nullptr || args[0] == nullptr) {
        m_command = CMD_CACHE_INVALID;
        return FALSE;
    }
    const wchar_t* const word = args[0];
    if (KeywordEquals(word, L"size") || KeywordEquals(word, L"location")) {
        const bool isSize = KeywordEquals(word, L"size");
        m_command = isSize ? CMD_CACHE_SIZE : CMD_CACHE_LOCATION;
        if (args[1] == nullptr) {
            return TRUE;
        }
        if (count != 2) {
            ConsolePrint(kIncorrectNumberMessage);
            return FALSE;
        }
        if (isSize) {
            m_size = ParseSize(args[1]);
        } else {
            m_location = args[1];
        }
        m_hasValue = 1;
        return TRUE;
    }
    if (KeywordEquals(word, L"clear")) {
        m_command = CMD_CACHE_CLEAR;
        if (count != 1) {
            ConsolePrint(kIncorrectNumberMessage);
            return FALSE;
        }
        return TRUE;
    }
    if (KeywordEquals(word, L"multisource")) {
        m_command = CMD_CACHE_MULTISOURCE;
        if (!ParseMultisource(args)) {
            // Every multisource failure, an unknown sub-command included, reads as a missing word.
            ConsolePrint(kIncorrectNumberMessage);
            return FALSE;
        }
        return TRUE;
    }
    ConsolePrint(kInvalidArgumentsMessage);
    m_command = CMD_CACHE_INVALID;
    return FALSE;
}

bool SCacheParser::ParseMultisource(const wchar_t* const* list) {
    const wchar_t* const subCommand = list[1];
    if (subCommand == nullptr) {
        return false;
    }
    static constexpr struct {
        const wchar_t* keyword;
        int32_t operation;
    } kOperations[] = {
        {L"add", MS_ADD},
        {L"delete", MS_DELETE},
        {L"getInfo", MS_GET_INFO},
        {L"getIdList", MS_GET_ID_LIST},
    };
    MultisourceParams& params = m_multisource;
    for (const auto& entry : kOperations) {
        if (KeywordEquals(subCommand, entry.keyword)) {
            params.operation = entry.operation;
            break;
        }
    }
    const wchar_t* const parameters = list[2];
    switch (params.operation) {
    case MS_ADD: {
        if (parameters == nullptr) {
            return false;
        }
        const std::vector<std::wstring> fields = SplitFields(parameters);
        if (fields.size() > 4) {
            return false;
        }
        std::wstring* const targets[] = {&params.appGuid, &params.sourcePath, &params.destinationPath};
        for (size_t index = 0; index < fields.size(); ++index) {
            std::wstring value = Trimmed(fields[index]);
            if (index < 3) {
                *targets[index] = std::move(value);
            } else {
                params.flag = KeywordEquals(value.c_str(), L"TRUE") ? 1 : 0;
            }
        }
        return true;
    }
    case MS_DELETE:
    case MS_GET_INFO: {
        if (parameters == nullptr) {
            return false;
        }
        const std::vector<std::wstring> fields = SplitFields(parameters);
        if (fields.size() > 1) {
            return false;
        }
        if (!fields.empty()) {
            // A guid is passed on exactly as typed, blanks included.
            params.appGuid = fields.front();
        }
        return true;
    }
    case MS_GET_ID_LIST: {
        if (parameters == nullptr) {
            return true;
        }
        const std::vector<std::wstring> fields = SplitFields(parameters);
        if (fields.empty()) {
            return true;
        }
        if (fields.size() > 1) {
            return false;
        }
        if (KeywordEquals(fields.front().c_str(), L"TRUE")) {
            params.flag = 1;
            return true;
        }
        if (KeywordEquals(fields.front().c_str(), L"FALSE")) {
            params.flag = 0;
            return true;
        }
        return false;
    }
    default:
        return false;
    }
}

} // namespace quillet
