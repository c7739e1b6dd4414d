#pragma once

#include "Refusals.h"
#include "ServerLifetime.h"
#include "Service.h"
#include "TypeLibrary.h"

#include <windows.h>
#include <oaidl.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace quillet::emulator {

// Journal forms of the arguments: a BSTR as a string (null as null), numbers and VARIANT_BOOLs as numbers.
nlohmann::ordered_json BstrArgument(BSTR value);
nlohmann::ordered_json VariantArgument(const VARIANT& value);
std::wstring TextOf(BSTR value);

// IUnknown and IDispatch (through the type library) for one service object, and the call pipeline that
// every operation of it goes through. Initialize and Uninitialize are the same on all three interfaces.
template <class Interface> class ServiceObject : public Interface {
public:
    ServiceObject(const ServiceObject&) = delete;
    ServiceObject& operator=(const ServiceObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, m_iid)) {
            *object = static_cast<Interface*>(this);
            this->AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --m_references;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (info == nullptr) {
            return E_POINTER;
        }
        *info = nullptr;
        if (index != 0) {
            return DISP_E_BADINDEX;
        }
        ITypeInfo* typeInfo = ServiceTypeInfo(m_iid);
        if (typeInfo == nullptr) {
            return TYPE_E_CANTLOADLIBRARY;
        }
        typeInfo->AddRef();
        *info = typeInfo;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        ITypeInfo* typeInfo = ServiceTypeInfo(m_iid);
        return typeInfo != nullptr ? DispGetIDsOfNames(typeInfo, names, count, ids) : TYPE_E_CANTLOADLIBRARY;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argumentError) override {
        ITypeInfo* typeInfo = ServiceTypeInfo(m_iid);
        return typeInfo != nullptr ? DispInvoke(static_cast<Interface*>(this), typeInfo, id, flags,
                                                parameters, result, exception, argumentError)
                                   : TYPE_E_CANTLOADLIBRARY;
    }

    HRESULT STDMETHODCALLTYPE Initialize(DWORD processId) override {
        return Service::Instance().Run(Call(L"Initialize", {processId}), [this](ServiceModel&) {
            m_initialized = true;
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE Uninitialize() override {
        return Run(L"Uninitialize", {}, [this](ServiceModel&) {
            m_initialized = false;
            return S_OK;
        });
    }

protected:
    using Arguments = std::vector<nlohmann::ordered_json>;
    using ReplyBody = std::function<HRESULT(ServiceModel&, Reply&)>;

    ServiceObject(const IID& iid, const wchar_t* interfaceName) : m_iid(iid), m_interfaceName(interfaceName) {
        ServerObjectCreated();
        m_number = Service::Instance().ObjectCreated(m_interfaceName);
    }
    virtual ~ServiceObject() {
        Service::Instance().ObjectReleased(m_number);
        ServerObjectReleased();
    }

    // The journal's form of string arguments.
    static Arguments Strings(std::initializer_list<BSTR> values) {
        Arguments args;
        for (BSTR value : values) {
            args.push_back(BstrArgument(value));
        }
        return args;
    }

    // Runs an operation that needs an initialised object; args are the journal's, in call order.
    HRESULT Run(const wchar_t* method, Arguments args, const Service::Body& body,
                ReplyTarget* reply = nullptr) {
        return Service::Instance().Run(
            Call(method, std::move(args)),
            [this, &body](ServiceModel& model) {
                return m_initialized ? body(model) : kObjectNotInitialized;
            },
            reply);
    }

    // A query: body fills the reply, which goes to out.
    HRESULT Query(const wchar_t* method, Arguments args, VARIANT* out, const ReplyBody& body,
                  LONG* count = nullptr) {
        if (out == nullptr) {
            return E_POINTER;
        }
        VariantInit(out);
        ReplyTarget target{out, count, {}};
        return Run(
            method, std::move(args), [&](ServiceModel& model) { return body(model, target.reply); }, &target);
    }

    // A list query: the same, with the number of elements in count as well.
    HRESULT List(const wchar_t* method, Arguments args, LONG* count, VARIANT* out, const ReplyBody& body) {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        return Query(method, std::move(args), out, body, count);
    }

private:
    CallInfo Call(const wchar_t* method, Arguments args) const {
        return {m_number, m_interfaceName, method, nlohmann::ordered_json(std::move(args))};
    }

    std::atomic<ULONG> m_references{1};
    const IID& m_iid;
    const wchar_t* m_interfaceName;
    int m_number = 0;
    bool m_initialized = false;
};

} // namespace quillet::emulator
