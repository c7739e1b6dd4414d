#pragma once

// The emulator's journal (emulator/README.md) and its one text form, a line of text per journal line:
//   +IStreamingClient                          an object created
//   -IStreamingClient                          an object released
//   !IStreamingCache 0x80070005                a creation refused
//   disown C:\to\payload.bin                    a file the emulator left (also "leftover")
//   IStreamingClient.StartClient 0xA0044011    a call, with its HRESULT when it failed
// with " hang" or " crash" after a fault that acted so and " reply=<shape>" after a malformed reply. With
// arguments a call reads IStreamingApplication.StartApplicationWithParameters("{A1...}","\"x\""), and
// the caller's process id shows as pid.

#include <windows.h>

#include <nlohmann/json.hpp>

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <string>
#include <vector>

namespace quillet::testing {

// Which lines a row states: those of the named interfaces or methods ("IStreamingCache", "StartClient",
// "IStreamingClient.StopClient"); empty: every line.
struct CallFilter {
    std::vector<std::string> names;
    bool arguments = false; // calls with their arguments as compact JSON
};

std::vector<std::string> CallView(const std::vector<nlohmann::ordered_json>& journal, DWORD processId,
                                  const CallFilter& filter = {});

// The one way to write the calls that a row expects: the text form above, an object's life at a time.
// Life("IStreamingCache", {"GetCacheLocation(0)"}, {.arguments = true}) is the object made, initialised
// with the caller's process id, its calls (given without the interface's name), uninitialised unless
// told otherwise, and released.
struct LifeOptions {
    bool arguments = false;   // the calls are written with their arguments, as CallFilter.arguments shows
    bool uninitialize = true; // false: released without Uninitialize
};
std::vector<std::string> Life(std::string_view face, const std::vector<std::string>& calls,
                              LifeOptions options = {});
// Lives one after another.
std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts);

namespace emulator {

// The journal's length in bytes now; its complete lines from a length on (all of them from 0), as written
// and parsed.
uint64_t JournalLength();
std::vector<std::string> ReadJournalLines(uint64_t from = 0);
std::vector<nlohmann::ordered_json> ReadJournal(uint64_t from = 0);

} // namespace emulator
} // namespace quillet::testing
