#include "Journal.h"

#include "FileIdentity.h"
#include "FileStamp.h"
#include "Refusals.h"
#include "ServiceState.h"
#include "win32/UniqueHandle.h"
#include "win32/Utf8.h"
#include "win32/WholeFile.h"

#include <windows.h>

#include <algorithm>
#include <string_view>

namespace quillet::emulator {

using nlohmann::ordered_json;

Journal::Journal(std::wstring path) : m_path(std::move(path)) {}

void Journal::Resume() {
    std::string content;
    if (FAILED(ReadWholeFile(m_path, content))) {
        return;
    }
    // Lines are cut by hand: a string stream would bring the C++ locales into the executable.
    const std::string_view text = content;
    for (size_t start = 0, end = 0; start < text.size(); start = end + 1) {
        end = std::min(text.find('\n', start), text.size());
        // A line that someone edited by hand does not stop the journal.
        const ordered_json line = ordered_json::parse(text.substr(start, end - start), nullptr, false);
        if (line.is_object()) {
            if (const auto seq = line.find("seq"); seq != line.end() && seq->is_number_integer()) {
                m_seq = std::max(m_seq, seq->get<long long>());
            }
            if (const auto object = line.find("object");
                object != line.end() && object->is_number_integer()) {
                m_objects = std::max(m_objects, object->get<int>());
            }
        }
    }
}

void Journal::RestartIfCleared() {
    FileStamp stamp = FileStamp::Of(m_path);
    if (!stamp.exists || stamp.size == 0) {
        m_seq = 0;
        m_objects = 0;
    }
}

void Journal::Record(const ordered_json& fields) {
    RestartIfCleared();
    Append(fields);
}

void Journal::Append(const ordered_json& fields) {
    ordered_json line = {{"seq", ++m_seq}};
    line.update(fields);
    const std::string text = line.dump() + "\n";
    // The service goes on without a journal rather than failing the call.
    UniqueFile file;
    if (!m_writable || FAILED(OpenForAppend(file))) {
        return;
    }
    DWORD written = 0;
    WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

HRESULT Journal::OpenForAppend(UniqueFile& file) const {
    HRESULT hr = OpenItself(m_path, FILE_APPEND_DATA, OPEN_EXISTING, file);
    if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) {
        // CREATE_NEW: a link that leads nowhere fails too.
        hr = OpenItself(m_path, FILE_APPEND_DATA, CREATE_NEW, file);
    }
    FileIdentity identity;
    DWORD links = 0;
    if (SUCCEEDED(hr)) {
        hr = IdentityOf(file.get(), identity, &links);
    }
    if (SUCCEEDED(hr) && links != 1) {
        hr = kMoreThanOneName; // the other name's file would get the lines
    }
    if (FAILED(hr)) {
        file.reset();
    }
    return hr;
}

int Journal::RecordCreate(const std::wstring& interfaceName) {
    RestartIfCleared();
    const int object = ++m_objects;
    Append({{"event", "create"}, {"interface", ToUtf8(interfaceName)}, {"object", object}});
    return object;
}

void Journal::RecordRefusedCreate(const std::wstring& interfaceName, long hr) {
    Record({{"event", "create"},
            {"interface", ToUtf8(interfaceName)},
            {"hr", HresultText(static_cast<std::int32_t>(hr))}});
}

void Journal::RecordRelease(int object) {
    Record({{"event", "release"}, {"object", object}});
}

} // namespace quillet::emulator
