#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillet {

// Reads a whole file. Only a regular disk file is read: a pipe, a console or a device is refused with
// HRESULT_FROM_WIN32(ERROR_BAD_FILE_TYPE) before anything is read, so a peer that never writes cannot
// block the reader; a file larger than maxBytes is refused with HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE)
// by its size, before it is read, and the read stops there should it grow meanwhile.
HRESULT ReadWholeFile(const std::wstring& path, std::string& content, size_t maxBytes = SIZE_MAX);

// Writes all of content to an open file, pipe or device; the HRESULT of the first write that fails.
HRESULT WriteAllBytes(HANDLE file, std::string_view content);

// Creates or truncates path and writes content.
HRESULT WriteWholeFile(const std::wstring& path, std::string_view content);

// Writes content to path + ".tmp", flushes it to the disk and renames it over path: a reader sees the old
// content or the new, never a part, and S_OK means the new content is on the disk. On failure path keeps
// its old content and the temporary file is gone.
HRESULT ReplaceWholeFile(const std::wstring& path, std::string_view content);

} // namespace quillet
