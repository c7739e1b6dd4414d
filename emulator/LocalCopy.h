#pragma once

#include "FileIdentity.h"
#include "win32/UniqueHandle.h"

#include <windows.h>

#include <string>

namespace quillet::emulator {

// A multisource copy that the emulator makes, so that a failure never costs the copy already there and
// no step ever writes a file that the emulator did not create: a new file under a name beside the target
// that nobody uses (reserved first, so that it can be recorded before the copy starts), the data copied
// into it through the handle that created it, and that very file renamed into place. What is not placed is
// deleted through the same handle when the object goes.
class LocalCopy {
public:
    // Reserves the name beside target; nothing is created yet.
    HRESULT Reserve(const std::wstring& target);
    const std::wstring& TemporaryPath() const { return m_temporary; }

    // Creates the file (CREATE_NEW: any existing name, a link's included, fails) and copies source into it.
    // Slow; it ends early with kServerStopping once stopping is set.
    HRESULT CopyFrom(const std::wstring& source, HANDLE stopping);

    // Renames the copy to target: over the file there only when replace is set, which the caller decides
    // after it has compared that file with the one it made. The placed copy's identity, to record.
    HRESULT Place(const std::wstring& target, bool replace, FileIdentity& identity);

    LocalCopy() = default;
    LocalCopy(const LocalCopy&) = delete;
    LocalCopy& operator=(const LocalCopy&) = delete;
    ~LocalCopy();

private:
    std::wstring m_temporary;
    UniqueFile m_file;
    bool m_placed = false;
};

} // namespace quillet::emulator
