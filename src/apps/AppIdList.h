#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace quillet {

// Appends the ids of all the service's applications to ids, in the order of the service's reply.
// True only when the service listed at least one application and every id was appended. False both when
// it listed none and when a step failed; status (when given) tells them apart: S_OK for an empty list,
// otherwise the failing HRESULT (E_FAIL when the client cannot be started, DISP_E_TYPEMISMATCH when an
// element holds no id).
bool GetAppIdList(std::vector<std::wstring>& ids, HRESULT* status = nullptr);

// The getIdList command: prints the ids as a numbered list. S_OK when the list was printed or the service
// has no application (nothing is printed then); the failing HRESULT when the list could not be fetched.
HRESULT PrintAppIdList();

} // namespace quillet
