#include "Reply.h"

namespace quillet::emulator {

namespace {

// The element value that "wrongTypes" puts everywhere and "scalar" answers with.
constexpr LONG kWrongValue = 7;

HRESULT FillElement(VARIANT& target, const ReplyElement& element, bool nullStrings) {
    VariantInit(&target);
    target.vt = element.vt;
    switch (element.vt) {
    case VT_I1:
        target.cVal = static_cast<CHAR>(element.integer);
        break;
    case VT_I4:
        target.lVal = static_cast<LONG>(element.integer);
        break;
    case VT_I8:
        target.llVal = element.integer;
        break;
    case VT_BOOL:
        target.boolVal = static_cast<VARIANT_BOOL>(element.integer);
        break;
    case VT_DATE:
        target.date = element.real;
        break;
    case VT_BSTR:
        if (!nullStrings) {
            target.bstrVal = SysAllocStringLen(element.text.data(), static_cast<UINT>(element.text.size()));
            if (target.bstrVal == nullptr) {
                target.vt = VT_EMPTY;
                return E_OUTOFMEMORY;
            }
        }
        break;
    default:
        target.vt = VT_EMPTY;
        break;
    }
    return S_OK;
}

} // namespace

HRESULT WriteReply(const Reply& reply, std::optional<ReplyShape> shape, VARIANT* out, LONG* count) {
    VariantInit(out);
    size_t length = reply.elements.size();
    if (count != nullptr) {
        *count = static_cast<LONG>(length);
        if (shape == ReplyShape::CountTooLarge) {
            *count += 1;
        }
    }
    if (shape == ReplyShape::Empty) {
        return S_OK;
    }
    if (shape == ReplyShape::Scalar) {
        out->vt = VT_I4;
        out->lVal = kWrongValue;
        return S_OK;
    }
    if (shape == ReplyShape::NoArray) {
        out->vt = VT_ARRAY | VT_VARIANT;
        out->parray = nullptr;
        return S_OK;
    }
    if (shape == ReplyShape::Short && length > reply.shortLength) {
        length = reply.shortLength;
    }
    LONG lowerBound = shape == ReplyShape::LowerBound1 ? 1 : 0;
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, lowerBound, static_cast<ULONG>(length));
    if (array == nullptr) {
        return E_OUTOFMEMORY;
    }
    VARIANT* data = nullptr;
    HRESULT hr = SafeArrayAccessData(array, reinterpret_cast<void**>(&data));
    for (size_t i = 0; SUCCEEDED(hr) && i < length; ++i) {
        if (shape == ReplyShape::WrongTypes) {
            data[i].vt = VT_I4;
            data[i].lVal = kWrongValue;
        } else {
            hr = FillElement(data[i], reply.elements[i], shape == ReplyShape::NullStrings);
        }
    }
    if (data != nullptr) {
        SafeArrayUnaccessData(array);
    }
    if (FAILED(hr)) {
        SafeArrayDestroy(array);
        return hr;
    }
    out->vt = VT_ARRAY | VT_VARIANT;
    out->parray = array;
    return S_OK;
}

} // namespace quillet::emulator
