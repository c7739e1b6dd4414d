#pragma once

// Drives PlenumEmulator.exe from a test (emulator/README.md): keeps it registered and resident in the
// test's session, sets it back to its defaults, and writes and reads its state.json. Programs that use it are
// registered with quillet_add_test(... EMULATOR). Files that cannot be read or written throw
// std::runtime_error, which fails the test.

#include "Journal.h"
#include "Runner.h"

#include <windows.h>

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace quillet::testing {

namespace emulator {

// A single-threaded apartment for the scope, left again only when it was entered.
class Apartment {
public:
    Apartment();
    ~Apartment();
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    HRESULT Result() const { return m_hr; }

private:
    HRESULT m_hr;
};

// %ProgramData%\PlenumEmulator and the files in it; PlenumEmulator.exe beside the test program.
std::wstring DataDirectory();
std::wstring StatePath();
std::wstring JournalPath();
std::wstring CacheFolder();
std::wstring EmulatorPath();

// Whether an instance serves in this session (its Ready event is set).
bool Serves();

// Runs PlenumEmulator.exe with one verb (L"/Stop"), killed after 60 s: twice the longest /Start.
RunResult RunEmulator(const std::wstring& verb);

// Registers the emulator unless it is registered from here, and starts it with /Start unless it serves:
// a server that COM started on a test's behalf would belong to that test's session of Wine's desktop.
// S_OK or the failing HRESULT.
HRESULT EnsureResident();

// Resident, with the default state and an empty journal: where every emulator test starts.
void Reset();

// After a crash fault: starts the emulator again and activates until an instance answers (the first
// activation after a crash can fail with 0x800706BA). S_OK or the last failing HRESULT.
HRESULT RecoverAfterCrash();

// Ends the resident emulator cleanly and waits until it has gone.
void StopEmulator();

// Replaces state.json so that the emulator reloads it before its next call (Scenario writes through it).
void WriteScenario(std::string_view jsonText);
void ClearScenario();                               // the defaults from the next call on
nlohmann::ordered_json ReadState();                 // state.json now; an empty object when there is none
void ClearJournal();                                // lines and objects are numbered from 1 again
std::string ReadDataFile(const std::wstring& path); // empty when the file does not exist

} // namespace emulator

} // namespace quillet::testing
