#include "DataDirectory.h"

#include "Refusals.h"
#include "win32/UniqueHandle.h"

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <vector>

namespace quillet::emulator {

namespace {

constexpr wchar_t kIsLink[] = L" is a link (a reparse point); the emulator keeps its files only in a folder "
                              L"of its own. Remove the link.";
constexpr wchar_t kNotAFolderText[] = L" is not a folder.";
constexpr wchar_t kCannotSecure[] = L" cannot be made the emulator's own: its access list cannot be set.";
constexpr wchar_t kOwnedByAnother[] = L" belongs to another user, who could have put anything in it; the "
                                      L"emulator keeps its files only in a folder of its own. Remove it.";

HRESULT LastError() {
    return HRESULT_FROM_WIN32(GetLastError());
}

struct LocalFreeDeleter {
    void operator()(void* memory) const noexcept { LocalFree(memory); }
};

// Full control, for the folder and what is made in it, for SYSTEM, Administrators and the given SID; the
// protection (P) keeps out what the parent would pass on.
constexpr wchar_t kSddlHead[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;";
constexpr wchar_t kSddlTail[] = L")";

// The user who runs the emulator, as the token gives it (TOKEN_USER).
HRESULT CurrentUser(std::vector<unsigned char>& user) {
    UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return LastError();
    }
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    user.resize(size);
    if (size == 0 || !GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) {
        return LastError();
    }
    return S_OK;
}

// The folder's owner may always change its access list: it must be the user, SYSTEM or Administrators.
HRESULT CheckOwner(HANDLE folder, PSID user) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = GetSecurityInfo(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                        nullptr, nullptr, &descriptor);
    if (error != ERROR_SUCCESS) {
        return HRESULT_FROM_WIN32(error);
    }
    const std::unique_ptr<void, LocalFreeDeleter> owned(descriptor);
    const bool trusted =
        owner != nullptr && (EqualSid(owner, user) || IsWellKnownSid(owner, WinLocalSystemSid) ||
                             IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
    return trusted ? S_OK : kForeignOwner;
}

HRESULT SecureFolder(const std::wstring& path, PSECURITY_DESCRIPTOR descriptor, PSID user) {
    const UniqueFile folder(CreateFileW(
        path.c_str(), READ_CONTROL | WRITE_DAC, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder) {
        return LastError();
    }
    if (const HRESULT hr = CheckOwner(folder.get(), user); FAILED(hr)) {
        return hr;
    }
    // On the folder alone, through its handle: what it holds keeps its own lists.
    if (!SetKernelObjectSecurity(
            folder.get(), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, descriptor)) {
        return LastError();
    }
    return S_OK;
}

HRESULT SddlFor(PSID user, std::wstring& sddl) {
    wchar_t* sid = nullptr;
    if (!ConvertSidToStringSidW(user, &sid)) {
        return LastError();
    }
    const std::unique_ptr<wchar_t, LocalFreeDeleter> owned(sid);
    sddl = std::wstring(kSddlHead) + sid + kSddlTail;
    return S_OK;
}

} // namespace

HRESULT EmulatorFolderSddl(std::wstring& sddl) {
    std::vector<unsigned char> user;
    const HRESULT hr = CurrentUser(user);
    return SUCCEEDED(hr) ? SddlFor(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, sddl) : hr;
}

DataDirectory DataDirectory::Locate() {
    wchar_t buffer[MAX_PATH];
    DWORD length = GetEnvironmentVariableW(L"ProgramData", buffer, MAX_PATH);
    std::wstring base = length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : L"C:\\ProgramData";
    DataDirectory directory;
    directory.root = base + L"\\PlenumEmulator";
    directory.statePath = directory.root + L"\\state.json";
    directory.journalPath = directory.root + L"\\journal.jsonl";
    directory.cacheFolder = directory.root + L"\\Cache";
    return directory;
}

HRESULT DataDirectory::Prepare(std::wstring* problem) const {
    std::wstring sddl;
    std::vector<unsigned char> user;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    HRESULT hr = CurrentUser(user);
    const PSID userSid = SUCCEEDED(hr) ? reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid : nullptr;
    hr = SUCCEEDED(hr) ? SddlFor(userSid, sddl) : hr;
    if (SUCCEEDED(hr) && !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                               &descriptor, nullptr)) {
        hr = LastError();
    }
    if (FAILED(hr)) {
        return hr;
    }
    const std::unique_ptr<void, LocalFreeDeleter> owned(descriptor);
    for (const std::wstring* folder : {&root, &cacheFolder}) {
        const DWORD attributes = GetFileAttributesW(folder->c_str());
        const wchar_t* why = nullptr;
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
            hr = CreateDirectoryW(folder->c_str(), &security) ? S_OK : LastError();
        } else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            hr = kNotTheFileItself;
            why = kIsLink;
        } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            hr = kNotAFolder;
            why = kNotAFolderText;
        } else if (hr = SecureFolder(*folder, descriptor, userSid); FAILED(hr)) {
            why = hr == kForeignOwner ? kOwnedByAnother : kCannotSecure;
        }
        if (FAILED(hr)) {
            if (problem != nullptr && why != nullptr) {
                *problem = *folder + why;
            }
            return hr;
        }
    }
    return S_OK;
}

} // namespace quillet::emulator
