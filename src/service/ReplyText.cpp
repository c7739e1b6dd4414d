#include "ReplyText.h"

#include "output/ServiceText.h"
#include "service/Bstr.h"
#include "service/ComError.h"

namespace quillet {

std::wstring CReplyText::At(LONG index) {
    VARIANT element;
    m_reply.GetElement(index, element);
    auto text = StringOf(element);
    if (!text) {
        m_missing = true;
        return std::wstring();
    }
    return ServiceText(*text);
}

void CReplyText::RequireAllRead() const {
    if (m_missing) {
        ThrowComError(DISP_E_TYPEMISMATCH);
    }
}

} // namespace quillet
