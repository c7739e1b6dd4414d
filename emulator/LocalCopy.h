#pragma once

#include "FileIdentity.h"
#include "win32/UniqueHandle.h"

#include <windows.h>

#include <string>

namespace quillet::emulator {

// A multisource copy that the emulator makes, so that a failure never costs the copy already there and
// no step ever writes a file that the emulator did not create: a new file under a name beside the target
// that nobody uses, the data copied into it through the handle that created it, and that very file renamed
// into place. What is not placed is deleted through the same handle when the object goes.
class LocalCopy {
public:
    // Creates the file under a new name beside target (CREATE_NEW: any existing name, a link's included,
    // fails): its identity (volume and file number) is recorded before any data is copied, so that the next
    // start after a crash can remove what was left, and nothing else.
    HRESULT Create(const std::wstring& target, FileIdentity& identity);
    const std::wstring& TemporaryPath() const { return m_temporary; }

    // Copies source into the file. Slow; it ends early with kServerStopping once stopping is set.
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
