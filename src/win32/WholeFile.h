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

// A name beside path that nobody uses: path + "." + a new guid + ".tmp". Created with CREATE_NEW, which
// fails on any existing name, a link's included, so that no file planted there is ever written.
HRESULT UniqueNameBeside(const std::wstring& path, std::wstring& name);
// Whether name has the form that UniqueNameBeside gives: nothing else is ever taken for such a file.
bool IsUniqueNameBeside(std::wstring_view name);

// Renames the open file (opened with DELETE access) to target, through its handle: the file renamed is
// the one this handle wrote, whatever its name has come to lead to. Over an existing target only when
// replace is set (ERROR_ALREADY_EXISTS otherwise).
HRESULT RenameOpenFile(HANDLE file, const std::wstring& target, bool replace);

// Writes content to a new file under a unique name beside path, flushes it to the disk and renames it over
// path: a reader sees the old content or the new, never a part, and S_OK means the new content is on the
// disk. A rename that a scanner or an indexer holds up for a moment (a sharing or access violation) is
// tried again briefly. On failure path keeps its old content and the temporary file is gone.
HRESULT ReplaceWholeFile(const std::wstring& path, std::string_view content);

} // namespace quillet
