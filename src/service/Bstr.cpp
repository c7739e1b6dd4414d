#include "Bstr.h"

#include "ComError.h"

namespace quillet {

UniqueBstr UniqueBstr::Copy(std::wstring_view text) {
    if (text.size() > 0x7FFFFFFEu) {
        ThrowComError(E_OUTOFMEMORY);
    }
    const BSTR copy = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (copy == nullptr) {
        ThrowComError(E_OUTOFMEMORY);
    }
    return UniqueBstr(copy);
}

std::optional<std::wstring> UniqueBstr::Text() const {
    if (!*this) {
        return std::nullopt;
    }
    return std::wstring(get(), SysStringLen(get()));
}

std::optional<std::wstring> StringOf(const VARIANT& value) {
    if (value.vt != VT_BSTR || value.bstrVal == nullptr) {
        return std::nullopt;
    }
    return std::wstring(value.bstrVal, SysStringLen(value.bstrVal));
}

} // namespace quillet
