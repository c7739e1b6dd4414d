#include "ExeResources.h"
#include "service/Bstr.h"
#include "service/ComPtr.h"

#include <gtest/gtest.h>

#include <oleauto.h>

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace quillet::testing {
namespace {

constexpr WORD kEnglishUnitedStates = 1033;

TEST(QuilletResources, CarryTheHelpTextAndTheTypeLibraryInEnglish) {
    const auto help = LoadResourceBytes(QuilletPath(), L"TEXT", MAKEINTRESOURCEW(102), kEnglishUnitedStates);
    ASSERT_TRUE(help.has_value());
    EXPECT_FALSE(help->empty());
    const auto typeLibrary =
        LoadResourceBytes(QuilletPath(), L"TYPELIB", MAKEINTRESOURCEW(1), kEnglishUnitedStates);
    ASSERT_TRUE(typeLibrary.has_value());
    // A compiled type library starts with the signature "MSFT".
    EXPECT_EQ(typeLibrary->substr(0, 4), "MSFT");
}

// ---- The notification interface, as the embedded type library describes it.

constexpr GUID kNotificationIid = {
    0x2CC790DB, 0x4E9A, 0x4344, {0xAC, 0x49, 0x5E, 0x59, 0xBF, 0xF8, 0xAB, 0x80}};

enum class Type { Bstr, Long, Bool, VariantPointer, BoolPointer };

struct Parameter {
    const wchar_t* name;
    Type type;
};

struct Method {
    const wchar_t* name;
    MEMBERID dispatchId;
    std::vector<Parameter> parameters;
};

const std::vector<Parameter> kProgressParameters = {
    {L"applicationId", Type::Bstr}, {L"progressType", Type::Long}, {L"percentage", Type::Long},
    {L"throughput", Type::Long},    {L"numericParam", Type::Long}, {L"stringParam", Type::Bstr},
};

const std::vector<Method> kMethods = {
    {L"OnRequestDisplayMessage",
     1,
     {{L"applicationId", Type::Bstr},
      {L"messageType", Type::Long},
      {L"messageText", Type::Bstr},
      {L"options", Type::Long},
      {L"errorCode", Type::Long},
      {L"helpURL", Type::Bstr},
      {L"pResult", Type::VariantPointer}}},
    {L"OnRequestAuthentication",
     2,
     {{L"url", Type::Bstr},
      {L"realm", Type::Bstr},
      {L"isProxy", Type::Bool},
      {L"pUsername", Type::VariantPointer},
      {L"pPassword", Type::VariantPointer},
      {L"bAllowSave", Type::Bool},
      {L"pfSave", Type::BoolPointer},
      {L"pResult", Type::VariantPointer}}},
    {L"OnRequestEula", 3, {{L"eulaPath", Type::Bstr}, {L"pResult", Type::VariantPointer}}},
    {L"OnRequestProductInformation",
     4,
     {{L"informationType", Type::Long},
      {L"pInformationText", Type::VariantPointer},
      {L"pResult", Type::VariantPointer}}},
    {L"OnNotifyMessage",
     51,
     {{L"applicationId", Type::Bstr},
      {L"messageType", Type::Long},
      {L"messageText", Type::Bstr},
      {L"options", Type::Long},
      {L"messageCode", Type::Long},
      {L"helpURL", Type::Bstr}}},
    {L"OnNotifyApplicationProgress", 52, kProgressParameters},
    {L"OnNotifyPrefetchProgress", 53, kProgressParameters},
    {L"OnNotifyStreamingProgress", 54, kProgressParameters},
    {L"OnNotifyApplicationStateChange", 55, {{L"applicationId", Type::Bstr}, {L"newState", Type::Long}}},
    {L"OnNotifyApplicationOutage", 56, {{L"applicationId", Type::Bstr}, {L"isOutage", Type::Bool}}},
    {L"OnNotifyClientStateChange", 57, {{L"newState", Type::Long}}},
    {L"OnNotifyClientOfflineChange", 58, {{L"isOffline", Type::Bool}}},
    {L"OnNotifyConfigChange", 59, {{L"config", Type::Long}}},
    {L"OnRequestSetForegroundWindowForProcess",
     60,
     {{L"processId", Type::Long}, {L"isCreate", Type::Bool}, {L"pResult", Type::VariantPointer}}},
};

bool HasType(const TYPEDESC& described, Type expected) {
    switch (expected) {
    case Type::Bstr:
        return described.vt == VT_BSTR;
    case Type::Long:
        return described.vt == VT_I4;
    case Type::Bool:
        return described.vt == VT_BOOL;
    case Type::VariantPointer:
        return described.vt == VT_PTR && described.lptdesc->vt == VT_VARIANT;
    case Type::BoolPointer:
        return described.vt == VT_PTR && described.lptdesc->vt == VT_BOOL;
    }
    return false;
}

std::wstring TextOf(const UniqueBstr& text) {
    return text.Text().value_or(L"<null>");
}

std::string Narrow(std::wstring_view text) {
    return std::string(text.begin(), text.end());
}

class NotificationTypeLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        const std::wstring path = QuilletPath();
        ASSERT_HRESULT_SUCCEEDED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, m_library.put()));
        ASSERT_HRESULT_SUCCEEDED(m_library->GetTypeInfoOfGuid(kNotificationIid, m_dispatch.put()));
        // The dual interface's vtable half lists only its own methods, in interface order.
        HREFTYPE vtable = 0;
        ASSERT_HRESULT_SUCCEEDED(m_dispatch->GetRefTypeOfImplType(-1, &vtable));
        ASSERT_HRESULT_SUCCEEDED(m_dispatch->GetRefTypeInfo(vtable, m_interface.put()));
    }

    ComPtr<ITypeLib> m_library;
    ComPtr<ITypeInfo> m_dispatch;
    ComPtr<ITypeInfo> m_interface;
};

TEST_F(NotificationTypeLibrary, DescribesADualInterfaceWithItsNameAndHelpString) {
    TYPEATTR* attributes = nullptr;
    ASSERT_HRESULT_SUCCEEDED(m_dispatch->GetTypeAttr(&attributes));
    EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FDUAL);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, kNotificationIid));
    m_dispatch->ReleaseTypeAttr(attributes);

    UniqueBstr name;
    UniqueBstr help;
    ASSERT_HRESULT_SUCCEEDED(
        m_dispatch->GetDocumentation(MEMBERID_NIL, name.put(), help.put(), nullptr, nullptr));
    EXPECT_EQ(TextOf(name), L"IStreamingNotificationEvents");
    EXPECT_EQ(TextOf(help), L"IStreamingNotificationEvents Interface");

    ASSERT_HRESULT_SUCCEEDED(m_interface->GetTypeAttr(&attributes));
    EXPECT_EQ(attributes->typekind, TKIND_INTERFACE);
    EXPECT_EQ(attributes->cFuncs, kMethods.size());
    m_interface->ReleaseTypeAttr(attributes);
}

TEST_F(NotificationTypeLibrary, DescribesEveryMethodInOrder) {
    for (size_t index = 0; index < kMethods.size(); ++index) {
        const Method& method = kMethods[index];
        SCOPED_TRACE(Narrow(method.name));
        FUNCDESC* function = nullptr;
        ASSERT_HRESULT_SUCCEEDED(m_interface->GetFuncDesc(static_cast<UINT>(index), &function));
        EXPECT_EQ(function->memid, method.dispatchId);
        EXPECT_EQ(function->elemdescFunc.tdesc.vt, VT_HRESULT);
        ASSERT_EQ(static_cast<size_t>(function->cParams), method.parameters.size());
        for (size_t p = 0; p < method.parameters.size(); ++p) {
            EXPECT_TRUE(HasType(function->lprgelemdescParam[p].tdesc, method.parameters[p].type))
                << Narrow(method.parameters[p].name);
        }

        std::vector<BSTR> names(method.parameters.size() + 1, nullptr);
        UINT count = 0;
        ASSERT_HRESULT_SUCCEEDED(
            m_interface->GetNames(function->memid, names.data(), static_cast<UINT>(names.size()), &count));
        std::vector<UniqueBstr> owned;
        for (UINT n = 0; n < count; ++n) {
            owned.emplace_back(names[n]);
        }
        ASSERT_EQ(count, names.size());
        EXPECT_EQ(TextOf(owned[0]), method.name);
        for (size_t p = 0; p < method.parameters.size(); ++p) {
            EXPECT_EQ(TextOf(owned[p + 1]), method.parameters[p].name);
        }

        UniqueBstr help;
        EXPECT_HRESULT_SUCCEEDED(
            m_interface->GetDocumentation(function->memid, nullptr, help.put(), nullptr, nullptr));
        EXPECT_EQ(TextOf(help), std::wstring(L"method ") + method.name);
        m_interface->ReleaseFuncDesc(function);

        // Late binding finds the same dispatch id by name.
        LPOLESTR name = const_cast<LPOLESTR>(method.name);
        MEMBERID found = MEMBERID_NIL;
        EXPECT_HRESULT_SUCCEEDED(m_dispatch->GetIDsOfNames(&name, 1, &found));
        EXPECT_EQ(found, method.dispatchId);
    }
}

// ---- The application manifest.

// The opening tag of the first element with this name after from, up to its '>'.
std::string Tag(const std::string& xml, const std::string& element, size_t from = 0) {
    const size_t start = xml.find("<" + element + " ", from);
    if (start == std::string::npos) {
        return {};
    }
    return xml.substr(start, xml.find('>', start) - start);
}

std::string Attribute(const std::string& tag, const std::string& name) {
    const std::string key = name + "=\"";
    for (size_t at = tag.find(key); at != std::string::npos; at = tag.find(key, at + 1)) {
        if (at > 0 && std::isspace(static_cast<unsigned char>(tag[at - 1]))) {
            const size_t start = at + key.size();
            return tag.substr(start, tag.find('"', start) - start);
        }
    }
    return "<missing>";
}

class QuilletManifest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto bytes = LoadResourceBytes(QuilletPath(), MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1));
        ASSERT_TRUE(bytes.has_value()) << "no RT_MANIFEST 1";
        m_xml = *bytes;
    }
    std::string m_xml;
};

TEST_F(QuilletManifest, NamesTheAssemblyAndItsDependency) {
    struct Expected {
        const char* attribute;
        const char* value;
    };
    const std::string identity = Tag(m_xml, "assemblyIdentity");
    for (const Expected& expected :
         {Expected{"type", "win32"}, Expected{"name", "Quillet"}, Expected{"version", "1.0.0.1"},
          Expected{"processorArchitecture", "amd64"}}) {
        EXPECT_EQ(Attribute(identity, expected.attribute), expected.value) << expected.attribute;
    }
    EXPECT_NE(m_xml.find("<description>Plenum CLI Module</description>"), std::string::npos);

    const size_t dependency = m_xml.find("<dependentAssembly>");
    ASSERT_NE(dependency, std::string::npos);
    const std::string controls = Tag(m_xml, "assemblyIdentity", dependency);
    for (const Expected& expected :
         {Expected{"type", "win32"}, Expected{"name", "Microsoft.Windows.Common-Controls"},
          Expected{"version", "6.0.0.0"}, Expected{"publicKeyToken", "6595b64144ccf1df"}}) {
        EXPECT_EQ(Attribute(controls, expected.attribute), expected.value) << expected.attribute;
    }

    const std::string level = Tag(m_xml, "requestedExecutionLevel");
    EXPECT_EQ(Attribute(level, "level"), "asInvoker");
    EXPECT_EQ(Attribute(level, "uiAccess"), "false");
}

// The loader accepts it: an activation context builds from it, Common-Controls 6 included.
TEST_F(QuilletManifest, BuildsAnActivationContext) {
    const std::wstring path = QuilletPath();
    ACTCTXW context = {};
    context.cbSize = sizeof(context);
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path.c_str();
    context.lpResourceName = MAKEINTRESOURCEW(1);
    const HANDLE activation = CreateActCtxW(&context);
    ASSERT_NE(activation, INVALID_HANDLE_VALUE) << "error " << GetLastError();
    ReleaseActCtx(activation);
}

} // namespace
} // namespace quillet::testing
