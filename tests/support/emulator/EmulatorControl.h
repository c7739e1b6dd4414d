#pragma once

// Drives PlenumEmulator.exe from a test: makes sure it is registered and resident in the test's Wine
// prefix (or on the Windows machine), sets up a scenario by writing its state.json, reads its journal
// and state back, and brings it back after a "crash" fault. Tests that use it run SERIAL (the emulator
// is one per session); register them with quillet_add_test(... EMULATOR).
//
// File formats (state.json schema, journal lines, faults, reply shapes) are described in
// emulator/README.md. Failures to read or write the emulator's files throw std::runtime_error.

#include <windows.h>

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <vector>

namespace quillet::testing::emulator {

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

// %ProgramData%\PlenumEmulator and the files in it.
std::wstring DataDirectory();
std::wstring StatePath();
std::wstring JournalPath();
std::wstring CacheFolder();

// PlenumEmulator.exe in the directory of the running test program (build/bin).
std::wstring EmulatorPath();

// Runs PlenumEmulator.exe with the given arguments (for example L"/Stop"), waits, and returns its exit
// code. Its console output is discarded.
DWORD RunEmulator(const std::wstring& arguments);

// Registers the emulator when its registration is missing or names another executable, starts it with
// its /Start unless it serves already, then activates one object and releases it, so that the next
// activation is quick. Call it before a test lets anything (Quillet included) activate the emulator:
// a server that COM starts on a test's behalf under Wine can tie the test's output pipe to the
// resident emulator, and ctest would then wait for the emulator to exit.
// Returns S_OK or the failing HRESULT. Enters and leaves a COM apartment of its own when the calling
// thread has none.
HRESULT EnsureResident();

// Replaces state.json atomically. The resident emulator reloads it before its next call, also when
// the old file had the same size and time stamp. jsonText is UTF-8 JSON (the dump of a built value
// will do); fields left out take their defaults.
void WriteScenario(std::string_view jsonText);

// Deletes state.json: the emulator starts its next call from the defaults (no applications, client
// stopped, empty journal unaffected).
void ClearScenario();

// state.json as it is now on disk (the emulator rewrites it after every change); an empty object when
// it does not exist.
nlohmann::ordered_json ReadState();

// Deletes journal.jsonl; the emulator starts seq and object numbers again at 1 with its next line.
void ClearJournal();

// The journal's lines, raw and parsed; empty when there is no journal.
std::vector<std::string> ReadJournalLines();
std::vector<nlohmann::ordered_json> ReadJournal();

// After a "crash" fault ended the emulator inside a call: activates until an instance answers again
// (the first activation after a crash can fail with 0x800706BA). S_OK or the last failing HRESULT.
HRESULT RecoverAfterCrash();

// Ends the resident emulator cleanly (/Stop) and waits until it has gone.
void StopEmulator();

} // namespace quillet::testing::emulator
