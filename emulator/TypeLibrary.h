#pragma once

#include <windows.h>
#include <oaidl.h>

namespace quillet::emulator {

// The service's type library, embedded in this executable as TYPELIB 1. IDispatch of every object reads
// it; registration registers it.
HRESULT LoadServiceTypeLibrary(ITypeLib** library);
// The type information of one interface, loaded once and kept until ReleaseServiceTypeInfo.
ITypeInfo* ServiceTypeInfo(REFIID iid);
void ReleaseServiceTypeInfo();

} // namespace quillet::emulator
