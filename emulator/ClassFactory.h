#pragma once

#include <windows.h>
#include <unknwn.h>

#include <string>

namespace quillet::emulator {

// The class object of one CLSID. It lives as long as the server and is registered with COM; a
// CreateInstance fault in the state makes it refuse creation with the fault's HRESULT.
class ClassFactory final : public IClassFactory {
public:
    using Creator = IUnknown* (*)();
    ClassFactory(const wchar_t* interfaceName, Creator creator);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override;

private:
    std::wstring m_interfaceName;
    Creator m_creator;
};

} // namespace quillet::emulator
