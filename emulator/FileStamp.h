#pragma once

#include <windows.h>

#include <string>

namespace quillet::emulator {

// What the emulator remembers of a file to notice cheaply that someone else changed it: one attribute
// query, no read.
struct FileStamp {
    bool exists = false;
    ULONGLONG size = 0;
    ULONGLONG lastWrite = 0;

    static FileStamp Of(const std::wstring& path);
    bool operator==(const FileStamp& other) const = default;
};

// Whole-file helpers. WriteFileAtomically writes a temporary file beside the target and then replaces the
// target with it, so a reader sees either the old or the new content, never a part.
bool ReadWholeFile(const std::wstring& path, std::string& content, DWORD& error);
bool WriteFileAtomically(const std::wstring& path, const std::string& content, DWORD& error);

} // namespace quillet::emulator
