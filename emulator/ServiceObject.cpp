#include "ServiceObject.h"

namespace quillet::emulator {

namespace {

json::Value ElementValue(const VARIANT& value) {
    switch (value.vt) {
    case VT_I1:
        return json::Value(static_cast<int>(value.cVal));
    case VT_UI1:
        return json::Value(static_cast<int>(value.bVal));
    case VT_I2:
        return json::Value(static_cast<int>(value.iVal));
    case VT_UI2:
        return json::Value(static_cast<int>(value.uiVal));
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
        return json::Value(static_cast<long long>(value.lVal));
    case VT_UI4:
    case VT_UINT:
        return json::Value(static_cast<long long>(value.ulVal));
    case VT_I8:
        return json::Value(static_cast<long long>(value.llVal));
    case VT_UI8:
        return json::Value(static_cast<long long>(value.ullVal));
    case VT_BOOL:
        return json::Value(static_cast<int>(value.boolVal));
    case VT_R4:
        return json::Value(static_cast<double>(value.fltVal));
    case VT_R8:
        return json::Value(value.dblVal);
    case VT_DATE:
        return json::Value(value.date);
    case VT_BSTR:
        return BstrArgument(value.bstrVal);
    default:
        return json::Value();
    }
}

json::Value TypedValue(const VARIANT& value) {
    json::Value item = json::Value::MakeObject();
    item.Set("vt", static_cast<int>(value.vt));
    item.Set("value", ElementValue(value));
    return item;
}

} // namespace

std::wstring TextOf(BSTR value) {
    return value != nullptr ? std::wstring(value, SysStringLen(value)) : std::wstring();
}

json::Value BstrArgument(BSTR value) {
    if (value == nullptr) {
        return json::Value();
    }
    return json::Value(json::ToUtf8(TextOf(value)));
}

json::Value VariantArgument(const VARIANT& value) {
    SAFEARRAY* array = value.vt == (VT_ARRAY | VT_VARIANT) ? value.parray : nullptr;
    LONG lower = 0;
    LONG upper = -1;
    if (array == nullptr || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper))) {
        // Not an array of VARIANT: the VARIANT itself, as one typed value.
        return TypedValue(value);
    }
    json::Value items = json::Value::MakeArray();
    for (LONG index = lower; index <= upper; ++index) {
        VARIANT element;
        VariantInit(&element);
        if (SUCCEEDED(SafeArrayGetElement(array, &index, &element))) {
            items.Append(TypedValue(element));
            VariantClear(&element);
        } else {
            items.Append(json::Value());
        }
    }
    return items;
}

} // namespace quillet::emulator
