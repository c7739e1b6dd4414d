#pragma once

#include <string>

namespace quillet::emulator {

// The named objects of the running instance: its mutex, the event that /Stop sets and the event that is
// set while it serves. One instance runs per logon session, since COM starts a server of its own for each
// (an elevated client's token has a logon session of its own), while the Local\ namespace is shared by the
// whole Windows session: "Local\PlenumEmulator.<what>.<logon session>".
inline constexpr wchar_t kInstanceMutex[] = L"Instance";
inline constexpr wchar_t kStopEvent[] = L"Stop";
inline constexpr wchar_t kReadyEvent[] = L"Ready";

std::wstring InstanceObjectName(const wchar_t* what);

} // namespace quillet::emulator
