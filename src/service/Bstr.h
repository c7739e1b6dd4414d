#pragma once

#include <windows.h>
#include <oleauto.h>

#include "win32/UniqueHandle.h"

#include <optional>
#include <string>
#include <string_view>

namespace quillet {

struct BstrTraits {
    using pointer = BSTR;
    static pointer Invalid() noexcept { return nullptr; }
    static void Close(pointer text) noexcept { SysFreeString(text); }
};

// Owns one BSTR: an argument made just before a call, or a string that the service returned.
class UniqueBstr : public UniqueAny<BstrTraits> {
public:
    using UniqueAny::UniqueAny;

    // A copy of text; an empty text gives an empty BSTR, never a null one. Raises _com_error
    // (E_OUTOFMEMORY) when it cannot be allocated.
    static UniqueBstr Copy(std::wstring_view text);

    // The text, or none for a null BSTR.
    std::optional<std::wstring> Text() const;
};

// The text of a VARIANT that holds a non-null BSTR; none for anything else.
std::optional<std::wstring> StringOf(const VARIANT& value);

} // namespace quillet
