#pragma once

#include <windows.h>

namespace quillet::emulator {

enum class RegistrationScope { Machine, User };

// /RegServer: LocalServer32 of the three classes and the embedded type library, so that the interfaces
// marshal through the type-library marshaller. Machine-wide when the registry lets us, else for the
// current user (a program that is not elevated), which elevated programs never read.
HRESULT RegisterServer(RegistrationScope& scope);
// /UnregServer: removes all of it from both places.
void UnregisterServer();

} // namespace quillet::emulator
