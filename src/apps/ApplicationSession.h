#pragma once

#include "StreamingService.h"
#include "service/ComPtr.h"

namespace quillet {

// One IStreamingApplication object for the length of one operation. Once Initialize has succeeded,
// Uninitialize runs before the object is released, on every path out of the operation; an object whose
// Initialize failed is released without it.
class CApplicationSession {
public:
    CApplicationSession() = default;
    CApplicationSession(const CApplicationSession&) = delete;
    CApplicationSession& operator=(const CApplicationSession&) = delete;
    ~CApplicationSession();

    // Creates the object in the service's local server.
    HRESULT Create();
    // Initialises the created object with this process's id; on failure the object is released.
    HRESULT Initialize();

    IStreamingApplication* operator->() const { return m_application.get(); }

private:
    ComPtr<IStreamingApplication> m_application;
    bool m_initialized = false;
};

} // namespace quillet
