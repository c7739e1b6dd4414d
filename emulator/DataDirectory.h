#pragma once

#include <string>

namespace quillet::emulator {

// %ProgramData%\PlenumEmulator: state.json, journal.jsonl and the default cache folder Cache.
struct DataDirectory {
    std::wstring root;
    std::wstring statePath;
    std::wstring journalPath;
    std::wstring cacheFolder;

    static DataDirectory Locate();
    // Creates the directory and its Cache folder when missing. A failure shows in the use of the files.
    void Create() const;
};

} // namespace quillet::emulator
