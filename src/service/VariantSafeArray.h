#pragma once

#include "win32/UniqueVariant.h"

#include <windows.h>
#include <oleauto.h>

namespace quillet {

// Owns one VARIANT that holds a one-dimensional SAFEARRAY of VARIANT: a reply that the service fills
// through an out parameter, or a settings array handed back to it. Elements are addressed by index as
// passed, counted from 0. Failures of the array primitives raise _com_error with their HRESULT.
class CVariantSafeArray : public UniqueVariant {
public:
    CVariantSafeArray() = default;
    virtual ~CVariantSafeArray();

    // The VARIANT to pass as a service call's VARIANT* out parameter, cleared first: the callee takes an
    // out parameter for empty and would overwrite a reply still held.
    VARIANT* Out() { return put(); }

    // A bitwise copy for a by-value parameter; this object keeps ownership.
    VARIANT ByValue() const;

    // The array, or null when the VARIANT holds none (an answer of another type, or no answer).
    SAFEARRAY* Array() const;

    // Copies element index bit for bit into out. The copy owns nothing: a BSTR in it stays the array's.
    // Fails, raising _com_error, when there is no array, when its elements are no VARIANTs or it is not
    // one-dimensional, and when the index lies outside its bounds.
    void GetElement(LONG index, VARIANT& out) const;

    // A reply that holds no array cannot be read by index: raises _com_error(DISP_E_TYPEMISMATCH), so that
    // such an answer ends a command with a code of its own rather than as the lock's invalid argument,
    // which would read like a command-line error. One whose elements do not start at index 0 raises
    // _com_error(DISP_E_BADINDEX): no index would reach the element meant.
    void RequireArray() const;

    // Stores a copy of in at index; the caller still owns in.
    void PutElement(LONG index, const VARIANT& in);

    // Dimension count (0 without an array) and the bounds of a dimension, numbered from 1.
    UINT Dimensions() const;
    LONG LowerBound(UINT dimension) const;
    LONG UpperBound(UINT dimension) const;

    // Destroys the array (or clears another value) and leaves VT_EMPTY. Raises _com_error on failure;
    // the destructor does the same and swallows the failure.
    void Destroy();
};

} // namespace quillet
