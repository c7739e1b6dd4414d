#pragma once

// Files that tests make: a folder of the test's own, and bytes written to a path.

#include <string>
#include <string_view>

namespace quillet::testing {

// Creates or replaces the file with exactly these bytes; a failure fails the test.
void WriteBytes(const std::wstring& path, std::string_view bytes);

// A link at path to target (a file or a folder), as another user could plant one. A symbolic link under
// Wine is a Unix one, which Wine shows as the file itself. A failure fails the test.
enum class LinkKind { Hard, Symbolic };
void MakeLink(LinkKind kind, const std::wstring& path, const std::wstring& target);
// Removes the link itself, never what it leads to (under Wine, deleting a symbolic link's name through
// Win32 deletes the file it leads to).
void RemoveLink(const std::wstring& path);

// A new empty folder in the temporary folder, removed with all it holds when the object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring File(std::wstring_view name, std::string_view bytes) const; // its full path
    std::wstring Folder(std::wstring_view name) const;                       // made; its full path

private:
    std::wstring m_path;
};

} // namespace quillet::testing
