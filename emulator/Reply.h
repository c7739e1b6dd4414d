#pragma once

#include "ServiceState.h"

#include <windows.h>
#include <oleauto.h>

#include <optional>
#include <string>
#include <vector>

namespace quillet::emulator {

// One element of a reply array, kept as plain data until the reply is turned into a VARIANT.
struct ReplyElement {
    VARTYPE vt = VT_EMPTY;
    LONGLONG integer = 0; // VT_I1, VT_I4, VT_I8, VT_BOOL
    double real = 0;      // VT_DATE
    std::wstring text;    // VT_BSTR

    static ReplyElement I1(char value) { return {VT_I1, value, 0, {}}; }
    static ReplyElement I4(LONG value) { return {VT_I4, value, 0, {}}; }
    static ReplyElement I8(LONGLONG value) { return {VT_I8, value, 0, {}}; }
    static ReplyElement Bool(bool value) { return {VT_BOOL, value ? VARIANT_TRUE : VARIANT_FALSE, 0, {}}; }
    static ReplyElement Date(double value) { return {VT_DATE, 0, value, {}}; }
    static ReplyElement Bstr(std::wstring value) { return {VT_BSTR, 0, 0, std::move(value)}; }
};

// What a query answers: the elements of a one-dimensional SAFEARRAY of VARIANT, the separate count of the
// list queries, and how many elements a "short" reply keeps (too few for what a client reads).
struct Reply {
    std::vector<ReplyElement> elements;
    bool hasCount = false;
    size_t shortLength = 0;
};

// Fills out (and count, for the list queries) from reply, malformed as shape says when one is given.
// Returns E_OUTOFMEMORY when the array cannot be built.
HRESULT WriteReply(const Reply& reply, std::optional<ReplyShape> shape, VARIANT* out, LONG* count);

} // namespace quillet::emulator
