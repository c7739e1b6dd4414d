#pragma once

#include <windows.h>
#include <objbase.h>

#include "win32/UniqueHandle.h"

namespace quillet {

template <class T> struct ComTraits {
    using pointer = T*;
    static pointer Invalid() noexcept { return nullptr; }
    static void Close(pointer object) noexcept { object->Release(); }
};

// Owns one reference to a COM interface and releases it on every path out of its scope.
template <class T> class ComPtr : public UniqueAny<ComTraits<T>> {
public:
    using UniqueAny<ComTraits<T>>::UniqueAny;

    T* operator->() const noexcept { return this->get(); }
    T& operator*() const noexcept { return *this->get(); }
};

// Creates a service object in the local server, the only way the program reaches the service.
template <class T> HRESULT CreateLocalServerObject(REFCLSID clsid, REFIID iid, ComPtr<T>& object) {
    return CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, iid, reinterpret_cast<void**>(object.put()));
}

} // namespace quillet
