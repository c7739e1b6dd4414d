#pragma once

#include <windows.h>

#include <string>

namespace quillet {

// The single-application commands. Each makes sure that the client runs and the application exists,
// prints what it does with the application's name (its guid when the service gives no name), drives the
// application's state and prints the outcome. Returns the HRESULT of the state change, or E_FAIL when
// the client cannot be started or the application does not exist.
HRESULT RemoveApp(const std::wstring& appGuid);
HRESULT StartApp(const std::wstring& appGuid, const std::wstring& launchParameters);
HRESULT StopApp(const std::wstring& appGuid);

// run-cmd: runs executablePath inside the application, loading and mounting it as needed.
HRESULT RunAppCommand(const std::wstring& appGuid, const std::wstring& executablePath,
                      const std::wstring& workingDirectory, const std::wstring& commandParameters);

} // namespace quillet
