#include "InProcess.h"

#include <cstring>

namespace quillet::testing {

ReplyView ViewOf(const VARIANT& reply) {
    ReplyView view;
    view.vt = reply.vt;
    if (reply.vt != (VT_ARRAY | VT_VARIANT) || reply.parray == nullptr) {
        return view;
    }
    view.hasArray = true;
    LONG upper = -1;
    SafeArrayGetLBound(reply.parray, 1, &view.lowerBound);
    SafeArrayGetUBound(reply.parray, 1, &upper);
    if (FAILED(SafeArrayLock(reply.parray))) {
        return view;
    }
    for (LONG index = view.lowerBound; index <= upper; ++index) {
        void* address = nullptr;
        if (FAILED(SafeArrayPtrOfIndex(reply.parray, &index, &address))) {
            break;
        }
        Element element;
        std::memcpy(&element.value, address, sizeof(VARIANT));
        if (element.value.vt == VT_BSTR) {
            element.nullString = element.value.bstrVal == nullptr;
            if (!element.nullString) {
                element.text.assign(element.value.bstrVal, SysStringLen(element.value.bstrVal));
            }
            element.value.bstrVal = nullptr;
        }
        view.elements.push_back(element);
    }
    SafeArrayUnlock(reply.parray);
    return view;
}

} // namespace quillet::testing
