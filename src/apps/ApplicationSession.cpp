#include "ApplicationSession.h"

namespace quillet {

CApplicationSession::~CApplicationSession() {
    if (m_initialized) {
        // Nothing is left to do about a failed Uninitialize.
        static_cast<void>(m_application->Uninitialize());
    }
}

HRESULT CApplicationSession::Create() {
    return CreateLocalServerObject(CLSID_StreamingApplication, IID_IStreamingApplication, m_application);
}

HRESULT CApplicationSession::Initialize() {
    const HRESULT hr = m_application->Initialize(GetCurrentProcessId());
    if (FAILED(hr)) {
        m_application.reset();
        return hr;
    }
    m_initialized = true;
    return hr;
}

} // namespace quillet
