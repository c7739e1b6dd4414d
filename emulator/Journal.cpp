#include "Journal.h"

#include "FileStamp.h"
#include "ServiceState.h"
#include "json/Utf8.h"

#include <windows.h>

#include <algorithm>

namespace quillet::emulator {

Journal::Journal(std::wstring path) : m_path(std::move(path)) {}

void Journal::Resume() {
    std::string content;
    DWORD error = 0;
    if (!ReadWholeFile(m_path, content, error)) {
        return;
    }
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            end = content.size();
        }
        try {
            json::Value line = json::Parse(std::string_view(content).substr(start, end - start));
            if (const json::Value* seq = line.Find("seq"); seq != nullptr && seq->IsInteger()) {
                m_seq = std::max<long long>(m_seq, seq->AsInteger());
            }
            if (const json::Value* object = line.Find("object"); object != nullptr && object->IsInteger()) {
                m_objects = std::max<int>(m_objects, static_cast<int>(object->AsInteger()));
            }
        } catch (const std::exception&) {
            // A line that someone edited by hand does not stop the journal.
        }
        start = end + 1;
    }
}

void Journal::RestartIfCleared() {
    FileStamp stamp = FileStamp::Of(m_path);
    if (!stamp.exists || stamp.size == 0) {
        m_seq = 0;
        m_objects = 0;
    }
}

void Journal::Append(const json::Value& fields) {
    json::Value line = json::Value::MakeObject();
    line.Set("seq", ++m_seq);
    for (const auto& [key, value] : fields.Members()) {
        line.Set(key, value);
    }
    std::string text = json::WriteCompact(line) + "\n";
    HANDLE file =
        CreateFileW(m_path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return; // The service goes on without a journal rather than failing the call.
    }
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

int Journal::RecordCreate(const std::wstring& interfaceName) {
    RestartIfCleared();
    int object = ++m_objects;
    json::Value fields = json::Value::MakeObject();
    fields.Set("event", "create");
    fields.Set("interface", json::ToUtf8(interfaceName));
    fields.Set("object", object);
    Append(fields);
    return object;
}

void Journal::RecordRefusedCreate(const std::wstring& interfaceName, long hr) {
    RestartIfCleared();
    json::Value fields = json::Value::MakeObject();
    fields.Set("event", "create");
    fields.Set("interface", json::ToUtf8(interfaceName));
    fields.Set("hr", HresultText(static_cast<std::int32_t>(hr)));
    Append(fields);
}

void Journal::RecordRelease(int object) {
    RestartIfCleared();
    json::Value fields = json::Value::MakeObject();
    fields.Set("event", "release");
    fields.Set("object", object);
    Append(fields);
}

void Journal::Record(json::Value fields) {
    RestartIfCleared();
    Append(fields);
}

} // namespace quillet::emulator
