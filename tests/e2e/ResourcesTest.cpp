// What Quillet.exe carries besides its code, as a user and the system read it: the help text that -h
// prints, the notification interface's type library, and the application manifest.
#include "Row.h"
#include "service/Bstr.h"
#include "service/ComPtr.h"
#include "win32/Utf8.h"

#include <gtest/gtest.h>

#include <oleauto.h>

namespace quillet::testing {
namespace {

constexpr WORD kEnglishUnitedStates = 1033;

// One resource of Quillet.exe, read without running it; empty when it is missing.
std::string Resource(const wchar_t* type, const wchar_t* name) {
    const HMODULE module =
        LoadLibraryExW((BinDirectory() + L"\\Quillet.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    const HRSRC found = module ? FindResourceExW(module, type, name, kEnglishUnitedStates) : nullptr;
    const HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const char* data = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    std::string bytes = data ? std::string(data, SizeofResource(module, found)) : std::string();
    if (module) {
        FreeLibrary(module);
    }
    return bytes;
}

// The help's blocks (its lines between empty lines) in order; the description under each synopsis,
// indented by two blanks, shows as "  ...".
const char* const kHelpBlocks[] = {
    ("NAME:\nQuillet - Vireon command-line interface. Returns 0 on success; otherwise\n"
     "          returns a nonzero error code."),
    "SYNTAX:\nQuillet [application | cache] <command> <params>",
    "DESCRIPTION:\napplication <command>:",
    "> add <local_tok_path> | \"<server_url>\"\n  ...",
    "> remove <app_guid> | all\n  ...",
    "> start <app_guid> <optional-launch-parameters>\n  ...",
    "> run-cmd <app_guid> <executable_path> <optional-working-directory> <optional-cmd-parameters>\n  ...",
    "> stop <app_guid> | all\n  ...",
    "> getIdList\n  ...",
    "cache <command>:",
    "> size <size_in_MB>\n  ...",
    "> location <folder_path>\n  ...",
    "> clear\n  ...",
    "> multisource [add | delete | getInfo | getIdList]\n  ...",
    "> multisource add \"<appGuid>|<sourcePath>|<destinationPath>|<overwriteExisting>\"\n  ...",
    "> multisource delete \"<appGuid>\"\n  ...",
    "> multisource getInfo \"<appGuid>\"\n  ...",
    "> multisource getIdList \"<finishedOnly>\"\n  ...",
};

// -h prints the help as it stands, its CR LF lines as CR CR LF, as a text-mode print of them does.
TEST(Help, IsPrintableAsciiInCrLfLinesShowsEveryCommandButClientAndIsPrintedAsItStands) {
    const std::string help = Resource(L"TEXT", MAKEINTRESOURCEW(102));
    ASSERT_TRUE(help.ends_with("\r\n"));
    const std::vector<Row> rows = {
        {"no arguments", {}, {}, help},
        {"-H with further words", {}, {L"-H", L"further", L"words"}, help},
        {"-h before a command", {}, {L"-h", L"application", L"add"}, help},
        {"-h before a wrong word", {}, {L"-h", L"--help"}, help},
    };
    for (const Row& row : rows) {
        EXPECT_ROW(row);
    }
    std::string expected = "\n";
    for (const char* block : kHelpBlocks) {
        expected += std::string(block) + (block == std::end(kHelpBlocks)[-1] ? "\n" : "\n\n");
    }
    std::string shape;
    bool described = false;
    for (size_t at = 0, end = 0; (end = help.find("\r\n", at)) != std::string::npos; at = end + 2) {
        const std::string line = help.substr(at, end - at);
        const bool description = line.starts_with("  ") && !line.starts_with("   ");
        if (!description || !described) {
            shape += (description ? "  ..." : line) + "\n";
        }
        described = description;
        for (const char character : line) {
            // No percent sign: the text is printed as a format.
            EXPECT_TRUE(character >= ' ' && character <= '~' && character != '%') << line;
        }
    }
    EXPECT_EQ(shape, expected);
}

constexpr GUID kNotificationIid = {
    0x2CC790DB, 0x4E9A, 0x4344, {0xAC, 0x49, 0x5E, 0x59, 0xBF, 0xF8, 0xAB, 0x80}};

std::string Text(const UniqueBstr& text) {
    return ToUtf8(text.Text().value_or(L"<null>"));
}

std::string TypeName(const TYPEDESC& type) {
    const VARTYPE vt = type.vt == VT_PTR ? type.lptdesc->vt : type.vt;
    const std::string name = vt == VT_BSTR      ? "BSTR"
                             : vt == VT_I4      ? "LONG"
                             : vt == VT_BOOL    ? "VARIANT_BOOL"
                             : vt == VT_VARIANT ? "VARIANT"
                                                : "vt " + std::to_string(vt);
    return name + (type.vt == VT_PTR ? "*" : "");
}

// A method as a line: its dispatch id, name and parameters, and whatever else about it is wrong.
std::string Describe(ITypeInfo* methods, ITypeInfo* dispatch, const FUNCDESC& function) {
    BSTR names[16] = {};
    UINT count = 0;
    methods->GetNames(function.memid, names, 16, &count);
    const std::vector<UniqueBstr> owned(names, names + count);
    std::string line = std::to_string(function.memid) + " ";
    if (count == 0) {
        return line + "without names\n";
    }
    line += Text(owned[0]) + "(";
    for (SHORT p = 0; p < function.cParams; ++p) {
        line += (p ? ", " : "") + TypeName(function.lprgelemdescParam[p].tdesc) + " " +
                (p + 1u < count ? Text(owned[p + 1]) : "?");
    }
    line += ")";
    UniqueBstr help;
    methods->GetDocumentation(function.memid, nullptr, help.put(), nullptr, nullptr);
    // Late binding finds the method by its name.
    MEMBERID found = MEMBERID_NIL;
    dispatch->GetIDsOfNames(names, 1, &found);
    if (function.elemdescFunc.tdesc.vt != VT_HRESULT || Text(help) != "method " + Text(owned[0]) ||
        found != function.memid) {
        line += " returns vt " + std::to_string(function.elemdescFunc.tdesc.vt) + ", help \"" + Text(help) +
                "\", found as " + std::to_string(found);
    }
    return line + "\n";
}

TEST(TypeLibrary, DescribesTheNotificationInterface) {
    ASSERT_FALSE(Resource(L"TYPELIB", MAKEINTRESOURCEW(1)).empty());
    ComPtr<ITypeLib> library;
    ComPtr<ITypeInfo> dispatch;
    ComPtr<ITypeInfo> methods;
    ASSERT_HRESULT_SUCCEEDED(
        LoadTypeLibEx((BinDirectory() + L"\\Quillet.exe").c_str(), REGKIND_NONE, library.put()));
    ASSERT_HRESULT_SUCCEEDED(library->GetTypeInfoOfGuid(kNotificationIid, dispatch.put()));
    // The dual interface's vtable half lists only its own methods, in interface order.
    HREFTYPE vtable = 0;
    ASSERT_HRESULT_SUCCEEDED(dispatch->GetRefTypeOfImplType(-1, &vtable));
    ASSERT_HRESULT_SUCCEEDED(dispatch->GetRefTypeInfo(vtable, methods.put()));
    UniqueBstr name;
    UniqueBstr help;
    dispatch->GetDocumentation(MEMBERID_NIL, name.put(), help.put(), nullptr, nullptr);
    std::string described = Text(name) + ": " + Text(help) + "\n";
    TYPEATTR* attributes = nullptr;
    ASSERT_HRESULT_SUCCEEDED(methods->GetTypeAttr(&attributes));
    for (UINT index = 0; index < attributes->cFuncs; ++index) {
        FUNCDESC* function = nullptr;
        ASSERT_HRESULT_SUCCEEDED(methods->GetFuncDesc(index, &function));
        described += Describe(methods.get(), dispatch.get(), *function);
        methods->ReleaseFuncDesc(function);
    }
    methods->ReleaseTypeAttr(attributes);
    EXPECT_EQ(described, R"(IStreamingNotificationEvents: IStreamingNotificationEvents Interface
1 OnRequestDisplayMessage(BSTR applicationId, LONG messageType, BSTR messageText, LONG options, LONG errorCode, BSTR helpURL, VARIANT* pResult)
2 OnRequestAuthentication(BSTR url, BSTR realm, VARIANT_BOOL isProxy, VARIANT* pUsername, VARIANT* pPassword, VARIANT_BOOL bAllowSave, VARIANT_BOOL* pfSave, VARIANT* pResult)
3 OnRequestEula(BSTR eulaPath, VARIANT* pResult)
4 OnRequestProductInformation(LONG informationType, VARIANT* pInformationText, VARIANT* pResult)
51 OnNotifyMessage(BSTR applicationId, LONG messageType, BSTR messageText, LONG options, LONG messageCode, BSTR helpURL)
52 OnNotifyApplicationProgress(BSTR applicationId, LONG progressType, LONG percentage, LONG throughput, LONG numericParam, BSTR stringParam)
53 OnNotifyPrefetchProgress(BSTR applicationId, LONG progressType, LONG percentage, LONG throughput, LONG numericParam, BSTR stringParam)
54 OnNotifyStreamingProgress(BSTR applicationId, LONG progressType, LONG percentage, LONG throughput, LONG numericParam, BSTR stringParam)
55 OnNotifyApplicationStateChange(BSTR applicationId, LONG newState)
56 OnNotifyApplicationOutage(BSTR applicationId, VARIANT_BOOL isOutage)
57 OnNotifyClientStateChange(LONG newState)
58 OnNotifyClientOfflineChange(VARIANT_BOOL isOffline)
59 OnNotifyConfigChange(LONG config)
60 OnRequestSetForegroundWindowForProcess(LONG processId, VARIANT_BOOL isCreate, VARIANT* pResult)
)");
    ASSERT_HRESULT_SUCCEEDED(dispatch->GetTypeAttr(&attributes));
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FDUAL);
    dispatch->ReleaseTypeAttr(attributes);
}

// The service's objects as the real service has them: their ids and their methods in vtable order. Quillet
// and the emulator are built from one IDL, so no run against the emulator would notice a wrong id or a
// moved method.
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
            described += " " + std::to_string(function->oVft / sizeof(void*)) + ":" + Text(name);
            methods->ReleaseFuncDesc(function);
        }
        methods->ReleaseTypeAttr(attributes);
        described += "\n";
    }
    EXPECT_EQ(
        described,
        "{4F302B5E-4562-4792-8F6F-01842CC39122} 7:Initialize 8:Uninitialize 9:GetApplicationList "
        "10:GetApplicationProperties 11:AddApplication 12:RemoveApplication 13:LoadApplication "
        "14:UnloadApplication 15:MountApplication 16:UnmountApplication 17:StartApplication "
        "18:StopApplication 19:StartApplicationInDesktop 20:StartApplicationWithParameters "
        "21:RunApplicationCommand\n"
        "{A229B752-17EC-4704-9971-4B4021745A1C} 7:Initialize 8:Uninitialize 9:GetClientState "
        "10:StartClient 11:StopClient 12:InitApplications 13:UninitApplications 14:IsUserAdministrator\n"
        "{2682B219-AE4B-40A2-BDB3-4903B0A1885B} 7:Initialize 8:Uninitialize 9:GetCacheLocation "
        "10:SetCacheSettings 11:ClearCache 12:AddMultiSourceFile 13:DeleteMultiSourceFile "
        "14:GetMultiSourceFileInfo 15:GetMultiSourceFileIdList\n");
}

// The loader builds an activation context from each program's manifest: its own identity, no elevation,
// and paths longer than MAX_PATH (Quillet checks a token's path and the emulator reads it); Quillet's
// also binds Common-Controls 6 as the system does.
TEST(Manifest, BuildsAnActivationContextThatRunsAsInvokerAndTakesLongPaths) {
    EXPECT_NE(Resource(RT_MANIFEST, MAKEINTRESOURCEW(1)).find("<description>Plenum CLI Module</description>"),
              std::string::npos);
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
        std::wstring identities;
        for (DWORD index = 1; index <= 2; ++index) {
            alignas(ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION) char buffer[4096] = {};
            const auto* assembly =
                reinterpret_cast<ACTIVATION_CONTEXT_ASSEMBLY_DETAILED_INFORMATION*>(buffer);
            if (QueryActCtxW(0, activation, &index, AssemblyDetailedInformationInActivationContext, buffer,
                             sizeof buffer, nullptr)) {
                identities += std::wstring(assembly->lpAssemblyEncodedAssemblyIdentity) + L"\n";
            }
        }
        ReleaseActCtx(activation);
        EXPECT_TRUE(identities.starts_with(
            name + L",processorArchitecture=\"amd64\",type=\"win32\",version=\"1.0.0.1\"\n" +
            (name == L"Quillet" ? L"Microsoft.Windows.Common-Controls," : L"")))
            << ToUtf8(identities);
        EXPECT_TRUE(name != L"Quillet" ||
                    identities.find(L"publicKeyToken=\"6595b64144ccf1df\",type=\"win32\",version=\"6.0.") !=
                        std::wstring::npos);
    }
}

} // namespace
} // namespace quillet::testing
