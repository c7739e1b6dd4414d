#pragma once

#include <windows.h>

namespace quillet::emulator {

// How long the server lives, and how another process ends it. One instance per Wine session or Windows
// logon session holds a named mutex; /Stop signals a named event and waits for that mutex.
enum class ServeMode {
    Embedding, // started by COM: stays resident, exits after ten minutes without objects
    Foreground // /Serve: runs until /Stop
};

// Registers the class objects, serves until stopped or idle, revokes them. Returns the exit code.
int RunServer(ServeMode mode);

// /Start: starts a resident instance (as COM would, with -Embedding) unless one runs, and returns once it
// serves. S_FALSE when one was running already.
HRESULT StartResidentInstance(DWORD timeoutMs);

// /Stop: ends a running instance and waits until it has gone. S_FALSE when none was running.
HRESULT StopRunningInstance(DWORD timeoutMs);

// Takes the class objects back from COM before the process dies on purpose. Windows notices a dead
// server by itself; Wine's RPCSS would keep handing out the dead one's class objects, and every later
// activation would fail.
void RevokeClassObjects();

// Counted by every object and by IClassFactory::LockServer.
void ServerObjectCreated();
void ServerObjectReleased();

} // namespace quillet::emulator
