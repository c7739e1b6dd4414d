#pragma once

#include <windows.h>

#include <string>

namespace quillet::emulator {

// %ProgramData%\PlenumEmulator: state.json, journal.jsonl and the default cache folder Cache.
struct DataDirectory {
    std::wstring root;
    std::wstring statePath;
    std::wstring journalPath;
    std::wstring cacheFolder;

    static DataDirectory Locate();

    // Makes the directory and its Cache folder when missing, each with the emulator's own access list: full
    // control for SYSTEM, Administrators and the user who runs the emulator, and nothing inherited, since
    // %ProgramData% lets every user create files in a folder. A folder that exists gets the same list. A
    // folder that is a link (a reparse point) is refused with kNotTheFileItself, one that another user owns
    // (made before the emulator's first start, to plant a state) with kForeignOwner, a file in its place
    // with ERROR_DIRECTORY; problem then says which and why, for a person.
    HRESULT Prepare(std::wstring* problem = nullptr) const;
};

// The access list that Prepare gives the folders, as SDDL, with the current user's SID.
HRESULT EmulatorFolderSddl(std::wstring& sddl);

} // namespace quillet::emulator
