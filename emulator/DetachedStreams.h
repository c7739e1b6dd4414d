#pragma once

namespace quillet::emulator {

// Under Wine a process inherits the Unix standard error of whoever started it, even when it is started
// detached, and keeps the standard handles of its creator. A resident server started by COM from a
// client would then hold the client's caller's pipes open for its whole life, and a script or test
// runner that reads them would wait ten minutes. This points all three at the null device. On Windows
// it does nothing.
void DetachFromCallerStreams();

} // namespace quillet::emulator
