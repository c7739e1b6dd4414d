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

} // namespace quillet::emulator
