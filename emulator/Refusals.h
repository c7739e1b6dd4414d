#pragma once

#include <windows.h>

namespace quillet::emulator {

// The HRESULTs with which the emulated service refuses a call, beyond the client codes of
// service/ServiceContract.h. README.md lists when each is given.
inline constexpr HRESULT kObjectNotInitialized = E_UNEXPECTED;                   // 0x8000FFFF
inline constexpr HRESULT kClientNotReady = static_cast<HRESULT>(0x80070015);     // ERROR_NOT_READY
inline constexpr HRESULT kUnknownApplication = static_cast<HRESULT>(0x80070490); // ERROR_NOT_FOUND
inline constexpr HRESULT kInvalidState = static_cast<HRESULT>(0x8007139F);       // ERROR_INVALID_STATE
inline constexpr HRESULT kAlreadyExists = static_cast<HRESULT>(0x800700B7);      // ERROR_ALREADY_EXISTS
inline constexpr HRESULT kInvalidToken = static_cast<HRESULT>(0x8007000D);       // ERROR_INVALID_DATA
inline constexpr HRESULT kApplicationRunning = static_cast<HRESULT>(0x800700AA); // ERROR_BUSY
inline constexpr HRESULT kOffline = static_cast<HRESULT>(0x800708CA);            // ERROR_NOT_CONNECTED
inline constexpr HRESULT kCacheTooSmall = static_cast<HRESULT>(0x80070070);      // ERROR_DISK_FULL
inline constexpr HRESULT kNetworkPath = static_cast<HRESULT>(0x80070035);        // ERROR_BAD_NETPATH
inline constexpr HRESULT kRelativePath = static_cast<HRESULT>(0x800700A1);       // ERROR_BAD_PATHNAME
inline constexpr HRESULT kNotAFolder = static_cast<HRESULT>(0x8007010B);         // ERROR_DIRECTORY
inline constexpr HRESULT kLocalPathTaken = static_cast<HRESULT>(0x80070050);     // ERROR_FILE_EXISTS
inline constexpr HRESULT kSourceIsFolder = static_cast<HRESULT>(0x80070150);  // ERROR_DIRECTORY_NOT_SUPPORTED
inline constexpr HRESULT kStateUnreadable = static_cast<HRESULT>(0x80070570); // ERROR_FILE_CORRUPT
inline constexpr HRESULT kHttpStatusBase = static_cast<HRESULT>(0x80190000);  // | HTTP status
// A call cut short, or refused, because the emulator stops (/Stop, /Reset).
inline constexpr HRESULT kServerStopping = CO_E_SERVER_STOPPING; // 0x80080008
// A name that leads to another file, or a folder of the emulator's that is a link: never used.
inline constexpr HRESULT kNotTheFileItself =
    static_cast<HRESULT>(0x8007112B); // ERROR_REPARSE_POINT_ENCOUNTERED
// A folder of the emulator's that another user owns, who could change its access list at any time.
inline constexpr HRESULT kForeignOwner = static_cast<HRESULT>(0x8007051B); // ERROR_INVALID_OWNER
// A file of the emulator's that has another name as well, which its writes would reach.
inline constexpr HRESULT kMoreThanOneName = static_cast<HRESULT>(0x80070476); // ERROR_TOO_MANY_LINKS

} // namespace quillet::emulator
