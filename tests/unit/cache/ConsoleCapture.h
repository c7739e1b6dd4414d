#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <thread>

namespace quillet::testing {

// Sends what the program writes to standard output into a pipe for as long as it lives. Text() ends
// the capture and returns the bytes, as a redirected console program writes them (CR LF line ends).
class ConsoleCapture {
public:
    ConsoleCapture() {
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), nullptr, FALSE};
        CreatePipe(&m_read, &m_write, &attributes, 0);
        m_saved = GetStdHandle(STD_OUTPUT_HANDLE);
        SetStdHandle(STD_OUTPUT_HANDLE, m_write);
        // Drains the pipe while the code under test writes, so that a long output never blocks it.
        m_reader = std::thread([this] {
            char buffer[4096];
            DWORD count = 0;
            while (ReadFile(m_read, buffer, sizeof(buffer), &count, nullptr) && count > 0) {
                m_text.append(buffer, count);
            }
        });
    }
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;
    ~ConsoleCapture() { Finish(); }

    std::string Text() {
        Finish();
        return m_text;
    }

private:
    void Finish() {
        if (m_write == nullptr) {
            return;
        }
        SetStdHandle(STD_OUTPUT_HANDLE, m_saved);
        CloseHandle(m_write);
        m_write = nullptr;
        m_reader.join();
        CloseHandle(m_read);
    }

    HANDLE m_read = nullptr;
    HANDLE m_write = nullptr;
    HANDLE m_saved = nullptr;
    std::thread m_reader;
    std::string m_text;
};

// Names a parameterised test after its case.
template <class ParamInfo> std::string CaseName(const ParamInfo& param) {
    return param.param.name;
}

// The bytes that text, written by ConsolePrint, gives on a redirected standard output.
inline std::string ConsoleBytes(std::string_view text) {
    std::string bytes;
    for (const char character : text) {
        if (character == '\n') {
            bytes.push_back('\r');
        }
        bytes.push_back(character);
    }
    return bytes;
}

} // namespace quillet::testing
