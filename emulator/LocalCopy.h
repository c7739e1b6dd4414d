#pragma once

#include <windows.h>

#include <string>

namespace quillet::emulator {

// A multisource copy in two steps, so that a failure never costs the copy that is already there.
//
// CopyToTemporary copies source to a new file beside target, under a name that nobody else uses, and
// never over an existing file; it is slow and runs without the service's lock.
HRESULT CopyToTemporary(const std::wstring& source, const std::wstring& target, std::wstring& temporary);

// PlaceCopy renames that file to target: over the file at target when replace is set, and otherwise only
// where there is none, so that a file that appeared meanwhile is never replaced. On failure the temporary
// file is deleted and target is as it was.
HRESULT PlaceCopy(const std::wstring& temporary, const std::wstring& target, bool replace);

} // namespace quillet::emulator
