#pragma once

#include <windows.h>
#include <oleauto.h>

namespace quillet {

// The one owner of a VARIANT: starts VT_EMPTY and clears what it holds (a BSTR, an array, an interface)
// when it goes. It is a VARIANT, so it passes wherever one is expected.
class UniqueVariant : public tagVARIANT {
public:
    UniqueVariant() noexcept : tagVARIANT() { VariantInit(this); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;
    ~UniqueVariant() { VariantClear(this); }

    // Clears what is held, so that an out parameter never overwrites a value still owned.
    VARIANT* put() noexcept {
        VariantClear(this);
        return this;
    }
    // Clears what is held and leaves VT_EMPTY; the result of VariantClear.
    HRESULT reset() noexcept { return VariantClear(this); }
};

} // namespace quillet
