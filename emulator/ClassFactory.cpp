#include "ClassFactory.h"

#include "ServerLifetime.h"
#include "Service.h"

namespace quillet::emulator {

ClassFactory::ClassFactory(const wchar_t* interfaceName, Creator creator)
    : m_interfaceName(interfaceName), m_creator(creator) {}

HRESULT ClassFactory::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    if (HRESULT hr = Service::Instance().CheckCreate(m_interfaceName); FAILED(hr)) {
        return hr;
    }
    IUnknown* created = m_creator();
    if (created == nullptr) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = created->QueryInterface(iid, object);
    created->Release(); // the creation reference; the caller keeps the one QueryInterface added
    return hr;
}

HRESULT ClassFactory::LockServer(BOOL lock) {
    lock ? ServerObjectCreated() : ServerObjectReleased();
    return S_OK;
}

} // namespace quillet::emulator
