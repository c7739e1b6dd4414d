#pragma once

#include "StreamingService.h"
#include "output/Trace.h"
#include "service/ComPtr.h"

namespace quillet {

// Whether an operation calls Uninitialize before it releases its object: the application object, the
// client start and stop and the multisource requests do; the administrator query, the cache settings and
// cache clear only release it.
enum class Closing { Uninitialize, ReleaseOnly };

// ConsolePrint, TracePrint, or null for an operation that reports nothing.
using FailurePrinter = void (*)(const wchar_t* format, ...);

// One service object for the length of one operation: created in the service's local server, initialised
// with this process's id, and closed on every path out of the operation once Initialize has succeeded.
template <class Interface, class Class> class ServiceObject {
public:
    explicit ServiceObject(Closing closing) : m_closing(closing) {}
    ServiceObject(const ServiceObject&) = delete;
    ServiceObject& operator=(const ServiceObject&) = delete;
    ~ServiceObject() {
        if (m_object && m_closing == Closing::Uninitialize) {
            // Nothing is left to do about a failed Uninitialize.
            static_cast<void>(m_object->Uninitialize());
        }
    }

    // Creates and initialises the object. A failure is reported through print with the text for the step
    // that failed (null: none) and TraceCode(hr) as its argument; the object is released without
    // Uninitialize and the failing HRESULT returned.
    HRESULT Open(FailurePrinter print = nullptr, const wchar_t* createFailed = nullptr,
                 const wchar_t* initializeFailed = nullptr) {
        HRESULT hr = CreateLocalServerObject(__uuidof(Class), __uuidof(Interface), m_object);
        const wchar_t* failed = createFailed;
        if (SUCCEEDED(hr)) {
            hr = m_object->Initialize(GetCurrentProcessId());
            failed = initializeFailed;
        }
        if (FAILED(hr)) {
            m_object.reset();
            if (print != nullptr && failed != nullptr) {
                print(failed, TraceCode(hr));
            }
        }
        return hr;
    }

    Interface* operator->() const { return m_object.get(); }

private:
    ComPtr<Interface> m_object;
    Closing m_closing;
};

using ApplicationObject = ServiceObject<IStreamingApplication, StreamingApplication>;
using ClientObject = ServiceObject<IStreamingClient, StreamingClient>;
using CacheObject = ServiceObject<IStreamingCache, StreamingCache>;

} // namespace quillet
