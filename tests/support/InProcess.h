#pragma once

// The emulator's objects in the test's own process, for tests of the service's rules: opened as Quillet
// opens them, with their replies taken apart.

#include "service/ServiceObject.h"

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace quillet::testing {

// A service object of the resident emulator for a test's own calls, created and initialised as Quillet's
// operations do (Opened<ApplicationObject> app; app->LoadApplication(...)). Needs an apartment.
template <class Object> class Opened : public Object {
public:
    Opened() : Object(Closing::ReleaseOnly) {
        if (const HRESULT hr = this->Open(); FAILED(hr)) {
            throw std::runtime_error("cannot open a service object: HRESULT " + std::to_string(hr));
        }
    }
};

// One reply element as it arrived: a bitwise copy of the VARIANT for its type and numbers, and the text
// of a BSTR taken out of it (a copy through VariantCopy could turn a null BSTR into an empty one).
struct Element {
    VARIANT value = {}; // bstrVal is not kept: see nullString and text
    bool nullString = false;
    std::wstring text;
    std::wstring Text() const { return nullString ? L"(null)" : text; }
};

// A reply VARIANT taken apart: its type, and for an array of VARIANT its lower bound and elements.
struct ReplyView {
    VARTYPE vt = VT_EMPTY;
    bool hasArray = false;
    LONG lowerBound = 0;
    std::vector<Element> elements;
};
ReplyView ViewOf(const VARIANT& reply);

} // namespace quillet::testing
