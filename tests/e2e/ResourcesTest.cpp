// What Quillet.exe carries besides its code, as a user and the system read it: the help text that -h
// prints, the type libraries, and the application manifests.
#include "Row.h"
#include "service/Bstr.h"
#include "service/ComPtr.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

#include <oleauto.h>

#include <algorithm>

namespace quillet::testing {
namespace {

// One resource of Quillet.exe, read without running it; empty when it is missing.
std::string Resource(const wchar_t* type, const wchar_t* name) {
    const HMODULE module =
        LoadLibraryExW((BinDirectory() + L"\\Quillet.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    // In English (United States), as the resource script declares it.
    const HRSRC found = module ? FindResourceExW(module, type, name, 1033) : nullptr;
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    std::string bytes = data ? std::string(data, SizeofResource(module, found)) : std::string();
    if (module) {
        FreeLibrary(module);
    }
    return bytes;
}

// -h prints the help as it stands, its CR LF lines as CR CR LF, as a text-mode print of them does. The
// text is printable ASCII: it is read in the ANSI code page, whichever that is.
TEST(Help, IsPrintedAsItStands) {
    const std::string help = Resource(L"TEXT", MAKEINTRESOURCEW(102));
    ASSERT_TRUE(help.ends_with("\r\n"));
    EXPECT_TRUE(
        std::ranges::all_of(help, [](char c) { return (c >= ' ' && c <= '~') || c == '\r' || c == '\n'; }));
    EXPECT_ROWS((std::vector<Row>{
        {.name = "no arguments", .output = help},
        {.name = "-H with further words", .args = {L"-H", L"further", L"words"}, .output = help},
    }));
}

// Quillet.exe carries the notification interface's type library, for those who implement the interface.
TEST(TypeLibrary, CarriesTheNotificationInterface) {
    ComPtr<ITypeLib> library;
    ComPtr<ITypeInfo> notification;
    ASSERT_HRESULT_SUCCEEDED(
        LoadTypeLibEx((BinDirectory() + L"\\Quillet.exe").c_str(), REGKIND_NONE, library.put()));
    EXPECT_HRESULT_SUCCEEDED(library->GetTypeInfoOfGuid(
        {0x2CC790DB, 0x4E9A, 0x4344, {0xAC, 0x49, 0x5E, 0x59, 0xBF, 0xF8, 0xAB, 0x80}}, notification.put()));
}

// The service's objects as the real service has them: their ids and their methods in vtable order. Quillet
// and the emulator are built from one IDL, so no run against the emulator would notice a wrong id or a moved
// method.
TEST(TypeLibrary, DescribesTheServiceObjectsAsTheServiceHasThem) {
    ComPtr<ITypeLib> library;
    ASSERT_HRESULT_SUCCEEDED(
        LoadTypeLibEx((BinDirectory() + L"\\PlenumEmulator.exe").c_str(), REGKIND_NONE, library.put()));
    std::string described;
    for (const wchar_t* clsid :
         {L"{E545E4EF-0B72-467E-A024-02D9E16B004A}", L"{5D1949BF-E569-417F-8B20-C88415E94B56}",
          L"{70E9F528-E871-4B4B-ACE3-F756894D8C64}"}) {
        GUID guid = {};
        ComPtr<ITypeInfo> object, dispatch, methods;
        HREFTYPE type = 0;
        TYPEATTR* attributes = nullptr;
        ASSERT_HRESULT_SUCCEEDED(CLSIDFromString(clsid, &guid));
        ASSERT_HRESULT_SUCCEEDED(library->GetTypeInfoOfGuid(guid, object.put())) << ToUtf8(clsid);
        ASSERT_HRESULT_SUCCEEDED(object->GetRefTypeOfImplType(0, &type));
        ASSERT_HRESULT_SUCCEEDED(object->GetRefTypeInfo(type, dispatch.put()));
        ASSERT_HRESULT_SUCCEEDED(dispatch->GetRefTypeOfImplType(-1, &type));
        ASSERT_HRESULT_SUCCEEDED(dispatch->GetRefTypeInfo(type, methods.put()));
        ASSERT_HRESULT_SUCCEEDED(methods->GetTypeAttr(&attributes));
        wchar_t iid[40] = {};
        StringFromGUID2(attributes->guid, iid, 40);
        described += ToUtf8(iid);
        for (UINT index = 0; index < attributes->cFuncs; ++index) {
            FUNCDESC* function = nullptr;
            UniqueBstr name;
            ASSERT_HRESULT_SUCCEEDED(methods->GetFuncDesc(index, &function));
            methods->GetDocumentation(function->memid, name.put(), nullptr, nullptr, nullptr);
            described += " " + ToUtf8(name.Text().value_or(L""));
            methods->ReleaseFuncDesc(function);
        }
        methods->ReleaseTypeAttr(attributes);
        described += "\n";
    }
    EXPECT_EQ(
        described,
        "{4F302B5E-4562-4792-8F6F-01842CC39122} Initialize Uninitialize GetApplicationList "
        "GetApplicationProperties AddApplication RemoveApplication LoadApplication UnloadApplication "
        "MountApplication UnmountApplication StartApplication StopApplication StartApplicationInDesktop "
        "StartApplicationWithParameters RunApplicationCommand\n"
        "{A229B752-17EC-4704-9971-4B4021745A1C} Initialize Uninitialize GetClientState StartClient "
        "StopClient InitApplications UninitApplications IsUserAdministrator\n"
        "{2682B219-AE4B-40A2-BDB3-4903B0A1885B} Initialize Uninitialize GetCacheLocation SetCacheSettings "
        "ClearCache AddMultiSourceFile DeleteMultiSourceFile GetMultiSourceFileInfo "
        "GetMultiSourceFileIdList\n");
}

// The loader builds an activation context from each program's manifest (a manifest it refuses stops the
// program from starting): no elevation, and paths longer than MAX_PATH (Quillet checks a token's path and
// the emulator reads it).
TEST(Manifest, BuildsAnActivationContextThatRunsAsInvokerAndTakesLongPaths) {
    for (const std::wstring name : {L"Quillet", L"PlenumEmulator"}) {
        const std::wstring path = BinDirectory() + L"\\" + name + L".exe";
        ACTCTXW context = {};
        context.cbSize = sizeof(context);
        context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
        context.lpSource = path.c_str();
        context.lpResourceName = MAKEINTRESOURCEW(1);
        const HANDLE activation = CreateActCtxW(&context);
        ASSERT_NE(activation, INVALID_HANDLE_VALUE) << ToUtf8(name) << ": error " << GetLastError();
        ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level = {};
        EXPECT_TRUE(QueryActCtxW(0, activation, nullptr, RunlevelInformationInActivationContext, &level,
                                 sizeof level, nullptr));
        EXPECT_EQ(level.RunLevel, ACTCTX_RUN_LEVEL_AS_INVOKER);
        EXPECT_EQ(level.UiAccess, 0u);
        wchar_t longPaths[8] = {};
        EXPECT_TRUE(QueryActCtxSettingsW(0, activation,
                                         L"http://schemas.microsoft.com/SMI/2016/WindowsSettings",
                                         L"longPathAware", longPaths, std::size(longPaths), nullptr));
        EXPECT_STREQ(longPaths, L"true") << ToUtf8(name);
        ReleaseActCtx(activation);
    }
}

} // namespace
} // namespace quillet::testing
