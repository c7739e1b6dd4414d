#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quillet {

// Appends the ids of all the service's applications to ids (which the caller passes empty), in the order
// of the service's reply. True only when the service listed at least one application and every id was
// appended; false both when it listed none and when a step failed (the trace tells which).
bool GetAppIdList(std::vector<std::wstring>& ids);

// The getIdList command: prints the ids as a numbered list. S_OK when the list was printed or the service
// has no application (nothing is printed then); the failing HRESULT when the list could not be fetched.
HRESULT PrintAppIdList();

} // namespace quillet
