#pragma once

#include <windows.h>
#include <oleauto.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace quillet {

// Owns one BSTR: an argument made just before a call, or a string that the service returned.
class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(BSTR adopted) : m_bstr(adopted) {}
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    UniqueBstr(UniqueBstr&& other) noexcept : m_bstr(std::exchange(other.m_bstr, nullptr)) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) {
            reset();
            m_bstr = std::exchange(other.m_bstr, nullptr);
        }
        return *this;
    }
    ~UniqueBstr() { reset(); }

    // A copy of text; an empty text gives an empty BSTR, never a null one. Raises _com_error
    // (E_OUTOFMEMORY) when it cannot be allocated.
    static UniqueBstr Copy(std::wstring_view text);

    BSTR get() const { return m_bstr; }
    BSTR* put() {
        reset();
        return &m_bstr;
    }
    void reset() { SysFreeString(std::exchange(m_bstr, nullptr)); }

    // The text, or none for a null BSTR.
    std::optional<std::wstring> Text() const;

private:
    BSTR m_bstr = nullptr;
};

// The text of a VARIANT that holds a non-null BSTR; none for anything else.
std::optional<std::wstring> StringOf(const VARIANT& value);

} // namespace quillet
