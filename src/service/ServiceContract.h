#pragma once

#include <windows.h>

// What the service and its clients agree on beyond the interfaces in StreamingService.idl: the codes by
// which the client reports that it already is in the wanted state, the states, the property masks and
// the positions of the values in the arrays that the service hands out. Quillet and the emulator both
// build on this one header.
namespace quillet {

// Client codes that mean "already so"; a caller counts them as success.
inline constexpr HRESULT kClientAlreadyStopped = static_cast<HRESULT>(0xA0044010);
inline constexpr HRESULT kClientAlreadyStarted = static_cast<HRESULT>(0xA0044011);
inline constexpr HRESULT kApplicationsAlreadyUninitialized = static_cast<HRESULT>(0xA0044020);
inline constexpr HRESULT kApplicationsAlreadyInitialized = static_cast<HRESULT>(0xA0044021);

// Client states that GetClientState reports.
inline constexpr LONG kClientStopped = 0;
inline constexpr LONG kClientStarted = 2;
inline constexpr LONG kClientApplicationsInitialized = 4;
inline constexpr LONG kClientOffline = 5;

// Application states that the ladder uses as thresholds; the service may report any other value.
inline constexpr LONG APP_STATE_NONE = 0;
inline constexpr LONG APP_STATE_ADDED = 1;
inline constexpr LONG APP_STATE_LOADED = 4;
inline constexpr LONG APP_STATE_MOUNTED = 16;
inline constexpr LONG APP_STATE_RUNNING = 64;

// GetApplicationList's filter for every application, whatever its state.
inline constexpr LONG kAllApplications = -1;

// Property masks of GetApplicationProperties, and the reply element that each one fills.
inline constexpr LONG APP_PROPERTY_STATE = 0x1;
inline constexpr LONG APP_PROPERTY_NAME = 0x2;
inline constexpr LONG APP_PROPERTY_REQUIRES_REBOOT = 0x20000000;
inline constexpr LONG kStateElement = 0;
inline constexpr LONG kNameElement = 1;
inline constexpr LONG kRequiresRebootElement = 39;

// The cache settings array of GetCacheLocation and SetCacheSettings.
inline constexpr LONG kCacheLocationInitialElement = 2; // VT_I1: low byte of the location's first character
inline constexpr LONG kCacheLocationElement = 3;        // VT_BSTR
inline constexpr LONG kCacheSizeElement = 4;            // VT_I4, MB

// The record of GetMultiSourceFileInfo.
enum MultisourceInfoElement : LONG {
    kInfoApplicationGuid = 0, // VT_BSTR
    kInfoSourcePath = 1,      // VT_BSTR
    kInfoLocalPath = 2,       // VT_BSTR
    kInfoSize = 3,            // VT_I8
    kInfoMaxSize = 4,         // VT_I8
    kInfoStartTime = 5,       // VT_DATE
    kInfoFinishTime = 6,      // VT_DATE
};

} // namespace quillet
