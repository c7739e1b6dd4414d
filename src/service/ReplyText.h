#pragma once

#include "service/VariantSafeArray.h"

#include <string>

namespace quillet {

// Reads the text elements of one service reply for printing, as ServiceText shows them. An element that holds
// no text (not a BSTR, or a null one) prints as empty, so that the rest of the answer still shows, but it is
// remembered: a script must not take an answer that could not be read for a good one.
class CReplyText {
public:
    explicit CReplyText(const CVariantSafeArray& reply) : m_reply(reply) {}
    CReplyText(const CReplyText&) = delete;
    CReplyText& operator=(const CReplyText&) = delete;

    // The text of element index, or empty text. A missing element raises _com_error as GetElement does.
    std::wstring At(LONG index);

    // Raises _com_error(DISP_E_TYPEMISMATCH) when an element read so far held no text.
    void RequireAllRead() const;

private:
    const CVariantSafeArray& m_reply;
    bool m_missing = false;
};

} // namespace quillet
