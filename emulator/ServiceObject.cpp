#include "ServiceObject.h"

#include "win32/UniqueVariant.h"
#include "win32/Utf8.h"

namespace quillet::emulator {

using nlohmann::ordered_json;

namespace {

ordered_json ElementValue(const VARIANT& value) {
    switch (value.vt) {
    case VT_I1:
        return ordered_json(static_cast<int>(value.cVal));
    case VT_UI1:
        return ordered_json(static_cast<int>(value.bVal));
    case VT_I2:
        return ordered_json(static_cast<int>(value.iVal));
    case VT_UI2:
        return ordered_json(static_cast<int>(value.uiVal));
    case VT_I4:
    case VT_INT:
    case VT_ERROR:
        return ordered_json(static_cast<long long>(value.lVal));
    case VT_UI4:
    case VT_UINT:
        return ordered_json(static_cast<long long>(value.ulVal));
    case VT_I8:
        return ordered_json(static_cast<long long>(value.llVal));
    case VT_UI8:
        return ordered_json(static_cast<long long>(value.ullVal));
    case VT_BOOL:
        return ordered_json(static_cast<int>(value.boolVal));
    case VT_R4:
        return ordered_json(static_cast<double>(value.fltVal));
    case VT_R8:
        return ordered_json(value.dblVal);
    case VT_DATE:
        return ordered_json(value.date);
    case VT_BSTR:
        return BstrArgument(value.bstrVal);
    default:
        return ordered_json();
    }
}

ordered_json TypedValue(const VARIANT& value) {
    return {{"vt", static_cast<int>(value.vt)}, {"value", ElementValue(value)}};
}

} // namespace

std::wstring TextOf(BSTR value) {
    return value != nullptr ? std::wstring(value, SysStringLen(value)) : std::wstring();
}

ordered_json BstrArgument(BSTR value) {
    return value != nullptr ? ordered_json(ToUtf8(TextOf(value))) : ordered_json();
}

ordered_json VariantArgument(const VARIANT& value) {
    SAFEARRAY* array = value.vt == (VT_ARRAY | VT_VARIANT) ? value.parray : nullptr;
    LONG lower = 0;
    LONG upper = -1;
    if (array == nullptr || SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper))) {
        // Not an array of VARIANT: the VARIANT itself, as one typed value.
        return TypedValue(value);
    }
    ordered_json items = ordered_json::array();
    for (LONG index = lower; index <= upper; ++index) {
        UniqueVariant element;
        items.push_back(SUCCEEDED(SafeArrayGetElement(array, &index, &element)) ? TypedValue(element)
                                                                                : ordered_json());
    }
    return items;
}

} // namespace quillet::emulator
