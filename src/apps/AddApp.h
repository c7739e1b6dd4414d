#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>

namespace quillet {

// The add command: hands a token file path (isUrl VARIANT_FALSE) or a token request URL (VARIANT_TRUE)
// to the service and prints the new application's name and guid, and whether it needs a reboot. Returns
// the HRESULT of the reboot query once the add succeeded, so a failed query fails the command although
// the application was added; otherwise the failure of the add or of its set-up.
HRESULT AddApp(const std::wstring& tokenSource, VARIANT_BOOL isUrl);

} // namespace quillet
