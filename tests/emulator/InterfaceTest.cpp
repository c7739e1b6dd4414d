// The identifiers and the operation order of the three service interfaces are the contract with the real
// service. Quillet and the emulator compile from one IDL, so every other test would pass with a changed
// GUID or two swapped operations; only a check against the published values catches that.
#include "Emulator.h"
#include "service/Bstr.h"
#include "service/ComPtr.h"

#include <gtest/gtest.h>

#include <oleauto.h>

#include <string>
#include <vector>

namespace quillet::testing {
namespace {

struct Operation {
    const wchar_t* name;
    SHORT parameters;
};

struct ServiceClass {
    const wchar_t* clsid;
    const wchar_t* iid;
    std::vector<Operation> operations; // in vtable order, after IDispatch's
};

const ServiceClass kServiceClasses[] = {
    {L"{E545E4EF-0B72-467E-A024-02D9E16B004A}",
     L"{4F302B5E-4562-4792-8F6F-01842CC39122}",
     {{L"Initialize", 1},
      {L"Uninitialize", 0},
      {L"GetApplicationList", 3},
      {L"GetApplicationProperties", 3},
      {L"AddApplication", 4},
      {L"RemoveApplication", 1},
      {L"LoadApplication", 1},
      {L"UnloadApplication", 1},
      {L"MountApplication", 1},
      {L"UnmountApplication", 1},
      {L"StartApplication", 1},
      {L"StopApplication", 1},
      {L"StartApplicationInDesktop", 2},
      {L"StartApplicationWithParameters", 3},
      {L"RunApplicationCommand", 6}}},
    {L"{5D1949BF-E569-417F-8B20-C88415E94B56}",
     L"{A229B752-17EC-4704-9971-4B4021745A1C}",
     {{L"Initialize", 1},
      {L"Uninitialize", 0},
      {L"GetClientState", 1},
      {L"StartClient", 0},
      {L"StopClient", 0},
      {L"InitApplications", 0},
      {L"UninitApplications", 0},
      {L"IsUserAdministrator", 1}}},
    {L"{70E9F528-E871-4B4B-ACE3-F756894D8C64}",
     L"{2682B219-AE4B-40A2-BDB3-4903B0A1885B}",
     {{L"Initialize", 1},
      {L"Uninitialize", 0},
      {L"GetCacheLocation", 2},
      {L"SetCacheSettings", 1},
      {L"ClearCache", 0},
      {L"AddMultiSourceFile", 4},
      {L"DeleteMultiSourceFile", 1},
      {L"GetMultiSourceFileInfo", 2},
      {L"GetMultiSourceFileIdList", 3}}},
};

// IUnknown's three and IDispatch's four come first in every vtable.
constexpr size_t kInheritedSlots = 7;

GUID GuidOf(const wchar_t* text) {
    GUID guid = {};
    EXPECT_EQ(CLSIDFromString(text, &guid), S_OK) << "bad literal";
    return guid;
}

TEST(ServiceInterfaces, KeepTheirIdentifiersAndOperationOrder) {
    ComPtr<ITypeLib> library;
    ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(emulator::EmulatorPath().c_str(), REGKIND_NONE, library.put()));
    for (const ServiceClass& service : kServiceClasses) {
        SCOPED_TRACE(std::string(service.iid, service.iid + wcslen(service.iid)));
        ComPtr<ITypeInfo> coclass;
        ASSERT_HRESULT_SUCCEEDED(library->GetTypeInfoOfGuid(GuidOf(service.clsid), coclass.put()));
        HREFTYPE reference = 0;
        ASSERT_HRESULT_SUCCEEDED(coclass->GetRefTypeOfImplType(0, &reference));
        ComPtr<ITypeInfo> dispatch;
        ASSERT_HRESULT_SUCCEEDED(coclass->GetRefTypeInfo(reference, dispatch.put()));
        TYPEATTR* attributes = nullptr;
        ASSERT_HRESULT_SUCCEEDED(dispatch->GetTypeAttr(&attributes));
        EXPECT_TRUE(IsEqualGUID(attributes->guid, GuidOf(service.iid)));
        EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FDUAL);
        dispatch->ReleaseTypeAttr(attributes);

        // The vtable half of the dual interface lists its own operations only.
        ASSERT_HRESULT_SUCCEEDED(dispatch->GetRefTypeOfImplType(-1, &reference));
        ComPtr<ITypeInfo> vtable;
        ASSERT_HRESULT_SUCCEEDED(dispatch->GetRefTypeInfo(reference, vtable.put()));
        ASSERT_HRESULT_SUCCEEDED(vtable->GetTypeAttr(&attributes));
        const UINT functions = attributes->cFuncs;
        vtable->ReleaseTypeAttr(attributes);
        ASSERT_EQ(functions, service.operations.size());
        for (UINT index = 0; index < functions; ++index) {
            const Operation& expected = service.operations[index];
            FUNCDESC* function = nullptr;
            ASSERT_HRESULT_SUCCEEDED(vtable->GetFuncDesc(index, &function));
            UniqueBstr name;
            EXPECT_HRESULT_SUCCEEDED(
                vtable->GetDocumentation(function->memid, name.put(), nullptr, nullptr, nullptr));
            EXPECT_EQ(name.Text().value_or(L""), expected.name);
            EXPECT_EQ(static_cast<size_t>(function->oVft), (kInheritedSlots + index) * sizeof(void*))
                << index;
            EXPECT_EQ(function->cParams, expected.parameters) << index;
            vtable->ReleaseFuncDesc(function);
        }
    }
}

} // namespace
} // namespace quillet::testing
