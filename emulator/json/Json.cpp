#include "json/Json.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace quillet::json {

namespace {

[[noreturn]] void WrongType(const char* wanted) {
    throw TypeError(std::string("JSON value is not ") + wanted);
}

void AppendUtf8(std::string& out, unsigned long codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

class Parser {
public:
    explicit Parser(std::string_view text) : m_text(text) {}

    Value ParseDocument() {
        if (m_text.substr(0, 3) == "\xEF\xBB\xBF") {
            m_position = 3;
        }
        SkipSpace();
        Value value = ParseValue(0);
        SkipSpace();
        if (m_position != m_text.size()) {
            Fail("unexpected text after the value");
        }
        return value;
    }

private:
    // Deep enough for any state or token, shallow enough that a hostile text cannot exhaust the stack.
    static constexpr int kMaxDepth = 64;

    [[noreturn]] void Fail(const std::string& message) const { throw ParseError(message, m_position); }

    void SkipSpace() {
        while (m_position < m_text.size()) {
            char c = m_text[m_position];
            if (c != ' ' && c != '\t' && c != '\r' && c != '\n') {
                break;
            }
            ++m_position;
        }
    }

    bool Consume(std::string_view word) {
        if (m_text.substr(m_position, word.size()) == word) {
            m_position += word.size();
            return true;
        }
        return false;
    }

    void Expect(char c) {
        if (m_position >= m_text.size() || m_text[m_position] != c) {
            Fail(std::string("expected '") + c + "'");
        }
        ++m_position;
    }

    Value ParseValue(int depth) {
        if (depth > kMaxDepth) {
            Fail("nesting too deep");
        }
        if (m_position >= m_text.size()) {
            Fail("unexpected end of text");
        }
        switch (m_text[m_position]) {
        case '{':
            return ParseObject(depth);
        case '[':
            return ParseArray(depth);
        case '"':
            return Value(ParseString());
        case 't':
            if (Consume("true")) {
                return Value(true);
            }
            break;
        case 'f':
            if (Consume("false")) {
                return Value(false);
            }
            break;
        case 'n':
            if (Consume("null")) {
                return Value();
            }
            break;
        default:
            return ParseNumber();
        }
        Fail("invalid literal");
    }

    Value ParseObject(int depth) {
        Expect('{');
        Value object = Value::MakeObject();
        SkipSpace();
        if (Consume("}")) {
            return object;
        }
        for (;;) {
            SkipSpace();
            if (m_position >= m_text.size() || m_text[m_position] != '"') {
                Fail("expected a member name");
            }
            std::string key = ParseString();
            SkipSpace();
            Expect(':');
            SkipSpace();
            object.Set(key, ParseValue(depth + 1));
            SkipSpace();
            if (Consume("}")) {
                return object;
            }
            Expect(',');
        }
    }

    Value ParseArray(int depth) {
        Expect('[');
        Value array = Value::MakeArray();
        SkipSpace();
        if (Consume("]")) {
            return array;
        }
        for (;;) {
            SkipSpace();
            array.Append(ParseValue(depth + 1));
            SkipSpace();
            if (Consume("]")) {
                return array;
            }
            Expect(',');
        }
    }

    unsigned ParseHex4() {
        if (m_position + 4 > m_text.size()) {
            Fail("truncated \\u escape");
        }
        unsigned value = 0;
        for (int i = 0; i < 4; ++i) {
            char c = m_text[m_position++];
            value <<= 4;
            if (c >= '0' && c <= '9') {
                value |= static_cast<unsigned>(c - '0');
            } else if (c >= 'a' && c <= 'f') {
                value |= static_cast<unsigned>(c - 'a' + 10);
            } else if (c >= 'A' && c <= 'F') {
                value |= static_cast<unsigned>(c - 'A' + 10);
            } else {
                Fail("invalid \\u escape");
            }
        }
        return value;
    }

    std::string ParseString() {
        Expect('"');
        std::string out;
        for (;;) {
            if (m_position >= m_text.size()) {
                Fail("unterminated string");
            }
            char c = m_text[m_position++];
            if (c == '"') {
                return out;
            }
            if (static_cast<unsigned char>(c) < 0x20) {
                Fail("control character in string");
            }
            if (c != '\\') {
                out += c;
                continue;
            }
            if (m_position >= m_text.size()) {
                Fail("unterminated string");
            }
            char escape = m_text[m_position++];
            switch (escape) {
            case '"':
            case '\\':
            case '/':
                out += escape;
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'u': {
                unsigned long codePoint = ParseHex4();
                if (codePoint >= 0xD800 && codePoint < 0xDC00 && m_text.substr(m_position, 2) == "\\u") {
                    size_t save = m_position;
                    m_position += 2;
                    unsigned low = ParseHex4();
                    if (low >= 0xDC00 && low < 0xE000) {
                        codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (low - 0xDC00);
                    } else {
                        m_position = save;
                        codePoint = 0xFFFD;
                    }
                } else if (codePoint >= 0xD800 && codePoint < 0xE000) {
                    codePoint = 0xFFFD;
                }
                AppendUtf8(out, codePoint);
                break;
            }
            default:
                Fail("invalid escape");
            }
        }
    }

    Value ParseNumber() {
        size_t start = m_position;
        bool integer = true;
        if (m_position < m_text.size() && m_text[m_position] == '-') {
            ++m_position;
        }
        size_t digits = m_position;
        while (m_position < m_text.size() && m_text[m_position] >= '0' && m_text[m_position] <= '9') {
            ++m_position;
        }
        if (m_position == digits) {
            Fail("invalid value");
        }
        if (m_text[digits] == '0' && m_position - digits > 1) {
            Fail("leading zero in number");
        }
        if (m_position < m_text.size() && m_text[m_position] == '.') {
            integer = false;
            ++m_position;
            size_t fraction = m_position;
            while (m_position < m_text.size() && m_text[m_position] >= '0' && m_text[m_position] <= '9') {
                ++m_position;
            }
            if (m_position == fraction) {
                Fail("digits expected after the decimal point");
            }
        }
        if (m_position < m_text.size() && (m_text[m_position] == 'e' || m_text[m_position] == 'E')) {
            integer = false;
            ++m_position;
            if (m_position < m_text.size() && (m_text[m_position] == '+' || m_text[m_position] == '-')) {
                ++m_position;
            }
            size_t exponent = m_position;
            while (m_position < m_text.size() && m_text[m_position] >= '0' && m_text[m_position] <= '9') {
                ++m_position;
            }
            if (m_position == exponent) {
                Fail("digits expected in the exponent");
            }
        }
        const char* first = m_text.data() + start;
        const char* last = m_text.data() + m_position;
        if (integer) {
            long long value = 0;
            auto [end, error] = std::from_chars(first, last, value);
            if (error == std::errc() && end == last) {
                return Value(value);
            }
        }
        // strtod needs a terminated string and reads the locale's decimal point; from_chars does neither.
        double value = 0;
        auto [end, error] = std::from_chars(first, last, value);
        if (error != std::errc() || end != last) {
            Fail("number out of range");
        }
        return Value(value);
    }

    std::string_view m_text;
    size_t m_position = 0;
};

void WriteString(std::string& out, const std::string& text) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out += "\\u00";
                out += hex[(c >> 4) & 0xF];
                out += hex[c & 0xF];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void WriteNumber(std::string& out, const Value& value) {
    char buffer[64];
    if (value.IsInteger()) {
        auto result = std::to_chars(buffer, buffer + sizeof buffer, value.AsInteger());
        out.append(buffer, result.ptr);
        return;
    }
    double number = value.AsDouble();
    if (!std::isfinite(number)) {
        out += "null"; // JSON has no infinity or NaN
        return;
    }
    auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
    out += text;
    // Keep a whole-valued double recognisable as one when it is read back.
    if (text.find_first_of(".eEn") == std::string_view::npos) {
        out += ".0";
    }
}

void WriteCompactTo(std::string& out, const Value& value) {
    switch (value.GetType()) {
    case Value::Type::Null:
        out += "null";
        break;
    case Value::Type::Bool:
        out += value.AsBool() ? "true" : "false";
        break;
    case Value::Type::Number:
        WriteNumber(out, value);
        break;
    case Value::Type::String:
        WriteString(out, value.AsString());
        break;
    case Value::Type::Array: {
        out += '[';
        bool first = true;
        for (const Value& item : value.Items()) {
            if (!first) {
                out += ',';
            }
            first = false;
            WriteCompactTo(out, item);
        }
        out += ']';
        break;
    }
    case Value::Type::Object: {
        out += '{';
        bool first = true;
        for (const auto& [key, item] : value.Members()) {
            if (!first) {
                out += ',';
            }
            first = false;
            WriteString(out, key);
            out += ':';
            WriteCompactTo(out, item);
        }
        out += '}';
        break;
    }
    }
}

bool HoldsContainers(const Value& value) {
    if (value.IsArray()) {
        for (const Value& item : value.Items()) {
            if (item.IsArray() || item.IsObject()) {
                return true;
            }
        }
    } else if (value.IsObject()) {
        for (const auto& member : value.Members()) {
            if (member.second.IsArray() || member.second.IsObject()) {
                return true;
            }
        }
    }
    return false;
}

void WriteReadableTo(std::string& out, const Value& value, int depth) {
    if (!HoldsContainers(value) || depth >= 2) {
        WriteCompactTo(out, value);
        return;
    }
    std::string indent(static_cast<size_t>(depth + 1) * 2, ' ');
    std::string closing(static_cast<size_t>(depth) * 2, ' ');
    bool first = true;
    if (value.IsArray()) {
        out += "[\n";
        for (const Value& item : value.Items()) {
            out += first ? "" : ",\n";
            first = false;
            out += indent;
            WriteReadableTo(out, item, depth + 1);
        }
        out += "\n" + closing + "]";
    } else {
        out += "{\n";
        for (const auto& [key, item] : value.Members()) {
            out += first ? "" : ",\n";
            first = false;
            out += indent;
            WriteString(out, key);
            out += ": ";
            WriteReadableTo(out, item, depth + 1);
        }
        out += "\n" + closing + "}";
    }
}

} // namespace

bool Value::AsBool() const {
    if (m_type != Type::Bool) {
        WrongType("a boolean");
    }
    return m_bool;
}

std::int64_t Value::AsInteger() const {
    if (m_type != Type::Number) {
        WrongType("a number");
    }
    if (m_isInteger) {
        return m_integer;
    }
    if (std::trunc(m_double) != m_double || std::fabs(m_double) > 9.2e18) {
        WrongType("an integer");
    }
    return static_cast<std::int64_t>(m_double);
}

double Value::AsDouble() const {
    if (m_type != Type::Number) {
        WrongType("a number");
    }
    return m_isInteger ? static_cast<double>(m_integer) : m_double;
}

const std::string& Value::AsString() const {
    if (m_type != Type::String) {
        WrongType("a string");
    }
    return m_string;
}

const std::vector<Value>& Value::Items() const {
    if (m_type != Type::Array) {
        WrongType("an array");
    }
    return m_items;
}

std::vector<Value>& Value::Items() {
    if (m_type != Type::Array) {
        WrongType("an array");
    }
    return m_items;
}

const std::vector<Value::Member>& Value::Members() const {
    if (m_type != Type::Object) {
        WrongType("an object");
    }
    return m_members;
}

std::vector<Value::Member>& Value::Members() {
    if (m_type != Type::Object) {
        WrongType("an object");
    }
    return m_members;
}

Value& Value::Append(Value item) {
    return Items().emplace_back(std::move(item));
}

size_t Value::Size() const {
    if (m_type == Type::Array) {
        return m_items.size();
    }
    return Members().size();
}

const Value* Value::Find(std::string_view key) const {
    for (const auto& member : Members()) {
        if (member.first == key) {
            return &member.second;
        }
    }
    return nullptr;
}

Value* Value::Find(std::string_view key) {
    for (auto& member : Members()) {
        if (member.first == key) {
            return &member.second;
        }
    }
    return nullptr;
}

Value& Value::Set(std::string_view key, Value item) {
    if (Value* existing = Find(key)) {
        *existing = std::move(item);
        return *existing;
    }
    return m_members.emplace_back(std::string(key), std::move(item)).second;
}

bool Value::Remove(std::string_view key) {
    auto& members = Members();
    for (auto it = members.begin(); it != members.end(); ++it) {
        if (it->first == key) {
            members.erase(it);
            return true;
        }
    }
    return false;
}

bool operator==(const Value& left, const Value& right) {
    if (left.m_type != right.m_type) {
        return false;
    }
    switch (left.m_type) {
    case Value::Type::Null:
        return true;
    case Value::Type::Bool:
        return left.m_bool == right.m_bool;
    case Value::Type::Number:
        if (left.m_isInteger && right.m_isInteger) {
            return left.m_integer == right.m_integer;
        }
        return left.AsDouble() == right.AsDouble();
    case Value::Type::String:
        return left.m_string == right.m_string;
    case Value::Type::Array:
        return left.m_items == right.m_items;
    case Value::Type::Object:
        return left.m_members == right.m_members;
    }
    return false;
}

ParseError::ParseError(const std::string& message, size_t offset)
    : std::runtime_error(message + " at offset " + std::to_string(offset)), m_offset(offset) {}

Value Parse(std::string_view text) {
    return Parser(text).ParseDocument();
}

std::string WriteCompact(const Value& value) {
    std::string out;
    WriteCompactTo(out, value);
    return out;
}

std::string WriteReadable(const Value& value) {
    std::string out;
    WriteReadableTo(out, value, 0);
    out += '\n';
    return out;
}

} // namespace quillet::json
