#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillet::json {

// One JSON value. Objects keep their members in insertion order, so that what the emulator writes reads
// in a fixed, documented order. Integers that fit 64 bits are kept exactly; other numbers as doubles.
class Value {
public:
    enum class Type { Null, Bool, Number, String, Array, Object };
    using Member = std::pair<std::string, Value>;

    Value() = default;
    Value(std::nullptr_t) {}
    Value(bool value) : m_type(Type::Bool), m_bool(value) {}
    Value(int value) : Value(static_cast<std::int64_t>(value)) {}
    Value(long value) : Value(static_cast<std::int64_t>(value)) {}
    Value(long long value) : m_type(Type::Number), m_isInteger(true), m_integer(value) {}
    Value(unsigned value) : Value(static_cast<std::int64_t>(value)) {}
    Value(unsigned long value) : Value(static_cast<std::int64_t>(value)) {}
    Value(double value) : m_type(Type::Number), m_double(value) {}
    Value(const char* text) : m_type(Type::String), m_string(text) {}
    Value(std::string text) : m_type(Type::String), m_string(std::move(text)) {}
    Value(std::string_view text) : m_type(Type::String), m_string(text) {}

    static Value MakeArray() { return Value(Type::Array); }
    static Value MakeObject() { return Value(Type::Object); }

    Type GetType() const { return m_type; }
    bool IsNull() const { return m_type == Type::Null; }
    bool IsBool() const { return m_type == Type::Bool; }
    bool IsNumber() const { return m_type == Type::Number; }
    bool IsInteger() const { return m_type == Type::Number && m_isInteger; }
    bool IsString() const { return m_type == Type::String; }
    bool IsArray() const { return m_type == Type::Array; }
    bool IsObject() const { return m_type == Type::Object; }

    // Accessors throw TypeError when the value has another type.
    bool AsBool() const;
    std::int64_t AsInteger() const; // also a double without a fraction
    double AsDouble() const;
    const std::string& AsString() const;
    const std::vector<Value>& Items() const;
    std::vector<Value>& Items();
    const std::vector<Member>& Members() const;
    std::vector<Member>& Members();

    // Array building.
    Value& Append(Value item);
    size_t Size() const; // elements of an array, members of an object

    // Object access: Find returns null when the key is missing; Set replaces or appends.
    const Value* Find(std::string_view key) const;
    Value* Find(std::string_view key);
    Value& Set(std::string_view key, Value item);
    bool Remove(std::string_view key);

    friend bool operator==(const Value& left, const Value& right);

private:
    explicit Value(Type type) : m_type(type) {}
    Type m_type = Type::Null;
    bool m_bool = false;
    bool m_isInteger = false;
    std::int64_t m_integer = 0;
    double m_double = 0;
    std::string m_string;
    std::vector<Value> m_items;
    std::vector<Member> m_members;
};

class TypeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ParseError : public std::runtime_error {
public:
    ParseError(const std::string& message, size_t offset);
    size_t Offset() const { return m_offset; }

private:
    size_t m_offset;
};

// Parses one JSON text (UTF-8, an optional byte order mark, surrounding white space). Throws ParseError.
Value Parse(std::string_view text);

// Writes compactly, without any white space: one journal line, one token.
std::string WriteCompact(const Value& value);

// Writes for people: the top level indented, every nested object or array of scalars on one line, and
// arrays of objects one element a line. Ends with a line feed.
std::string WriteReadable(const Value& value);

} // namespace quillet::json
