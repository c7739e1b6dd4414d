#pragma once

#include "win32/UniqueHandle.h"

#include <nlohmann/json.hpp>

#include <string>

namespace quillet::emulator {

// journal.jsonl: one compact JSON object a line, appended with a single write before the call returns.
// seq and the object numbers go on from the file's last line; when the file is missing or empty they
// start again at 1, so that whoever deletes the journal can predict its lines exactly. Only the file itself
// is written: a link at its name, or a file with another name as well, is left alone and nothing is
// journalled until it is gone.
class Journal {
public:
    explicit Journal(std::wstring path);

    // Reads the numbers to go on from; call once before the first record.
    void Resume();

    // Writes {"seq":n,"event":"create","interface":…,"object":k} and returns k.
    int RecordCreate(const std::wstring& interfaceName);
    // A class factory that refused creation: {"seq":n,"event":"create","interface":…,"hr":…}.
    void RecordRefusedCreate(const std::wstring& interfaceName, long hr);
    void RecordRelease(int object);
    // fields: the members after seq, in order.
    void Record(const nlohmann::ordered_json& fields);

    // Off while the data directory is refused: the journal lives there.
    void SetWritable(bool writable) { m_writable = writable; }

private:
    void RestartIfCleared();
    void Append(const nlohmann::ordered_json& fields);
    HRESULT OpenForAppend(UniqueFile& file) const;

    std::wstring m_path;
    long long m_seq = 0;
    int m_objects = 0;
    bool m_writable = true;
};

} // namespace quillet::emulator
