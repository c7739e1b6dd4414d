#include "VariantSafeArray.h"

#include "ComError.h"

#include <cstring>

namespace quillet {

CVariantSafeArray::~CVariantSafeArray() {
    try {
        Destroy();
    } catch (const _com_error&) {
        // Nothing can be reported from a destructor; the array stays as the platform left it.
    }
}

VARIANT CVariantSafeArray::ByValue() const {
    VARIANT copy;
    std::memcpy(&copy, static_cast<const VARIANT*>(this), sizeof(VARIANT));
    return copy;
}

SAFEARRAY* CVariantSafeArray::Array() const {
    return (vt & VT_ARRAY) != 0 ? parray : nullptr;
}

void CVariantSafeArray::GetElement(LONG index, VARIANT& out) const {
    SAFEARRAY* array = Array();
    CheckCom(SafeArrayLock(array));
    void* element = nullptr;
    HRESULT hr = S_OK;
    if (array->cbElements != sizeof(VARIANT)) {
        // Copying a VARIANT out of smaller elements would read past the element.
        hr = DISP_E_TYPEMISMATCH;
    } else if (array->cDims != 1) {
        // One index addresses only a one-dimensional array.
        hr = DISP_E_BADINDEX;
    } else {
        hr = SafeArrayPtrOfIndex(array, &index, &element);
    }
    CheckCom(SafeArrayUnlock(array));
    CheckCom(hr);
    std::memcpy(&out, element, sizeof(VARIANT));
}

void CVariantSafeArray::RequireArray() const {
    if (Array() == nullptr) {
        ThrowComError(DISP_E_TYPEMISMATCH);
    }
    // Elements are addressed from 0: read by index, an array that starts elsewhere would yield one element
    // in place of another.
    if (Dimensions() >= 1 && LowerBound(1) != 0) {
        ThrowComError(DISP_E_BADINDEX);
    }
}

void CVariantSafeArray::PutElement(LONG index, const VARIANT& in) {
    CheckCom(SafeArrayPutElement(Array(), &index, const_cast<VARIANT*>(&in)));
}

UINT CVariantSafeArray::Dimensions() const {
    return SafeArrayGetDim(Array());
}

LONG CVariantSafeArray::LowerBound(UINT dimension) const {
    LONG bound = 0;
    CheckCom(SafeArrayGetLBound(Array(), dimension, &bound));
    return bound;
}

LONG CVariantSafeArray::UpperBound(UINT dimension) const {
    LONG bound = 0;
    CheckCom(SafeArrayGetUBound(Array(), dimension, &bound));
    return bound;
}

void CVariantSafeArray::Destroy() {
    if ((vt & VT_ARRAY) != 0) {
        if (parray != nullptr) {
            CheckCom(SafeArrayDestroy(parray));
        }
        VariantInit(this);
        return;
    }
    CheckCom(VariantClear(this));
}

} // namespace quillet
