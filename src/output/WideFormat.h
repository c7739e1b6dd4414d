#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

namespace quillet {

// Receives formatted text piece by piece.
class WideSink {
public:
    virtual ~WideSink() = default;
    virtual void Append(const wchar_t* text, size_t count) = 0;
    void Repeat(wchar_t character, size_t count);
};

// Fills a caller's fixed buffer and cuts silently at its end; the buffer is always terminated.
class FixedWideBuffer final : public WideSink {
public:
    // capacity counts the terminator and must be at least 1.
    FixedWideBuffer(wchar_t* buffer, size_t capacity);
    void Append(const wchar_t* text, size_t count) override;
    size_t Length() const { return m_length; }
    bool Truncated() const { return m_truncated; }

private:
    wchar_t* m_buffer;
    size_t m_capacity;
    size_t m_length = 0;
    bool m_truncated = false;
};

// Appends to a wide string.
class WideStringSink final : public WideSink {
public:
    explicit WideStringSink(std::wstring& target) : m_target(target) {}
    void Append(const wchar_t* text, size_t count) override { m_target.append(text, count); }

private:
    std::wstring& m_target;
};

// Formats like the wide printf family, with this program's convention on every toolchain:
// %s and %c take wide text (%hs and %hc narrow text, %S and %C the opposite of their lower-case forms),
// whatever the C runtime's own reading of %s is. Supported: flags "-+ #0", width and precision
// (also as *), the length modifiers hh h l ll L w z j t I I32 I64, and the conversions
// d i u o x X c C s S p e E f F g G a A and %%. %n writes nothing (it only consumes its argument),
// and an unknown conversion is copied to the output as it stands.
void FormatWideV(WideSink& sink, const wchar_t* format, va_list args);
void FormatWide(WideSink& sink, const wchar_t* format, ...);
std::wstring FormatWideString(const wchar_t* format, ...);

} // namespace quillet
