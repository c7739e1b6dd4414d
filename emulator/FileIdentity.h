#pragma once

#include "win32/UniqueHandle.h"

#include <windows.h>

#include <string>

namespace quillet::emulator {

// What tells one file from every other: the volume and the file's number on it, and its size and last
// write time, so that a file changed by someone else no longer counts as the one the service wrote.
struct FileIdentity {
    DWORD volume = 0;
    ULONGLONG file = 0;
    ULONGLONG size = 0;
    ULONGLONG lastWrite = 0;

    bool operator==(const FileIdentity& other) const = default;
};

HRESULT IdentityOf(HANDLE file, FileIdentity& identity, DWORD* links = nullptr);

// Opens the file that path names itself, never one that a link there leads to: a reparse point (a symbolic
// link or a junction as Windows shows them) is refused, and so is a handle whose final path is not path
// (a Unix symbolic link, which Wine shows as the file it leads to, with that file's number). A folder is
// refused too. kNotTheFileItself, or the open's error.
HRESULT OpenItself(const std::wstring& path, DWORD access, DWORD creation, UniqueFile& file);

enum class Deletion { Deleted, Missing, NotOurs };

// What must match: the file alone (a copy still growing), or its size and write time as well.
enum class Compare { File, FileAndContent };

// Deletes the file at path only when it is still the one recorded as identity, through the handle that was
// compared; another file, a changed one, or a link is left where it is.
Deletion DeleteOwned(const std::wstring& path, const FileIdentity& identity,
                     Compare compare = Compare::FileAndContent);

// Deletes the file that path names itself, never through a link; for the emulator's own state and journal,
// whose identity is not recorded. S_OK also when there is none; kNotTheFileItself for a link.
HRESULT DeleteItself(const std::wstring& path);

} // namespace quillet::emulator
